#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace veltro {

// The interface kit that carries the start switch: six digital inputs, one digital output (the LED),
// attach and detach. Like the capture devices, a kit delivers its events through a pollable
// descriptor and dispatch(), so every handler runs on the window thread, one at a time.
class InterfaceKit {
public:
    static constexpr std::int16_t kInputs = 6;

    virtual ~InterfaceKit() = default;

    // Opens any attached kit; the attach event follows through dispatch().
    virtual void open() = 0;
    virtual bool IsAttached() const = 0;
    virtual std::int32_t serial_number() const = 0;
    // Index 0..5; false outside.
    virtual bool input_state(std::int16_t index) const = 0;
    virtual bool output_state(std::int16_t index) const = 0;
    virtual void output_state(std::int16_t index, bool value) = 0;
    virtual std::string library_version() const = 0;
    virtual std::string device_type() const = 0;
    // Why the kit is not attached, when the hardware can tell (a device that cannot be opened).
    virtual std::string problem() const { return {}; }

    // Readable while events wait; -1 when the kit has no descriptor.
    virtual int event_fd() const = 0;
    // Delivers the waiting events through the callbacks below.
    virtual void dispatch() = 0;

    std::function<void()> OnAttach;
    std::function<void()> OnDetach;
    // `stamp_mill` is the moment the input changed, on the PC millisecond counter: the board's own
    // time stamp of the edge where it gives one, else the moment the change was seen. The heat start
    // is taken from it, so a busy window thread does not move the start.
    std::function<void(std::int16_t index, bool state, std::uint32_t stamp_mill)> OnInputChange;
};

} // namespace veltro
