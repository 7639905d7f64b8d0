// The GPIO character device through libgpiod (the v1 API of Debian's libgpiod 1.6).
#include "startswitch/backends/gpio/gpio_chip.h"
#include "support/trace.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <gpiod.h>
#include <map>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>

namespace veltro {

namespace {

constexpr const char* kConsumer = "Veltro start switch";
// The most edges taken from one line in one read; more wait for the next.
constexpr unsigned kEdgesPerRead = 16;

bool all_digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string errno_text(int error) {
    return std::generic_category().message(error);
}

// libgpiod opens a path read-write before it checks what it is, and opening a serial port or a sound
// card by mistake is not harmless: anything that is not a GPIO chip is refused first.
bool is_gpio_chip(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    const std::string subsystem = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                                  std::to_string(minor(st.st_rdev)) + "/subsystem";
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::canonical(subsystem, ec);
    return !ec && target.filename() == "gpio";
}

class LibgpiodChip final : public GpioChip {
public:
    explicit LibgpiodChip(gpiod_chip* chip) : chip_(chip) {}
    // Closing the chip releases every line requested from it.
    ~LibgpiodChip() override { gpiod_chip_close(chip_); }
    LibgpiodChip(const LibgpiodChip&) = delete;
    LibgpiodChip& operator=(const LibgpiodChip&) = delete;

    GpioChipInfo info() const override {
        return {gpiod_chip_name(chip_), gpiod_chip_label(chip_), gpiod_chip_num_lines(chip_), {}};
    }

    std::optional<unsigned> find_line(const std::string& name) override {
        gpiod_line* line = gpiod_chip_find_line(chip_, name.c_str());
        if (!line) {
            return std::nullopt;
        }
        return gpiod_line_offset(line);
    }

    std::string request_input(unsigned offset) override {
        gpiod_line* line = gpiod_chip_get_line(chip_, offset);
        if (!line) {
            return line_problem(offset, "cannot be read", errno);
        }
        int rc =
            gpiod_line_request_both_edges_events_flags(line, kConsumer, GPIOD_LINE_REQUEST_FLAG_BIAS_PULL_UP);
        if (rc < 0 && errno == EINVAL) {
            // Kernels before 5.5 know no bias; the contact then needs a pull-up resistor of its own.
            rc = gpiod_line_request_both_edges_events(line, kConsumer);
            if (rc == 0) {
                Trace("*Interface kit: this kernel sets no pull-up on GPIO line ", offset, " of ",
                      gpiod_chip_name(chip_), "; the contact needs a pull-up resistor");
            }
        }
        if (rc < 0) {
            return line_problem(offset, "cannot report edges", errno, line);
        }
        lines_[offset] = line;
        return {};
    }

    std::string request_output(unsigned offset) override {
        gpiod_line* line = gpiod_chip_get_line(chip_, offset);
        if (!line || gpiod_line_request_output(line, kConsumer, 0) < 0) {
            return line_problem(offset, "cannot be set", errno, line);
        }
        lines_[offset] = line;
        return {};
    }

    int event_fd(unsigned offset) const override {
        const auto it = lines_.find(offset);
        return it == lines_.end() ? -1 : gpiod_line_event_get_fd(it->second);
    }

    bool read_edges(unsigned offset, std::vector<GpioEdge>& out) override {
        gpiod_line* line = requested(offset);
        gpiod_line_event events[kEdgesPerRead];
        const int n = line ? gpiod_line_event_read_multiple(line, events, kEdgesPerRead) : -1;
        if (n < 0) {
            return false;
        }
        for (int i = 0; i < n; ++i) {
            if (events[i].event_type == GPIOD_LINE_EVENT_RISING_EDGE ||
                events[i].event_type == GPIOD_LINE_EVENT_FALLING_EDGE) {
                out.push_back({events[i].event_type == GPIOD_LINE_EVENT_RISING_EDGE, events[i].ts});
            }
        }
        return true;
    }

