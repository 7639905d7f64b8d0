#include "startswitch/backends/gpio/gpio_kit.h"

#include "support/kernel_stamps.h"
#include "support/text.h"
#include "support/trace.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <sys/eventfd.h>
#include <unistd.h>

namespace veltro {

namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// How far a believable stamp may lie from the clock it was taken on.
constexpr std::uint64_t kBelievableSeconds = 86400;

std::uint64_t seconds_apart(std::int64_t a, std::int64_t b) {
    return a > b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                 : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
}

bool all_digits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string input_name(std::size_t index) {
    return "input " + std::to_string(index);
}

std::string capitalized(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    }
    return text;
}

// Two inputs (or an input and the LED) on the same text: refused before any chip is looked at.
std::string same_text_twice(const KitConfig& config) {
    std::map<std::string, std::string> seen;
    for (std::size_t i = 0; i < config.lines.size(); ++i) {
        const std::string line = trim(config.lines[i]);
        if (line.empty()) {
            continue;
        }
        if (const auto [it, fresh] = seen.emplace(line, input_name(i)); !fresh) {
            return capitalized(it->second) + " and " + input_name(i) + " are both wired to GPIO line \"" +
                   line + "\"";
        }
    }
    if (const std::string led = trim(config.led_line); !led.empty()) {
        if (const auto it = seen.find(led); it != seen.end()) {
            return capitalized(it->second) + " and the LED are both wired to GPIO line \"" + led + "\"";
        }
    }
    return {};
}

} // namespace

GpioClocks read_gpio_clocks() {
    GpioClocks c;
    clock_gettime(CLOCK_MONOTONIC, &c.monotonic);
    clock_gettime(CLOCK_REALTIME, &c.realtime);
    return c;
}

std::uint32_t gpio_stamp_millis(const timespec& stamp, const GpioClocks& now) {
    // Monotonic first: a stamp of the last day on it is one, whatever the wall clock says (a board
    // without a battery clock starts its wall clock near zero too).
    if (seconds_apart(stamp.tv_sec, now.monotonic.tv_sec) <= kBelievableSeconds) {
        return counter_ms_at(stamp);
    }
    if (seconds_apart(stamp.tv_sec, now.realtime.tv_sec) > kBelievableSeconds) {
        return counter_ms_at(now.monotonic);
    }
    const std::int64_t before_now_ns =
        (static_cast<std::int64_t>(now.realtime.tv_sec) - stamp.tv_sec) * kNsPerSecond +
        (now.realtime.tv_nsec - stamp.tv_nsec);
    const std::int64_t monotonic_ns = static_cast<std::int64_t>(now.monotonic.tv_sec) * kNsPerSecond +
                                      now.monotonic.tv_nsec - before_now_ns;
    return counter_ms_at(monotonic_ns);
}

std::string gpio_device_entry(const GpioChipInfo& chip) {
    if (!chip.problem.empty()) {
        return chip.name + " (" + chip.problem + ")";
    }
    const std::string lines = std::to_string(chip.lines) + " lines";
    return chip.name + " (" + (chip.label.empty() ? lines : chip.label + ", " + lines) + ")";
}

std::string gpio_device_name(const std::string& text) {
    const std::string device = trim(text);
    const std::size_t paren = device.find(" (");
    if (paren != std::string::npos && device.starts_with("gpiochip") &&
        all_digits(device.substr(8, paren - 8))) {
        return device.substr(0, paren);
    }
    return device;
}

std::optional<GpioWiring> resolve_gpio_wiring(const KitConfig& config, GpioChip& chip, std::string& error) {
    const GpioChipInfo info = chip.info();
    std::map<unsigned, std::string> taken;
    const auto find = [&](const std::string& text, const std::string& who) -> std::optional<unsigned> {
        std::optional<unsigned> offset;
        if (all_digits(text)) {
            unsigned v = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
            if (ec == std::errc() && v < info.lines) {
                offset = v;
            } else {
                error = capitalized(who) + ": " + info.name + " has no GPIO line " + text + " (it has " +
                        std::to_string(info.lines) + " lines, numbered from 0)";
                return std::nullopt;
            }
        } else if (!(offset = chip.find_line(text))) {
            error = capitalized(who) + ": " + info.name + " has no GPIO line named \"" + text + "\"";
            return std::nullopt;
        }
        if (const auto [it, fresh] = taken.emplace(*offset, who); !fresh) {
            error = capitalized(it->second) + " and " + who + " are both on GPIO line " +
                    std::to_string(*offset) + " of " + info.name;
            return std::nullopt;
        }
        return offset;
    };

    GpioWiring wiring;
    for (std::size_t i = 0; i < config.lines.size(); ++i) {
        const std::string line = trim(config.lines[i]);
        if (line.empty()) {
            continue;
        }
        const auto offset = find(line, input_name(i));
        if (!offset) {
            return std::nullopt;
        }
        wiring.inputs.emplace_back(static_cast<std::int16_t>(i), *offset);
    }
    if (const std::string led = trim(config.led_line); !led.empty()) {
        if (!(wiring.led = find(led, "the LED"))) {
            return std::nullopt;
        }
    }
    return wiring;
}

GpioKitDriver::GpioKitDriver(std::shared_ptr<GpioLibrary> library, const KitConfig& config)
    : library_(std::move(library)), config_(config), device_(gpio_device_name(config.device)),
      wake_fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

GpioKitDriver::~GpioKitDriver() {
    close();
    if (wake_fd_ >= 0) {
        ::close(wake_fd_);
    }
}

