#pragma once

#include "startswitch/interface_kit.h"
#include "support/clocks.h"

#include <array>
#include <deque>
#include <functional>

namespace veltro {

// An interface kit without hardware: its switches are set by the program (the "Simulated interface
// kit" window, tests). It behaves as a board does: a change is seen by input_state at once and
// reported as an input-change event through dispatch(); attaching and detaching likewise.
class SimulatedKit final : public InterfaceKit {
public:
    static constexpr std::int32_t kSerial = 1;

    // `clock` (not owned) stamps each switch change when it is made.
    explicit SimulatedKit(const Clock& clock);
    ~SimulatedKit() override;
    SimulatedKit(const SimulatedKit&) = delete;
    SimulatedKit& operator=(const SimulatedKit&) = delete;

    void open() override;
    bool IsAttached() const override { return attached_; }
    std::int32_t serial_number() const override { return attached_ ? kSerial : 0; }
    bool input_state(std::int16_t index) const override;
    bool output_state(std::int16_t index) const override;
    void output_state(std::int16_t index, bool value) override;
    std::string library_version() const override { return "Veltro simulated kit 1.0"; }
    std::string device_type() const override { return "Simulated interface kit 0/6/1"; }
    int event_fd() const override { return event_fd_; }
    void dispatch() override;

    // The board's side: plug in, pull out, flip a switch. An input set to the state it has already
    // reports nothing, as a real input does.
    void attach();
    void detach();
    void set_input(std::int16_t index, bool state);

    // Told whenever output 0 changes, so a window can mirror the LED.
    std::function<void(bool on)> output_changed;

private:
    struct Event {
        enum class Kind { Attach, Detach, Input } kind;
        std::int16_t index = 0;
        bool state = false;
        std::uint32_t stamp = 0;
    };
    void post(Event e);

    const Clock& clock_;
    int event_fd_ = -1;
    bool attached_ = false;
    std::array<bool, kInputs> inputs_{};
    bool output_ = false;
    std::deque<Event> queue_;
};

} // namespace veltro
