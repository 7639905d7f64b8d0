#pragma once

#include "startswitch/interface_kit.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// What a start-switch device reports. `slot` is the program's input (0..5) the device's line is
// wired to; `level` is the contact as the device reads it, before any inversion.
struct KitDriverEvent {
    enum class Kind { Edge, Attached, Detached };
    Kind kind = Kind::Edge;
    std::int16_t slot = 0;
    bool level = false;
    std::uint32_t stamp = 0; // PC millisecond counter
};

using KitLevels = std::array<bool, InterfaceKit::kInputs>;

// One kind of start-switch hardware, reduced to what a kit needs: open it, read its lines, wait for
// edges with their time stamps, drive the LED. A DeviceKit runs it on a thread of its own; only
// set_output(), wake() and the read-only queries are called from other threads.
class KitDriver {
public:
    virtual ~KitDriver() = default;

    // Opens the device. Empty on success, else the reason (the kit tries again later).
    virtual std::string open() = 0;
    virtual void close() = 0;
    // The six inputs' levels now, before inversion; lines not wired read false.
    virtual KitLevels levels() = 0;
    // Waits at most `timeout_ms` (-1: until something happens or wake()) and appends what happened to
    // `out`. False when the device is gone (unplugged, failed): the kit closes it and opens it again
    // once it is back.
    virtual bool wait(int timeout_ms, std::vector<KitDriverEvent>& out) = 0;
    // Makes a wait() in progress return soon; safe from any thread.
    virtual void wake() = 0;
    // The LED. Called while the device is open.
    virtual void set_output(bool on) = 0;

    // A device that tells attach and detach itself (a library that watches the bus) reports them as
    // events; for every other one, a successful open() is the attach.
    virtual bool reports_attach() const { return false; }
    virtual std::int32_t serial() const { return 0; }
    virtual std::string device_type() const = 0;
    virtual std::string library_version() const = 0;
};

} // namespace veltro
