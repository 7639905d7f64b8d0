#pragma once

#include "startswitch/backends/evdev/evdev_decoder.h"
#include "startswitch/backends/evdev/evdev_wiring.h"
#include "startswitch/kit_driver.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>

namespace veltro {

// A start switch on a Linux input device (/dev/input/event*): a USB encoder, foot switch, button
// board or keyboard whose keys are the inputs. The kernel stamps every key edge when the device
// reports it, and those stamps are the inputs' times. The device is grabbed so that its keys do not
// also type into the program; a keyboard LED can serve as the kit's output.
//
// A pipe or socket carrying input_event records is taken as a device too: the ioctls it refuses
// leave its records undecorated (realtime stamps, no key state, no grab), and its writer closing is
// the device going away (a FIFO is opened for writing too when an LED is wired, and so never ends).
class EvdevDriver final : public KitDriver {
public:
    // Opens the device with open(2) flags; -1 and errno when it cannot. The default opens the wiring's
    // device path.
    using Opener = std::function<int(int flags)>;

    explicit EvdevDriver(EvdevWiring wiring, Opener opener = {});
    ~EvdevDriver() override;
    EvdevDriver(const EvdevDriver&) = delete;
    EvdevDriver& operator=(const EvdevDriver&) = delete;

    std::string open() override;
    void close() override;
    KitLevels levels() override { return decoder_.levels(); }
    bool wait(int timeout_ms, std::vector<KitDriverEvent>& out) override;
    void wake() override;
    void set_output(bool on) override;

    std::int32_t serial() const override { return serial_; }
    std::string device_type() const override;
    std::string library_version() const override;

private:
    // Reads what the device has; false when it is gone.
    bool read_records(std::vector<KitDriverEvent>& out);
    void decode(std::vector<KitDriverEvent>& out);
    std::optional<EvdevKeyBits> keys_down() const;

    EvdevWiring wiring_;
    Opener opener_;
    int wake_fd_ = -1;
    // Set and cleared by open() and close() only; read by set_output() from the window thread.
    std::atomic<int> fd_{-1};
    std::atomic<std::int32_t> serial_{0};
    std::atomic<bool> led_fault_told_{false};

    // The device thread's side.
    EvdevDecoder decoder_;
    bool monotonic_ = false;
    std::array<unsigned char, 64 * sizeof(input_event)> buffer_{};
    std::size_t buffered_ = 0;

    // What the opened device told of itself, for the queries of other threads.
    mutable std::mutex name_mutex_;
    std::string name_;
    int version_ = 0;
};

} // namespace veltro
