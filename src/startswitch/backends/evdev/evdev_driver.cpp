#include "startswitch/backends/evdev/evdev_driver.h"

#include "support/trace.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>

namespace veltro {

namespace {

constexpr std::size_t kLongBits = sizeof(unsigned long) * CHAR_BIT;
using KeyLongs = std::array<unsigned long, (KEY_CNT + kLongBits - 1) / kLongBits>;

// Key bits the device answers an ioctl with; empty when it has none to give (a pipe).
std::optional<EvdevKeyBits> key_ioctl(int fd, unsigned long request) {
    KeyLongs longs{};
    if (::ioctl(fd, request, longs.data()) < 0) {
        return std::nullopt;
    }
    return evdev_key_bits(longs);
}

bool write_led(int fd, int led, bool on) {
    input_event records[2]{};
    records[0].type = EV_LED;
    records[0].code = static_cast<std::uint16_t>(led);
    records[0].value = on ? 1 : 0;
    records[1].type = EV_SYN;
    records[1].code = SYN_REPORT;
    return ::write(fd, records, sizeof records) == static_cast<ssize_t>(sizeof records);
}

// Closes the descriptor unless it was handed on.
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int release() { return std::exchange(fd, -1); }
};

} // namespace

EvdevDriver::EvdevDriver(EvdevWiring wiring, Opener opener)
    : wiring_(std::move(wiring)), opener_(std::move(opener)), decoder_(wiring_.keys) {
    if (!opener_) {
        opener_ = [path = wiring_.device](int flags) { return ::open(path.c_str(), flags); };
    }
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

EvdevDriver::~EvdevDriver() {
    close();
    if (wake_fd_ >= 0) {
        ::close(wake_fd_);
    }
}

std::string EvdevDriver::open() {
    close();
    const std::string& path = wiring_.device;
    const bool led = wiring_.led != EvdevWiring::kNone;
    const int flags = O_NONBLOCK | O_CLOEXEC;
    FdGuard fd{opener_(flags | (led ? O_RDWR : O_RDONLY))};
    if (fd.fd < 0 && led && errno == EACCES) {
        // Reading is all the inputs need; only the LED is lost.
        fd.fd = opener_(flags | O_RDONLY);
        if (fd.fd >= 0) {
            Trace("*Interface kit: ", path, " may only be read, so the LED ", evdev_led_name(wiring_.led),
                  " cannot be set");
        }
    }
    if (fd.fd < 0) {
        const int error = errno;
        std::string why = "Cannot open " + path + ": " + std::strerror(error);
        if (error == EACCES) {
            why += " (the user must be in the device's group, usually \"input\")";
        }
        return why;
    }

    struct stat st {};
    const bool stream = ::fstat(fd.fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    int version = 0;
    if (!stream && !(S_ISCHR(st.st_mode) && ::ioctl(fd.fd, EVIOCGVERSION, &version) == 0)) {
        return path + " is not an input event device (/dev/input/event...)";
    }
    // Stamps on the counter's own clock; a kernel that cannot do that keeps the realtime clock.
    int clock = CLOCK_MONOTONIC;
    monotonic_ = ::ioctl(fd.fd, EVIOCSCLOCKID, &clock) == 0;
    if (::ioctl(fd.fd, EVIOCGRAB, 1) != 0 && errno == EBUSY) {
        // A grab elsewhere means no event would reach us.
        return path + " is held by another program";
    }

    std::string name;
    char text[256] = {};
    if (::ioctl(fd.fd, EVIOCGNAME(sizeof text - 1), text) >= 0) {
        name = text;
    }
    const std::string label = name.empty() ? path : "\"" + name + "\"";
    if (const std::optional<EvdevKeyBits> has = key_ioctl(fd.fd, EVIOCGBIT(EV_KEY, sizeof(KeyLongs)))) {
        for (std::size_t i = 0; i < wiring_.keys.size(); ++i) {
            const int key = wiring_.keys[i];
            if (key != EvdevWiring::kNone && !(*has)[static_cast<std::size_t>(key)]) {
                return label + " has no key " + evdev_key_name(key) + " (input " + std::to_string(i) + ")";
            }
        }
    }
    if (led) {
        unsigned long leds = 0;
        if (::ioctl(fd.fd, EVIOCGBIT(EV_LED, sizeof leds), &leds) >= 0 && !((leds >> wiring_.led) & 1u)) {
            Trace("*Interface kit: ", label, " has no LED ", evdev_led_name(wiring_.led));
        }
    }
    input_id id{};
    serial_ = ::ioctl(fd.fd, EVIOCGID, &id) == 0
                  ? static_cast<std::int32_t>(static_cast<std::uint32_t>(id.vendor) << 16 | id.product)
                  : 0;
    decoder_.reset(key_ioctl(fd.fd, EVIOCGKEY(sizeof(KeyLongs))).value_or(EvdevKeyBits{}));
    buffered_ = 0;
    led_fault_told_ = false;
    {
        const std::lock_guard lock(name_mutex_);
        name_ = name;
        version_ = version;
    }
    fd_ = fd.release();
    Trace("*Interface kit: opened ", path, name.empty() ? "" : " " + label,
          monotonic_ ? "" : ", its time stamps on the realtime clock");
    return {};
}

void EvdevDriver::close() {
    const int fd = fd_.exchange(-1);
    if (fd < 0) {
        return;
    }
    if (wiring_.led != EvdevWiring::kNone) {
        write_led(fd, wiring_.led, false);
    }
    // Closing lets go of the grab as well.
    ::close(fd);
}

bool EvdevDriver::wait(int timeout_ms, std::vector<KitDriverEvent>& out) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    if (::poll(fds, 2, timeout_ms) < 0) {
        return true; // a signal: the kit simply waits again
    }
    if (fds[1].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto n = ::read(wake_fd_, &count, sizeof count);
    }
    if (fds[0].revents & POLLNVAL) {
        return false;
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        return read_records(out);
    }
    return true;
}

bool EvdevDriver::read_records(std::vector<KitDriverEvent>& out) {
    // A bounded number of reads, so that a device that never stops talking cannot starve wake().
    for (int reads = 0; reads < 16; ++reads) {
        const ssize_t n = ::read(fd_, buffer_.data() + buffered_, buffer_.size() - buffered_);
        if (n > 0) {
            buffered_ += static_cast<std::size_t>(n);
            decode(out);
            continue;
        }
        if (n == 0) {
            return false; // the writer of a pipe has gone
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            return true;
        }
        if (const int error = errno; error != ENODEV) {
            Trace("*Interface kit: reading ", wiring_.device, " failed: ", std::strerror(error));
        }
        return false;
    }
    return true;
}

void EvdevDriver::decode(std::vector<KitDriverEvent>& out) {
    const std::int64_t offset = monotonic_ ? 0 : realtime_minus_monotonic_ns();
    std::size_t at = 0;
    for (; at + sizeof(input_event) <= buffered_; at += sizeof(input_event)) {
        input_event e;
        std::memcpy(&e, buffer_.data() + at, sizeof e);
        if (const std::optional<std::uint32_t> gap_end = decoder_.feed(e, offset, out)) {
            // Without a key state to read (a pipe), the levels stay as last seen.
            if (const std::optional<EvdevKeyBits> down = key_ioctl(fd_, EVIOCGKEY(sizeof(KeyLongs)))) {
                decoder_.resync(*down, *gap_end, out);
            }
        }
    }
    // A record cut by the read waits for its remainder.
    std::memmove(buffer_.data(), buffer_.data() + at, buffered_ - at);
    buffered_ -= at;
}

void EvdevDriver::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_fd_, &one, sizeof one);
}

void EvdevDriver::set_output(bool on) {
    const int fd = fd_;
    if (wiring_.led == EvdevWiring::kNone || fd < 0) {
        return;
    }
    if (!write_led(fd, wiring_.led, on) && !led_fault_told_.exchange(true)) {
        const int error = errno;
        Trace("*Interface kit: the LED ", evdev_led_name(wiring_.led), " of ", wiring_.device,
              " cannot be set: ", std::strerror(error));
    }
}

std::string EvdevDriver::device_type() const {
    const std::lock_guard lock(name_mutex_);
    return name_.empty() ? "Linux input device" : "Linux input device \"" + name_ + "\"";
}

std::string EvdevDriver::library_version() const {
    std::string text = "Linux input events";
    {
        const std::lock_guard lock(name_mutex_);
        if (version_ != 0) {
            text += " " + std::to_string(version_ >> 16) + "." + std::to_string((version_ >> 8) & 0xff) +
                    "." + std::to_string(version_ & 0xff);
        }
    }
    utsname u{};
    if (::uname(&u) == 0) {
        text += std::string(", kernel ") + u.release;
    }
    return text;
}

} // namespace veltro
