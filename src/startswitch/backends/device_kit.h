#pragma once

#include "startswitch/backends/line_debouncer.h"
#include "startswitch/kit_driver.h"
#include "support/clocks.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace veltro {

// An interface kit on real hardware. A thread of its own waits on the device (so an edge is stamped
// when it happens, not when the window thread gets round to it), inverts and debounces each input,
// and queues the changes; dispatch() delivers them on the window thread. A device that is unplugged
// is reported detached and opened again as soon as it is back, without a restart.
class DeviceKit final : public InterfaceKit {
public:
    struct Options {
        std::array<bool, kInputs> inverted{};
        std::uint32_t debounce_ms = 0;
        // How often a missing device is looked for.
        int retry_ms = 500;
    };

    DeviceKit(std::unique_ptr<KitDriver> driver, Options options, const Clock& clock);
    ~DeviceKit() override;
    DeviceKit(const DeviceKit&) = delete;
    DeviceKit& operator=(const DeviceKit&) = delete;

    void open() override;
    bool IsAttached() const override { return attached_; }
    std::int32_t serial_number() const override { return attached_ ? serial_ : 0; }
    bool input_state(std::int16_t index) const override;
    bool output_state(std::int16_t index) const override;
    void output_state(std::int16_t index, bool value) override;
    std::string library_version() const override { return driver_->library_version(); }
    std::string device_type() const override { return driver_->device_type(); }
    int event_fd() const override { return event_fd_; }
    void dispatch() override;

    // The reason the device's last open failed, while it stays closed.
    std::string problem() const override;

private:
    struct Event {
        enum class Kind { Attach, Detach, Input };
        Kind kind = Kind::Input;
        std::int16_t index = 0;
        bool state = false;
        std::uint32_t stamp = 0;
        KitLevels levels{};
        std::int32_t serial = 0;
    };

    void run();
    bool open_device();
    void close_device(bool report);
    void device_attached();
    void handle(const KitDriverEvent& e);
    void settle(std::uint32_t now);
    int wait_timeout() const;
    bool pause(int ms);
    void post(Event e);

    std::unique_ptr<KitDriver> driver_;
    Options options_;
    const Clock& clock_;
    int event_fd_ = -1;
    int stop_fd_ = -1;
    std::thread thread_;
    std::atomic<bool> stopping_{false};

    // The device thread's side.
    bool open_ = false;
    bool device_attached_ = false;
    std::array<LineDebouncer, kInputs> lines_;

    // Shared with the window thread.
    mutable std::mutex mutex_;
    std::deque<Event> queue_;
    std::string problem_;
    bool output_ = false;

    // The window thread's side: the kit as the handlers see it.
    bool attached_ = false;
    std::int32_t serial_ = 0;
    KitLevels inputs_{};
};

} // namespace veltro
