#pragma once

#include "startswitch/backends/gpio/gpio_chip.h"
#include "startswitch/kit_backends.h"
#include "startswitch/kit_driver.h"

#include <cstdint>
#include <ctime>
#include <mutex>
#include <poll.h>
#include <utility>

namespace veltro {

// The clocks the kernel may have stamped an edge with, read one after the other.
struct GpioClocks {
    timespec monotonic{};
    timespec realtime{};
};
GpioClocks read_gpio_clocks();

// The PC millisecond counter at a kernel edge stamp. Since Linux 5.7 GPIO edges are stamped on
// CLOCK_MONOTONIC, the clock the counter is made of (whole milliseconds, truncated, modulo 2^32);
// older kernels stamp on CLOCK_REALTIME, which is moved onto the monotonic clock by the two clocks'
// distance at `now`. A stamp more than a day away from both clocks is not believed: the edge is put
// at `now`, when it was read.
std::uint32_t gpio_stamp_millis(const timespec& stamp, const GpioClocks& now);

// The device list's entry for a chip ("gpiochip0 (pinctrl-bcm2835, 54 lines)"), and the device an
// entry or a typed name stands for ("gpiochip0").
std::string gpio_device_entry(const GpioChipInfo& chip);
std::string gpio_device_name(const std::string& text);

// Where a kit's lines are on its chip.
struct GpioWiring {
    std::vector<std::pair<std::int16_t, unsigned>> inputs; // input index, line offset
    std::optional<unsigned> led;
};

// Finds every line of `config` on `chip`: an offset ("17") or the name the chip gives the line.
// Empty, with `error` saying which, when a line is not there or two share one.
std::optional<GpioWiring> resolve_gpio_wiring(const KitConfig& config, GpioChip& chip, std::string& error);

// A start switch on GPIO lines: each wired input is requested with pull-up and both edges, and
// the kernel's stamp of each edge becomes the input change's time.
class GpioKitDriver final : public KitDriver {
public:
    // How often a quiet wait asks whether the chip is still there: older kernels do not wake the
    // line's descriptor when a USB adapter is unplugged.
    static constexpr int kPresenceCheckMs = 1000;

    GpioKitDriver(std::shared_ptr<GpioLibrary> library, const KitConfig& config);
    ~GpioKitDriver() override;
    GpioKitDriver(const GpioKitDriver&) = delete;
    GpioKitDriver& operator=(const GpioKitDriver&) = delete;

    std::string open() override;
    void close() override;
    KitLevels levels() override;
    bool wait(int timeout_ms, std::vector<KitDriverEvent>& out) override;
    void wake() override;
    void set_output(bool on) override;
    std::string device_type() const override { return "GPIO chip " + device_; }
    std::string library_version() const override { return library_->version(); }

private:
    std::shared_ptr<GpioLibrary> library_;
    KitConfig config_;
    std::string device_;
    int wake_fd_ = -1;

    // The device thread's side: the wiring and what wait() polls.
    GpioWiring wiring_;
    std::vector<pollfd> fds_;
    std::vector<GpioEdge> edges_;

    // set_output() comes from other threads: every call to the chip holds this.
    std::mutex mutex_;
    std::unique_ptr<GpioChip> chip_;
    std::optional<unsigned> led_;
};

// A driver for `config`, or null with `error` set when the configuration cannot work. A chip that
// is not there now is no error (a USB adapter plugged in later); when it is there, every line is
// looked up on it now.
std::unique_ptr<KitDriver> make_gpio_driver(const KitConfig& config, std::shared_ptr<GpioLibrary> library,
                                            std::string& error);

// The start-switch back end "gpio": lines of GPIO chips, through `library` (libgpiod_library(); tests
// give a fake).
void register_gpio_backend(KitBackends& backends, std::shared_ptr<GpioLibrary> library);

} // namespace veltro
