#pragma once

#include <QGroupBox>
#include <functional>
#include <memory>

class QLabel;
class QPainter;

namespace veltro {

class InterfaceKit;
class PaintedBox;
class StartSwitch;

// The start switch's status panel: attached or not with the board's serial, the RM contact, the
// arming switch, the LED (pressed, it tests the lamp) and the lamps of the start and trigger inputs.
class StartSwitchPanel : public QGroupBox {
    Q_OBJECT
public:
    // `kit` is the owner's: the panel follows it when the operator chooses other hardware.
    StartSwitchPanel(const std::unique_ptr<InterfaceKit>& kit, const StartSwitch& start_switch,
                     QWidget* parent);

    // The LED test button went down (true) or up.
    std::function<void(bool down)> led_test;

    // Shows the board's state. Returns whether the LED is lit (RM closed or the LED test held).
    bool show_state(bool attached, bool led_test_down);
    // The board's drivers are missing: the panel says so.
    void show_no_drivers();

private:
    void paint_lamps(QPainter& p);
    void paint_switch(QPainter& p);
    void paint_led(QPainter& p);

    const std::unique_ptr<InterfaceKit>& kit_;
    const StartSwitch& switch_;
    QLabel* label_attached_ = nullptr;
    QLabel* label_rm_ = nullptr;
    QLabel* label_remote_start_ = nullptr;
    QLabel* label_gates_ = nullptr;
    PaintedBox* picture_lamps_ = nullptr;
    PaintedBox* picture_switch_ = nullptr;
    PaintedBox* picture_led_ = nullptr;
    bool armed_ = false;
    bool led_on_ = false;
};

} // namespace veltro