    std::optional<bool> value(unsigned offset) override {
        gpiod_line* line = requested(offset);
        const int v = line ? gpiod_line_get_value(line) : -1;
        return v < 0 ? std::nullopt : std::optional<bool>(v != 0);
    }

    bool set_value(unsigned offset, bool high) override {
        gpiod_line* line = requested(offset);
        return line && gpiod_line_set_value(line, high ? 1 : 0) == 0;
    }

    bool present() override {
        // The line information comes from the chip itself: once the chip is gone, the kernel refuses it.
        gpiod_line* line = gpiod_chip_get_line(chip_, 0);
        return line && gpiod_line_update(line) == 0;
    }

private:
    gpiod_line* requested(unsigned offset) const {
        const auto it = lines_.find(offset);
        return it == lines_.end() ? nullptr : it->second;
    }

    std::string line_problem(unsigned offset, const char* what, int error, gpiod_line* line = nullptr) {
        std::string text = "GPIO line " + std::to_string(offset) + " of " + gpiod_chip_name(chip_);
        if (error == EBUSY && line && gpiod_line_update(line) == 0 && gpiod_line_consumer(line)) {
            return text + " is in use by \"" + gpiod_line_consumer(line) + "\"";
        }
        return text + " " + what + ": " + errno_text(error);
    }

    gpiod_chip* chip_;
    std::map<unsigned, gpiod_line*> lines_;
};

class Libgpiod final : public GpioLibrary {
public:
    GpioOpened open(const std::string& device) override {
        GpioOpened r;
        if (device.empty()) {
            r.error = "No GPIO chip is chosen";
            return r;
        }
        const bool number = all_digits(device);
        const std::string path = number                  ? "/dev/gpiochip" + device
                                 : device.front() == '/' ? device
                                                         : "/dev/" + device;
        gpiod_chip* chip = nullptr;
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            if (!is_gpio_chip(path)) {
                r.error = "\"" + device + "\" is not a GPIO chip";
                return r;
            }
            chip = gpiod_chip_open(path.c_str());
        } else if (number || device.front() == '/') {
            errno = ENOENT;
        } else {
            chip = gpiod_chip_open_by_label(device.c_str());
        }
        if (!chip) {
            const int error = errno;
            r.absent = error == ENOENT || error == ENODEV;
            r.error = r.absent ? "GPIO chip \"" + device + "\" not found"
                               : "GPIO chip \"" + device + "\" cannot be opened: " + errno_text(error);
            return r;
        }
        r.chip = std::make_unique<LibgpiodChip>(chip);
        return r;
    }

    // Each chip on its own, so that one the user may not open is still listed, with the reason.
    std::vector<GpioChipInfo> chips() override {
        std::vector<std::pair<unsigned long, std::string>> found;
        std::error_code ec;
        for (auto it = std::filesystem::directory_iterator("/dev", ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            const std::filesystem::path& entry = it->path();
            const std::string name = entry.filename().string();
            const std::string digits = name.substr(std::min<std::size_t>(name.size(), 8));
            if (name.starts_with("gpiochip") && all_digits(digits) && digits.size() < 6 &&
                is_gpio_chip(entry.string())) {
                found.emplace_back(std::stoul(digits), name);
            }
        }
        std::sort(found.begin(), found.end());
        std::vector<GpioChipInfo> out;
        for (const auto& [number, name] : found) {
            gpiod_chip* chip = gpiod_chip_open(("/dev/" + name).c_str());
            if (!chip) {
                out.push_back({name, {}, 0, "cannot be opened: " + errno_text(errno)});
                continue;
            }
            out.push_back({name, gpiod_chip_label(chip), gpiod_chip_num_lines(chip), {}});
            gpiod_chip_close(chip);
        }
        return out;
    }

    std::string version() const override { return std::string("libgpiod ") + gpiod_version_string(); }
};

} // namespace

std::shared_ptr<GpioLibrary> libgpiod_library() {
    static const auto library = std::make_shared<Libgpiod>();
    return library;
}

} // namespace veltro
