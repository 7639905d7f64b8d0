#include "startswitch/backends/serial/tty_modem_lines.h"

#include "support/kernel_stamps.h"
#include "support/trace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/serial.h>
#include <unistd.h>

namespace veltro {

namespace {

std::uint32_t counter_now() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return counter_ms_at(now);
}

} // namespace

TtyModemLines::~TtyModemLines() {
    close();
}

std::string TtyModemLines::failure(const char* what, int error) const {
    return device_ + ": " + what + std::strerror(error);
}

std::string TtyModemLines::open(const std::string& device) {
    close();
    device_ = device;
    // O_NONBLOCK: do not wait for a carrier; the data lines are never read or written.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        std::string why = failure("", error);
        if (error == EACCES) {
            why += " (the user must be in the group that owns the port, usually dialout)";
        } else if (error == EBUSY) {
            why += " (another program has it open)";
        }
        return why;
    }
    int bits = 0;
    if (::ioctl(fd, TIOCMGET, &bits) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == ENOTTY || error == EINVAL) {
            return device + " has no modem lines: it is not a serial port";
        }
        return failure("", error);
    }
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        const int error = errno;
        ::close(fd);
        return failure("", error);
    }
    saved_ = t;
    // CLOCAL: a contact on DCD must not hang the port up when it opens. No hardware flow control, or
    // the driver would drive RTS itself. HUPCL: the supply is dropped when the port is closed.
    t.c_cflag |= CLOCAL | HUPCL;
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        const int error = errno;
        ::close(fd);
        return failure("", error);
    }
    // Nobody else (a modem manager probing new ports) may open it and play with the lines meanwhile.
    ::ioctl(fd, TIOCEXCL);
    serial_icounter_struct counts{};
    counted_ = ::ioctl(fd, TIOCGICOUNT, &counts) == 0;
    polled_ = false;
    fd_ = fd;
    return {};
}

void TtyModemLines::close() {
    if (fd_ < 0) {
        return;
    }
    // A port that is gone refuses both; that is fine.
    ::tcsetattr(fd_, TCSANOW, &saved_);
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

std::string TtyModemLines::read(ModemReading& out) {
    // The levels before the counts: a change between the two then shows in the counts only, and is
    // taken up with the next reading instead of being reported twice.
    if (::ioctl(fd_, TIOCMGET, &out.bits) != 0) {
        return failure("", errno);
    }
    out.changes.reset();
    if (counted_) {
        serial_icounter_struct c{};
        if (::ioctl(fd_, TIOCGICOUNT, &c) != 0) {
            return failure("", errno);
        }
        out.changes = {{static_cast<std::uint32_t>(c.cts), static_cast<std::uint32_t>(c.dsr),
                        static_cast<std::uint32_t>(c.dcd), static_cast<std::uint32_t>(c.rng)}};
    }
    return {};
}

ModemLines::WaitResult TtyModemLines::wait(int mask, int timeout_ms) {
    using Outcome = InterruptibleCall::Outcome;
    InterruptibleCall::Result r;
    std::uint32_t stamp = 0;
    if (polled_) {
        r = call_.run(std::min(timeout_ms, kPollMs), [] { return ::pause(); });
    } else {
        r = call_.run(timeout_ms, [&] {
            const int value = ::ioctl(fd_, TIOCMIWAIT, mask);
            const int error = errno;
            stamp = counter_now(); // the edge: taken before anything else can delay it
            errno = error;
            return value;
        });
        if (r.outcome == Outcome::Done && r.value != 0 && (r.error == ENOTTY || r.error == EINVAL)) {
            polled_ = true;
            Trace("Interface kit: ", device_, " does not report line changes; its lines are read every ",
                  kPollMs, " ms");
            return {Wake::Quiet, counter_now(), {}};
        }
    }
    switch (r.outcome) {
    case Outcome::Done:
        if (r.value == 0) {
            return {Wake::Changed, stamp, {}};
        }
        return {Wake::Gone, counter_now(), failure("", r.error)};
    case Outcome::TimedOut:
        return {Wake::Quiet, counter_now(), {}};
    case Outcome::Interrupted:
        return {Wake::Woken, counter_now(), {}};
    case Outcome::Failed:
        break;
    }
    return {Wake::Gone, counter_now(), failure("cannot wait for its lines: ", r.error)};
}

std::string TtyModemLines::set(int bits, bool on) {
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        return failure("", errno);
    }
    return {};
}

namespace {

// "ttyUSB10" after "ttyUSB9".
bool by_number(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

bool numbered(const std::string& name, const std::string& prefix) {
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// A built-in port's "type" is 0 when no UART answered at its address.
bool has_uart(const std::string& dev_path, const std::string& type_path) {
    std::ifstream type(type_path);
    int value = 0;
    if (type >> value) {
        return value != 0;
    }
    const int fd = ::open(dev_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int bits = 0;
    const bool answers = ::ioctl(fd, TIOCMGET, &bits) == 0;
    ::close(fd);
    return answers;
}

} // namespace

std::vector<std::string> serial_ports(const std::string& dev, const std::string& sys_tty) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::string> out;
    std::vector<std::string> stable;
    for (const auto& e : fs::directory_iterator(dev + "/serial/by-id", ec)) {
        stable.push_back(e.path().string());
    }
    std::sort(stable.begin(), stable.end());
    out.insert(out.end(), stable.begin(), stable.end());

    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dev, ec)) {
        names.push_back(e.path().filename().string());
    }
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        std::vector<std::string> group;
        for (const std::string& name : names) {
            if (numbered(name, prefix) && (std::string(prefix) != "ttyS" ||
                                           has_uart(dev + "/" + name, sys_tty + "/" + name + "/type"))) {
                group.push_back(name);
            }
        }
        std::sort(group.begin(), group.end(), by_number);
        for (const std::string& name : group) {
            out.push_back(dev + "/" + name);
        }
    }
    return out;
}

} // namespace veltro
