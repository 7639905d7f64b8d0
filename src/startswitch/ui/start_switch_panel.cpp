#include "startswitch/ui/start_switch_panel.h"

#include "startswitch/interface_kit.h"
#include "startswitch/start_switch.h"
#include "support/ui/painted_box.h"

#include <QGridLayout>
#include <QLabel>

namespace veltro {

StartSwitchPanel::StartSwitchPanel(const std::unique_ptr<InterfaceKit>& kit, const StartSwitch& start_switch,
                                   QWidget* parent)
    : QGroupBox("Start switch", parent), kit_(kit), switch_(start_switch) {
    setObjectName("Frame_control");
    auto* control = new QGridLayout(this);
    label_attached_ = new QLabel(this);
    label_attached_->setObjectName("Label_attached");
    label_rm_ = new QLabel(this);
    label_rm_->setObjectName("Label_RM");
    label_remote_start_ = new QLabel(this);
    label_remote_start_->setObjectName("Label_remote_start");
    label_gates_ = new QLabel("RM           Start     Gates 3   4    Trigger", this);
    label_gates_->setObjectName("Label_gates");
    picture_lamps_ = new PaintedBox(this);
    picture_lamps_->setObjectName("Picture_lamps");
    picture_lamps_->setFixedSize(204, 44);
    picture_lamps_->paint = [this](QPainter& p) { paint_lamps(p); };
    picture_switch_ = new PaintedBox(this);
    picture_switch_->setObjectName("Picture_switch");
    picture_switch_->setFixedSize(76, 60);
    picture_switch_->paint = [this](QPainter& p) { paint_switch(p); };
    picture_led_ = new PaintedBox(this);
    picture_led_->setObjectName("Picture_LED");
    picture_led_->setFixedSize(36, 36);
    picture_led_->paint = [this](QPainter& p) { paint_led(p); };
    picture_led_->pressed = [this] {
        if (led_test)
            led_test(true);
    };
    picture_led_->released = [this] {
        if (led_test)
            led_test(false);
    };
    control->addWidget(label_attached_, 0, 0, 1, 3);
    control->addWidget(label_rm_, 1, 0);
    control->addWidget(label_remote_start_, 2, 0);
    control->addWidget(picture_switch_, 1, 1, 2, 1);
    control->addWidget(picture_led_, 1, 2, 2, 1, Qt::AlignCenter);
    control->addWidget(label_gates_, 3, 0, 1, 3);
    control->addWidget(picture_lamps_, 4, 0, 1, 3);
}

void StartSwitchPanel::show_no_drivers() {
    label_attached_->setText("No Phidget drivers");
}

bool StartSwitchPanel::show_state(bool attached, bool led_test_down) {
    for (QWidget* w : std::initializer_list<QWidget*>{label_rm_, label_remote_start_, label_gates_,
                                                      picture_lamps_, picture_switch_, picture_led_}) {
        w->setVisible(attached);
    }
    if (!attached) {
        setEnabled(false);
        label_attached_->setText("Not attached");
        label_attached_->setStyleSheet("");
        picture_lamps_->update();
        return false;
    }
    // A finish or an open hides the panel; the next kit check brings it back.
    setVisible(true);
    setEnabled(true);
    label_attached_->setText("Attached, serial = " + QString::fromStdString(switch_.serial()));
    label_attached_->setStyleSheet("color: rgb(0, 160, 0); font-weight: bold;");
    if (kit_->input_state(0)) {
        label_rm_->setText("RM closed");
        label_rm_->setStyleSheet("color: rgb(255, 128, 0); font-weight: bold;");
    } else {
        label_rm_->setText("RM open");
        label_rm_->setStyleSheet("");
    }
    armed_ = kit_->input_state(1);
    if (armed_) {
        label_remote_start_->setText("Start armed!");
        label_remote_start_->setStyleSheet("color: rgb(0, 192, 0); font-weight: bold;");
    } else {
        label_remote_start_->setText("Start not armed!");
        label_remote_start_->setStyleSheet("color: rgb(255, 0, 0); font-weight: bold;");
    }
    picture_switch_->update();
    picture_lamps_->update();
    led_on_ = kit_->input_state(0) || led_test_down;
    picture_led_->update();
    return led_on_;
}

void StartSwitchPanel::paint_lamps(QPainter& p) {
    p.fillRect(picture_lamps_->rect(), palette().window());
    if (!switch_.is_attached()) {
        return;
    }
    QFont f("Arial");
    f.setPointSize(12);
    p.setFont(f);
    const bool rm = kit_->input_state(0);
    // The RM contact, wide enough for its word.
    p.setPen(Qt::black);
    p.setBrush(rm ? QColor(255, 128, 0) : palette().button().color());
    p.drawEllipse(QRectF(2, 6, 70, 32));
    if (!rm) {
        // White on the light button face needs a shadow to be read.
        p.setPen(QColor(90, 90, 90));
        p.drawText(QRectF(3, 7, 70, 32), Qt::AlignCenter, "Open");
    }
    p.setPen(rm ? QColor(0, 0, 255) : QColor(255, 255, 255));
    p.drawText(QRectF(2, 6, 70, 32), Qt::AlignCenter, rm ? "Closed" : "Open");
    // The direct-start lamp (input 2).
    p.setPen(Qt::black);
    p.setBrush(switch_.direct_start_lamp() ? QColor(255, 255, 0) : QColor(0, 0, 0));
    p.drawEllipse(QRectF(84, 13, 18, 18));
    // Trigger lamps: inputs 3 and 4, and the lamp input 3 and 5 share.
    auto lamp = [&](double x, bool on) {
        p.setBrush(on ? QColor(255, 0, 0) : QColor(0, 255, 0));
        p.drawEllipse(QRectF(x, 13, 18, 18));
    };
    lamp(116, kit_->input_state(3));
    lamp(142, kit_->input_state(4));
    const bool red = switch_.trigger_lamp_red() || kit_->input_state(3) || kit_->input_state(5);
    p.setBrush(red ? QColor(255, 0, 0) : QColor(0, 255, 0));
    p.drawRect(QRectF(172, 9, 26, 26));
}

void StartSwitchPanel::paint_switch(QPainter& p) {
    const QRectF r = picture_switch_->rect();
    p.fillRect(r, armed_ ? QColor(0, 255, 0) : QColor(255, 192, 192));
    QFont f("Arial");
    f.setPointSize(armed_ ? 12 : 8);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QPointF(2, 2 + f.pointSize() + 2), armed_ ? "Armed" : "Not Armed");
    // The switch knob: up when armed, down otherwise.
    const double knob_y = armed_ ? r.height() * 0.35 : r.height() * 0.65;
    p.setPen(QPen(Qt::black, 3));
    p.drawLine(QPointF(r.width() / 2, r.height() - 4), QPointF(r.width() * 0.7, knob_y));
    p.setBrush(Qt::darkGray);
    p.drawEllipse(QPointF(r.width() * 0.7, knob_y), 5, 5);
}

void StartSwitchPanel::paint_led(QPainter& p) {
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(led_on_ ? QBrush(QColor(255, 255, 0)) : Qt::NoBrush);
    p.drawEllipse(QRectF(4, 4, picture_led_->width() - 8, picture_led_->height() - 8));
}

} // namespace veltro
