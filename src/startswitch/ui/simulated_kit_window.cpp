#include "startswitch/ui/simulated_kit_window.h"

#include "startswitch/backends/simulated/simulated_kit.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace veltro {
namespace {
constexpr std::array<const char*, 6> kInputNames = {"0  RM contact (start)", "1  Start armed",
                                                    "2  Direct start",       "3  Finish trigger with lamp",
                                                    "4  Finish trigger",     "5  Finish trigger (lamp of 3)"};
}

SimulatedKitWindow::SimulatedKitWindow(SimulatedKit& kit, QWidget* parent)
    // A tool window: it stays above the main window, which is shown after it at start.
    : QWidget(parent, Qt::Tool), kit_(kit) {
    setObjectName("Form_simulated_kit");
    setWindowTitle("Simulated interface kit");

    attached_ = new QCheckBox("Board attached", this);
    attached_->setObjectName("Check_attached");
    attached_->setChecked(kit.IsAttached());
    connect(attached_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) {
            kit_.attach();
        } else {
            kit_.detach();
        }
    });

    auto* frame = new QGroupBox("Inputs", this);
    auto* frame_layout = new QVBoxLayout(frame);
    for (int i = 0; i < 6; ++i) {
        auto* box = new QCheckBox(kInputNames[static_cast<std::size_t>(i)], frame);
        box->setObjectName(QString("Check_input_%1").arg(i));
        box->setChecked(kit.input_state(static_cast<std::int16_t>(i)));
        connect(box, &QCheckBox::toggled, this,
                [this, i](bool on) { kit_.set_input(static_cast<std::int16_t>(i), on); });
        frame_layout->addWidget(box);
        inputs_[static_cast<std::size_t>(i)] = box;
    }

    led_ = new QLabel(this);
    led_->setObjectName("Picture_sim_LED");
    led_->setFixedSize(28, 28);
    led_->installEventFilter(this);
    auto* led_row = new QHBoxLayout;
    led_row->addWidget(new QLabel("Output 0 (LED)", this));
    led_row->addWidget(led_);
    led_row->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(attached_);
    layout->addWidget(frame);
    layout->addLayout(led_row);

    kit_.output_changed = [this](bool on) { show_led(on); };
    show_led(kit.output_state(0));
}

SimulatedKitWindow::~SimulatedKitWindow() {
    kit_.output_changed = nullptr;
}

void SimulatedKitWindow::show_led(bool on) {
    led_on_ = on;
    led_->update();
}

bool SimulatedKitWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == led_ && event->type() == QEvent::Paint) {
        QPainter p(led_);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(led_on_ ? QColor(255, 255, 0) : QColor(60, 60, 60));
        p.drawEllipse(QRectF(3, 3, 22, 22));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace veltro
