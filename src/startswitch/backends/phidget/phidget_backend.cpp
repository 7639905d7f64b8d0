#include "startswitch/backends/phidget/phidget_backend.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace veltro {

namespace {

std::string trimmed(const std::string& text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), blank);
    auto last = std::find_if_not(text.rbegin(), std::make_reverse_iterator(first), blank).base();
    return std::string(first, last);
}

// Plain digits no greater than `max`; empty for anything else (a sign, a blank, a letter).
std::optional<int> whole_number(const std::string& text, int max) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value > max) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

bool means_any(std::string device) {
    std::transform(device.begin(), device.end(), device.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return device.empty() || device == "any";
}

} // namespace

std::optional<PhidgetWiring> phidget_wiring(const KitConfig& config, std::string& error) {
    PhidgetWiring wiring;
    if (const std::string device = trimmed(config.device); !means_any(device)) {
        const auto serial = whole_number(device, std::numeric_limits<std::int32_t>::max());
        if (!serial || *serial == 0) {
            error = "The Phidget serial number \"" + config.device +
                    "\" is not a serial number: give the number on the kit's label, or \"any\" for any kit";
            return std::nullopt;
        }
        wiring.serial = *serial;
    }
    constexpr int kLast = PhidgetWiring::kLines - 1;
    for (std::size_t slot = 0; slot < wiring.inputs.size(); ++slot) {
        const std::string line = trimmed(config.lines[slot]);
        if (line.empty()) {
            continue;
        }
        const auto input = whole_number(line, kLast);
        if (!input) {
            error = "Start switch input " + std::to_string(slot) + ": \"" + config.lines[slot] +
                    "\" is not an input of a Phidget kit (0 to 15)";
            return std::nullopt;
        }
        for (std::size_t earlier = 0; earlier < slot; ++earlier) {
            if (wiring.inputs[earlier] == *input) {
                error = "Phidget input " + std::to_string(*input) + " is given to both start switch inputs " +
                        std::to_string(earlier) + " and " + std::to_string(slot);
                return std::nullopt;
            }
        }
        wiring.inputs[slot] = *input;
    }
    if (const std::string led = trimmed(config.led_line); !led.empty()) {
        const auto output = whole_number(led, kLast);
        if (!output) {
            error = "LED: \"" + config.led_line + "\" is not an output of a Phidget kit (0 to 15)";
            return std::nullopt;
        }
        wiring.led = *output;
    }
    error.clear();
    return wiring;
}

void register_phidget_backend(KitBackends& backends, std::vector<std::string> library) {
    KitBackend backend;
    backend.id = "phidget";
    backend.label = "Phidget interface kit (vendor library)";
    backend.device_hint = "The kit's serial number (on its label), or \"any\" for the first kit found";
    backend.line_hint = "A digital input of the kit, 0 to 15; the LED: a digital output, 0 to 15";
    backend.defaults = [] {
        KitConfig config;
        config.backend = "phidget";
        config.device = "any";
        config.lines = {"0", "1", "2", "3", "4", "5"};
        config.led_line = "0";
        return config;
    };
    // Listing the kits would take the library's device manager; the serial is on the kit's label and
    // in the status panel once a kit is attached.
    backend.devices = [] { return std::vector<std::string>{"any"}; };
    backend.make_driver = [library](const KitConfig& config, const Clock& clock,
                                    std::string& error) -> std::unique_ptr<KitDriver> {
        const std::optional<PhidgetWiring> wiring = phidget_wiring(config, error);
        if (!wiring) {
            return nullptr;
        }
        return std::make_unique<PhidgetKitDriver>(*wiring, library, clock);
    };
    backends.add(std::move(backend));
}

} // namespace veltro
