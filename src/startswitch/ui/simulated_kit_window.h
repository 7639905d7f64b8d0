#pragma once

#include <QWidget>
#include <array>

class QCheckBox;
class QLabel;

namespace veltro {

class SimulatedKit;

// "Simulated interface kit": the board's six input switches, its attach state and its LED, so the
// start and capture flow can be worked without hardware.
class SimulatedKitWindow : public QWidget {
    Q_OBJECT
public:
    explicit SimulatedKitWindow(SimulatedKit& kit, QWidget* parent = nullptr);
    ~SimulatedKitWindow() override;

    QCheckBox* input_switch(int index) const { return inputs_.at(static_cast<std::size_t>(index)); }
    QCheckBox* attached_switch() const { return attached_; }
    bool led_on() const { return led_on_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show_led(bool on);

    SimulatedKit& kit_;
    std::array<QCheckBox*, 6> inputs_{};
    QCheckBox* attached_;
    QLabel* led_;
    bool led_on_ = false;
};

} // namespace veltro
