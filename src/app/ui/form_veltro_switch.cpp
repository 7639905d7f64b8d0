// The start switch: the interface kit's events, the status panel and the LED.
#include "app/ui/form_veltro.h"
#include "app/ui/painted_box.h"
#include "support/run_mode.h"
#include "support/trace.h"
#include "support/ui/run_trapped.h"
#include "support/wait.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>

namespace veltro {

void Form_Veltro::Check_For_Phidget() {
    // The simulated kit (or the board given at start) is always there: the library counts as present.
    library_present_ = kit_ != nullptr;
    if (!library_present_) {
        Trace("*Check_For_Phidget_Error");
        label_attached_->setText("No Phidget drivers");
        label_attached_status_->setText("No Phidget drivers");
        return;
    }
    Trace("*Check_for_Phidget OK = ", library_present_, " ,version = ", kit_->LibraryVersion());
    kit_->OnAttach = [this] {
        run_trapped(where("obj_Phidget_OnAttach"), [this] { obj_Phidget_OnAttach(); });
    };
    kit_->OnDetach = [this] {
        run_trapped(where("obj_Phidget_OnDetach"), [this] { obj_Phidget_OnDetach(); });
    };
    kit_->OnInputChange = [this](std::int16_t index, bool state) {
        run_trapped(where("obj_Phidget_OnInputChange"), [&] { obj_Phidget_OnInputChange(index, state); });
    };
    if (start_.watch_devices && kit_->Event_fd() >= 0) {
        kit_notifier_ = new QSocketNotifier(kit_->Event_fd(), QSocketNotifier::Read, this);
        connect(kit_notifier_, &QSocketNotifier::activated, this, [this] { Dispatch_Kit(); });
    }
    kit_->Open();
    Trace("*Phidget present " + kit_->LibraryVersion() + "/" + kit_->DeviceType());
}

void Form_Veltro::obj_Phidget_OnAttach() {
    Trace("*obj_Phidget_OnAttach");
    switch_.attached(kit_->SerialNumber());
    Check_Attached();
}

void Form_Veltro::obj_Phidget_OnDetach() {
    Trace("*obj_Phidget_OnDetach");
    switch_.detached();
    Check_Attached();
}

void Form_Veltro::obj_Phidget_OnInputChange(std::int16_t index, bool state) {
    const std::optional<SwitchActions> actions =
        switch_.input_changed(*kit_, index, state, elapsed_ms(program_start_counter_, now()));
    if (!actions) {
        return;
    }
    Trace("*obj_Phidget_OnInputChange, Index = " + std::to_string(index) +
          " NewState = " + (state ? "True" : "False"));
    if (actions->start) {
        Handle_Start();
    }
    if (actions->update_led) {
        Update_LED();
    }
    if (actions->capture) {
        if (*actions->capture) {
            Handle_Capture_Start();
        } else {
            Handle_Capture_End();
        }
    }
    Trace("obj_Phidget_OnInputChange, before Check_Attached");
    Check_Attached();
    Trace("obj_Phidget_OnInputChange, after Check_Attached");
}

void Form_Veltro::Check_Attached() {
    if (!library_present_) {
        Trace("*Check_Attached m_Phidget_Present = False");
        return;
    }
    try {
        const bool trapping = !is_debug_run();
        const bool attached = switch_.is_attached() && kit_->IsAttached();
        for (QWidget* w : std::initializer_list<QWidget*>{label_rm_, label_remote_start_, label_gates_,
                                                          picture_lamps_, picture_switch_, picture_led_}) {
            w->setVisible(attached);
        }
        if (!attached) {
            frame_control_->setEnabled(false);
            label_attached_->setText("Not attached");
            label_attached_status_->setText("Not attached");
            label_attached_->setStyleSheet("");
            label_attached_status_->setStyleSheet("");
            Trace("Check_Attached obj_Phidget.IsAttached = false");
            command_start_heat_->setEnabled(!trapping);
            picture_lamps_->update();
            return;
        }
        Trace("*Check_Attached obj_Phidget.IsAttached = True");
        // A finish or an open hides the panel; the next kit check brings it back.
        frame_control_->setVisible(true);
        frame_control_->setEnabled(true);
        const QString text = "Attached, serial = " + QString::fromStdString(switch_.serial());
        label_attached_->setText(text);
        label_attached_status_->setText(text);
        label_attached_->setStyleSheet("color: rgb(0, 160, 0); font-weight: bold;");
        label_attached_status_->setStyleSheet("color: rgb(0, 160, 0);");
        if (trapping) {
            command_initiate_file_->setEnabled(true);
        }
        command_start_heat_->setEnabled(true);

        if (kit_->InputState(0)) {
            label_rm_->setText("RM closed");
            label_rm_->setStyleSheet("color: rgb(255, 128, 0); font-weight: bold;");
        } else {
            label_rm_->setText("RM open");
            label_rm_->setStyleSheet("");
        }
        if (kit_->InputState(1)) {
            label_remote_start_->setText("Start armed!");
            label_remote_start_->setStyleSheet("color: rgb(0, 192, 0); font-weight: bold;");
            Draw_Start_Switch(true);
        } else {
            label_remote_start_->setText("Start not armed!");
            label_remote_start_->setStyleSheet("color: rgb(255, 0, 0); font-weight: bold;");
            Draw_Start_Switch(false);
        }
        // The trigger lamp goes back from red to the input's colour with this refresh.
        switch_.panel_refreshed();
        picture_lamps_->update();
        draw_LED();
        Trace("Check_Attached, End");
    } catch (...) {
        Trace("Check_attached error");
        throw;
    }
}

void Form_Veltro::paint_lamps(QPainter& p) {
    p.fillRect(picture_lamps_->rect(), palette().window());
    if (!switch_.is_attached()) {
        return;
    }
    QFont f("Arial");
    f.setPointSize(12);
    p.setFont(f);
    const bool rm = kit_->InputState(0);
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
    lamp(116, kit_->InputState(3));
    lamp(142, kit_->InputState(4));
    if (switch_.trigger_lamp_red()) {
        p.setBrush(QColor(255, 0, 0));
    } else {
        p.setBrush(kit_->InputState(3) || kit_->InputState(5) ? QColor(255, 0, 0) : QColor(0, 255, 0));
    }
    p.drawRect(QRectF(172, 9, 26, 26));
}

void Form_Veltro::Draw_Start_Switch(bool armed) {
    picture_switch_->setProperty("armed", armed);
    picture_switch_->update();
}

void Form_Veltro::paint_switch(QPainter& p) {
    const bool armed = picture_switch_->property("armed").toBool();
    const QRectF r = picture_switch_->rect();
    p.fillRect(r, armed ? QColor(0, 255, 0) : QColor(255, 192, 192));
    QFont f("Arial");
    f.setPointSize(armed ? 12 : 8);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QPointF(2, 2 + f.pointSize() + 2), armed ? "Armed" : "Not Armed");
    // The switch knob: up when armed, down otherwise.
    const double knob_y = armed ? r.height() * 0.35 : r.height() * 0.65;
    p.setPen(QPen(Qt::black, 3));
    p.drawLine(QPointF(r.width() / 2, r.height() - 4), QPointF(r.width() * 0.7, knob_y));
    p.setBrush(Qt::darkGray);
    p.drawEllipse(QPointF(r.width() * 0.7, knob_y), 5, 5);
}

void Form_Veltro::Update_LED() {
    kit_->OutputState(0, kit_->InputState(0));
}

void Form_Veltro::draw_LED() {
    const bool on = kit_->InputState(0) || led_test_pressed_;
    kit_->OutputState(0, on);
    picture_led_->setProperty("on", on);
    picture_led_->update();
}

void Form_Veltro::paint_led(QPainter& p) {
    const bool on = picture_led_->property("on").toBool();
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(on ? QBrush(QColor(255, 255, 0)) : Qt::NoBrush);
    p.drawEllipse(QRectF(4, 4, picture_led_->width() - 8, picture_led_->height() - 8));
}

void Form_Veltro::item_blink_LED_Click() {
    kit_->OutputState(0, true);
    Wait_ms(2000);
    kit_->OutputState(0, false);
}

} // namespace veltro