std::string GpioKitDriver::open() {
    close();
    GpioOpened opened = library_->open(device_);
    if (!opened.chip) {
        return opened.error;
    }
    std::string error;
    std::optional<GpioWiring> wiring = resolve_gpio_wiring(config_, *opened.chip, error);
    if (!wiring) {
        return error;
    }
    for (const auto& [index, offset] : wiring->inputs) {
        if (std::string why = opened.chip->request_input(offset); !why.empty()) {
            return why;
        }
    }
    // A dark LED is no reason to go without the start switch.
    if (wiring->led) {
        if (const std::string why = opened.chip->request_output(*wiring->led); !why.empty()) {
            Trace("*Interface kit: ", why, "; the LED stays dark");
            wiring->led.reset();
        }
    }
    fds_.assign(1, pollfd{wake_fd_, POLLIN, 0});
    for (const auto& [index, offset] : wiring->inputs) {
        fds_.push_back({opened.chip->event_fd(offset), POLLIN, 0});
    }
    wiring_ = std::move(*wiring);
    const std::lock_guard lock(mutex_);
    chip_ = std::move(opened.chip);
    led_ = wiring_.led;
    return {};
}

void GpioKitDriver::close() {
    const std::lock_guard lock(mutex_);
    chip_.reset();
    led_.reset();
    fds_.clear();
    wiring_ = {};
}

KitLevels GpioKitDriver::levels() {
    KitLevels levels{};
    const std::lock_guard lock(mutex_);
    if (chip_) {
        for (const auto& [index, offset] : wiring_.inputs) {
            levels[static_cast<std::size_t>(index)] = chip_->value(offset).value_or(false);
        }
    }
    return levels;
}

bool GpioKitDriver::wait(int timeout_ms, std::vector<KitDriverEvent>& out) {
    if (!chip_ || fds_.empty()) {
        return false;
    }
    const int timeout = timeout_ms < 0 || timeout_ms > kPresenceCheckMs ? kPresenceCheckMs : timeout_ms;
    const int ready = ::poll(fds_.data(), fds_.size(), timeout);
    if (ready < 0) {
        return errno == EINTR;
    }
    if (fds_[0].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto n = ::read(wake_fd_, &count, sizeof count);
    }
    bool alive = true;
    for (std::size_t i = 0; i < wiring_.inputs.size(); ++i) {
        const auto [index, offset] = wiring_.inputs[i];
        const short revents = fds_[i + 1].revents;
        if (revents & POLLIN) {
            edges_.clear();
            bool read = false;
            {
                const std::lock_guard lock(mutex_);
                read = chip_->read_edges(offset, edges_);
            }
            // Read after the edges, so that every stamp lies before it.
            const GpioClocks now = read_gpio_clocks();
            for (const GpioEdge& e : edges_) {
                out.push_back({KitDriverEvent::Kind::Edge, index, e.rising, gpio_stamp_millis(e.stamp, now)});
            }
            alive = alive && read;
        }
        // Newer kernels wake a line's reader with an error when its chip is removed.
        if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
            alive = false;
        }
    }
    if (ready == 0) {
        const std::lock_guard lock(mutex_);
        alive = chip_->present();
    }
    return alive;
}

void GpioKitDriver::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_fd_, &one, sizeof one);
}

void GpioKitDriver::set_output(bool on) {
    const std::lock_guard lock(mutex_);
    if (chip_ && led_) {
        // A failure here is the chip going away, which wait() reports.
        chip_->set_value(*led_, on);
    }
}

std::unique_ptr<KitDriver> make_gpio_driver(const KitConfig& config, std::shared_ptr<GpioLibrary> library,
                                            std::string& error) {
    error.clear();
    if (gpio_device_name(config.device).empty()) {
        error = "No GPIO chip is chosen";
        return nullptr;
    }
    if (std::all_of(config.lines.begin(), config.lines.end(),
                    [](const std::string& l) { return trim(l).empty(); })) {
        error = "No input is wired to a GPIO line";
        return nullptr;
    }
    if (error = same_text_twice(config); !error.empty()) {
        return nullptr;
    }
    GpioOpened opened = library->open(gpio_device_name(config.device));
    if (opened.chip ? !resolve_gpio_wiring(config, *opened.chip, error) : !opened.absent) {
        if (error.empty()) {
            error = opened.error;
        }
        return nullptr;
    }
    return std::make_unique<GpioKitDriver>(std::move(library), config);
}

void register_gpio_backend(KitBackends& backends, std::shared_ptr<GpioLibrary> library) {
    KitBackend b;
    b.id = "gpio";
    b.label = "GPIO lines (single-board computer or USB GPIO adapter)";
    b.device_hint = "A GPIO chip: its name (gpiochip0), number, path or label";
    b.line_hint = "A line of the chip: its offset (17) or the name the chip gives it";
    b.defaults = [] {
        // A contact to ground on GPIO 17: the pull-up holds the line high while it is open.
        KitConfig c;
        c.backend = "gpio";
        c.device = "gpiochip0";
        c.lines[0] = "17";
        c.inverted.fill(true);
        return c;
    };
    b.devices = [library] {
        std::vector<std::string> out;
        for (const GpioChipInfo& chip : library->chips()) {
            out.push_back(gpio_device_entry(chip));
        }
        return out;
    };
    // Line events carry the kernel's stamps.
    b.make_driver = [library](const KitConfig& config, const Clock&, std::string& error) {
        return make_gpio_driver(config, library, error);
    };
    backends.add(std::move(b));
}

} // namespace veltro
