#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// One edge of a GPIO input as the kernel reports it: the line's new level and the kernel's time
// stamp of the interrupt.
struct GpioEdge {
    bool rising = false;
    timespec stamp{};
};

struct GpioChipInfo {
    std::string name; // "gpiochip0"
    std::string label;
    unsigned lines = 0;
    std::string problem; // why the chip could not be opened to look at it
};

// An opened GPIO chip, reduced to the few calls the start switch makes. The real one goes to the
// GPIO character device through libgpiod; tests put a fake in its place.
class GpioChip {
public:
    virtual ~GpioChip() = default;

    virtual GpioChipInfo info() const = 0;
    // The offset of the line the chip names `name`; empty when it names none so.
    virtual std::optional<unsigned> find_line(const std::string& name) = 0;
    // Requests `offset` as an input with pull-up that reports both edges. Empty on success, else why.
    virtual std::string request_input(unsigned offset) = 0;
    // Requests `offset` as an output, low. Empty on success, else why.
    virtual std::string request_output(unsigned offset) = 0;
    // Readable while edges of the requested input `offset` wait.
    virtual int event_fd(unsigned offset) const = 0;
    // Appends the waiting edges of input `offset`; false when they cannot be read (the chip is gone).
    virtual bool read_edges(unsigned offset, std::vector<GpioEdge>& out) = 0;
    // The level of a requested line; empty when it cannot be read.
    virtual std::optional<bool> value(unsigned offset) = 0;
    virtual bool set_value(unsigned offset, bool high) = 0;
    // False once the chip has been removed (a USB adapter unplugged).
    virtual bool present() = 0;
};

struct GpioOpened {
    std::unique_ptr<GpioChip> chip;
    std::string error;   // why there is no chip
    bool absent = false; // no such chip now: it may be plugged in later
};

class GpioLibrary {
public:
    virtual ~GpioLibrary() = default;
    // Opens a chip by name ("gpiochip0"), number, path or label.
    virtual GpioOpened open(const std::string& device) = 0;
    virtual std::vector<GpioChipInfo> chips() = 0;
    virtual std::string version() const = 0;
};

// The GPIO character device through libgpiod.
std::shared_ptr<GpioLibrary> libgpiod_library();

} // namespace veltro
