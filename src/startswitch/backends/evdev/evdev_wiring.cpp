#include "startswitch/backends/evdev/evdev_wiring.h"

#include <algorithm>
#include <cctype>
#include <libevdev/libevdev.h>

namespace veltro {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A name the kernel knows for `type`, or a decimal code up to `max`.
std::optional<int> event_code(unsigned type, int max, const std::string& text) {
    std::string t = trimmed(text);
    if (t.empty()) {
        return std::nullopt;
    }
    if (std::all_of(t.begin(), t.end(), [](unsigned char c) { return std::isdigit(c); })) {
        if (t.size() > 4) {
            return std::nullopt;
        }
        const int code = std::stoi(t);
        return code <= max ? std::optional<int>(code) : std::nullopt;
    }
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::toupper(c); });
    const int code = libevdev_event_code_from_name(type, t.c_str());
    return code >= 0 && code <= max ? std::optional<int>(code) : std::nullopt;
}

std::string code_name(unsigned type, int code) {
    const char* name = libevdev_event_code_get_name(type, static_cast<unsigned>(code));
    return name ? name : std::to_string(code);
}

} // namespace

std::optional<int> evdev_key_code(const std::string& text) {
    return event_code(EV_KEY, KEY_MAX, text);
}

std::optional<int> evdev_led_code(const std::string& text) {
    return event_code(EV_LED, LED_MAX, text);
}

std::string evdev_key_name(int code) {
    return code_name(EV_KEY, code);
}

std::string evdev_led_name(int code) {
    return code_name(EV_LED, code);
}

std::string evdev_device_path(const std::string& entry) {
    std::string path = trimmed(entry);
    if (!path.empty() && path.back() == ')') {
        if (const auto open = path.find(" ("); open != std::string::npos) {
            path = trimmed(path.substr(0, open));
        }
    }
    return path;
}

std::optional<EvdevWiring> evdev_wiring(const KitConfig& config, std::string& error) {
    error.clear();
    EvdevWiring wiring;
    wiring.device = evdev_device_path(config.device);
    if (wiring.device.empty()) {
        error = "Choose the input device the start switch is wired to";
        return std::nullopt;
    }
    bool any = false;
    for (std::size_t i = 0; i < wiring.keys.size(); ++i) {
        if (trimmed(config.lines[i]).empty()) {
            continue;
        }
        const std::optional<int> code = evdev_key_code(config.lines[i]);
        if (!code) {
            error = "Input " + std::to_string(i) + ": \"" + config.lines[i] +
                    "\" is not a key; give a key name such as KEY_A, KEY_F1 or BTN_0, or a key number 0 to " +
                    std::to_string(KEY_MAX);
            return std::nullopt;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (wiring.keys[j] == *code) {
                error = "Inputs " + std::to_string(j) + " and " + std::to_string(i) + " are both wired to " +
                        evdev_key_name(*code) + "; a key can drive one input only";
                return std::nullopt;
            }
        }
        wiring.keys[i] = *code;
        any = true;
    }
    if (!any) {
        error = "No input is wired: give the key of at least one input";
        return std::nullopt;
    }
    if (!trimmed(config.led_line).empty()) {
        const std::optional<int> led = evdev_led_code(config.led_line);
        if (!led) {
            error = "LED: \"" + config.led_line +
                    "\" is not a keyboard LED; give an LED name such as LED_SCROLLL, or a number 0 to " +
                    std::to_string(LED_MAX);
            return std::nullopt;
        }
        wiring.led = *led;
    }
    return wiring;
}

} // namespace veltro
