#include "startswitch/backends/serial/serial_kit.h"

#include "startswitch/backends/serial/tty_modem_lines.h"
#include "support/trace.h"

#include <algorithm>
#include <cctype>
#include <sys/utsname.h>
#include <utility>

namespace veltro {

namespace {

constexpr int kRtsDtr = TIOCM_RTS | TIOCM_DTR;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Settings are typed by hand: " cts" is CTS.
std::string line_name(const std::string& text) {
    std::string name = trimmed(text);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name;
}

std::optional<std::size_t> input_index(const std::string& name) {
    for (std::size_t i = 0; i < kModemInputs.size(); ++i) {
        if (name == kModemInputs[i].name) {
            return i;
        }
    }
    return std::nullopt;
}

int output_bit(const std::string& name) {
    for (const ModemOutput& o : kModemOutputs) {
        if (name == o.name) {
            return o.bit;
        }
    }
    return 0;
}

} // namespace

std::optional<SerialWiring> serial_wiring(const KitConfig& config, std::string& error) {
    SerialWiring wiring;
    wiring.device = trimmed(config.device);
    if (wiring.device.empty()) {
        error = "Choose the serial port of the start switch (such as /dev/ttyUSB0)";
        return std::nullopt;
    }
    std::array<int, kModemInputs.size()> used_by;
    used_by.fill(-1);
    bool any = false;
    for (std::size_t slot = 0; slot < config.lines.size(); ++slot) {
        const std::string name = line_name(config.lines[slot]);
        if (name.empty()) {
            continue;
        }
        const std::string input = "Input " + std::to_string(slot);
        const auto index = input_index(name);
        if (!index) {
            error = output_bit(name) ? input + ": " + name +
                                           " is driven by the program; wire the contact from it to CTS, "
                                           "DSR, DCD or RI"
                                     : input + ": \"" + config.lines[slot] +
                                           "\" is not a modem line; use CTS, DSR, DCD or RI";
            return std::nullopt;
        }
        if (used_by[*index] >= 0) {
            error = "Inputs " + std::to_string(used_by[*index]) + " and " + std::to_string(slot) +
                    " are both on " + name + "; each input needs a line of its own";
            return std::nullopt;
        }
        used_by[*index] = static_cast<int>(slot);
        wiring.inputs[slot] = kModemInputs[*index].bit;
        any = true;
    }
    if (!any) {
        error = "No input is on a modem line; wire the start contact to CTS, DSR, DCD or RI";
        return std::nullopt;
    }
    const std::string led = line_name(config.led_line);
    wiring.led = output_bit(led);
    if (!led.empty() && wiring.led == 0) {
        error = "The LED cannot be on \"" + config.led_line + "\"; use RTS, DTR or no LED";
        return std::nullopt;
    }
    return wiring;
}

SerialKitDriver::SerialKitDriver(SerialWiring wiring, std::unique_ptr<ModemLines> lines, Timing timing)
    : wiring_(std::move(wiring)), lines_(std::move(lines)), timing_(timing) {
    for (const int bit : wiring_.inputs) {
        mask_ |= bit;
    }
    // Without an LED both lines power the contacts, so either may be wired.
    supply_ = wiring_.led ? kRtsDtr & ~wiring_.led : kRtsDtr;
}

std::string SerialKitDriver::open() {
    if (std::string why = lines_->open(wiring_.device); !why.empty()) {
        return why;
    }
    std::string why = lines_->set(supply_, true);
    // The contacts were unpowered while the port was closed: the levels they show once powered are
    // where the kit starts from, not input changes. A few rounds at most, for lines that report
    // one after another.
    for (int round = 0; why.empty() && timing_.settle_ms > 0 && round < 4; ++round) {
        const ModemLines::WaitResult r = lines_->wait(mask_, timing_.settle_ms);
        if (r.wake == ModemLines::Wake::Gone) {
            why = r.error;
        } else if (r.wake == ModemLines::Wake::Woken) {
            // Meant for the kit's next wait, which follows the opening without a look at why.
            woken_ = true;
            break;
        } else if (r.wake != ModemLines::Wake::Changed) {
            break;
        }
    }
    if (why.empty()) {
        why = lines_->read(last_);
    }
    if (!why.empty()) {
        lines_->close();
    }
    return why;
}

void SerialKitDriver::close() {
    lines_->close();
    last_ = {};
}

KitLevels SerialKitDriver::levels() {
    KitLevels out{};
    for (std::size_t slot = 0; slot < out.size(); ++slot) {
        out[slot] = (last_.bits & wiring_.inputs[slot]) != 0;
    }
    return out;
}

bool SerialKitDriver::wait(int timeout_ms, std::vector<KitDriverEvent>& out) {
    if (std::exchange(woken_, false)) {
        return true;
    }
    const ModemLines::WaitResult r = lines_->wait(mask_, timeout_ms < 0 ? timing_.recheck_ms : timeout_ms);
    if (r.wake == ModemLines::Wake::Woken) {
        return true;
    }
    std::string why = r.wake == ModemLines::Wake::Gone ? r.error : std::string();
    ModemReading now;
    if (why.empty()) {
        why = lines_->read(now);
    }
    if (!why.empty()) {
        Trace("*Interface kit: ", why);
        return false;
    }
    // A wait that timed out still reads the lines: what changed unnoticed is reported as seen now.
    compare(now, r.stamp, out);
    return true;
}

void SerialKitDriver::compare(const ModemReading& now, std::uint32_t stamp,
                              std::vector<KitDriverEvent>& out) {
    ModemReading taken = now;
    for (std::size_t slot = 0; slot < wiring_.inputs.size(); ++slot) {
        const int bit = wiring_.inputs[slot];
        if (bit == 0) {
            continue;
        }
        const bool was = (last_.bits & bit) != 0;
        const bool is = (now.bits & bit) != 0;
        const auto edge = [&](bool level) {
            out.push_back({KitDriverEvent::Kind::Edge, static_cast<std::int16_t>(slot), level, stamp});
        };
        std::uint32_t n = 0;
        std::size_t line = 0;
        while (kModemInputs[line].bit != bit) {
            ++line;
        }
        if (now.changes && last_.changes) {
            n = (*now.changes)[line] - (*last_.changes)[line];
        }
        if (was != is) {
            edge(is);
        } else if (n >= 2) {
            // Closed and open again before the lines were read: the start is that closing.
            edge(!was);
            edge(was);
        }
        // A change the counts show and the levels do not yet (it came between the two readings) is
        // kept for the next reading: with a change after it, it makes a closing and an opening.
        const bool odd = n % 2 == 1;
        const std::uint32_t accounted = odd == (was != is) ? n : (n > 0 ? n - 1 : 0);
        if (taken.changes && last_.changes) {
            (*taken.changes)[line] = (*last_.changes)[line] + accounted;
        }
    }
    last_ = taken;
}

void SerialKitDriver::wake() {
    lines_->interrupt();
}

void SerialKitDriver::set_output(bool on) {
    if (wiring_.led != 0) {
        // A port that fails here fails its next wait too, and is reopened then.
        lines_->set(wiring_.led, on);
    }
}

std::string SerialKitDriver::device_type() const {
    return "Serial port modem lines " + wiring_.device;
}

std::string SerialKitDriver::library_version() const {
    utsname u{};
    ::uname(&u);
    return std::string("Linux tty ioctls, kernel ") + u.release;
}

std::unique_ptr<KitDriver> make_serial_driver(const KitConfig& config, std::string& error,
                                              std::unique_ptr<ModemLines> lines,
                                              SerialKitDriver::Timing timing) {
    error.clear();
    std::optional<SerialWiring> wiring = serial_wiring(config, error);
    if (!wiring) {
        return nullptr;
    }
    return std::make_unique<SerialKitDriver>(std::move(*wiring), std::move(lines), timing);
}

void register_serial_backend(KitBackends& backends) {
    KitBackend b;
    b.id = "serial";
    b.label = "Contact on a serial port's modem lines (RS-232 or USB-serial adapter)";
    b.device_hint = "/dev/ttyUSB0, /dev/ttyACM0, /dev/ttyS0 or /dev/serial/by-id/...";
    b.line_hint = "Inputs: CTS, DSR, DCD or RI, each joined by its contact to DTR or RTS. "
                  "LED: RTS or DTR; the other one powers the contacts";
    b.defaults = [] {
        KitConfig c;
        c.backend = "serial";
        const std::vector<std::string> ports = serial_ports("/dev", "/sys/class/tty");
        c.device = ports.empty() ? "/dev/ttyUSB0" : ports.front();
        c.lines[2] = "CTS"; // the direct start: the contact starts the heat when it closes
        return c;
    };
    b.devices = [] { return serial_ports("/dev", "/sys/class/tty"); };
    // The driver stamps each change on the monotonic clock as it wakes.
    b.make_driver = [](const KitConfig& config, const Clock&, std::string& error) {
        return make_serial_driver(config, error, std::make_unique<TtyModemLines>());
    };
    backends.add(std::move(b));
}

} // namespace veltro
