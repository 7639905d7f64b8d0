#pragma once

#include "startswitch/interface_kit.h"
#include "startswitch/kit_config.h"

#include <array>
#include <optional>
#include <string>

namespace veltro {

// A start switch on a Linux input device: which device, which key or button drives each of the six
// inputs, and which keyboard LED (if any) shows the kit's output.
struct EvdevWiring {
    static constexpr int kNone = -1;

    std::string device; // the path that is opened
    std::array<int, InterfaceKit::kInputs> keys{kNone, kNone, kNone, kNone, kNone, kNone};
    int led = kNone;
};

// A key or button by its kernel name ("KEY_A", "BTN_TRIGGER"; any case) or its decimal code; empty
// when the text is neither.
std::optional<int> evdev_key_code(const std::string& text);
// A keyboard LED by its kernel name ("LED_SCROLLL") or its decimal code.
std::optional<int> evdev_led_code(const std::string& text);
// The kernel's name of a key code, or the number when the kernel has no name for it.
std::string evdev_key_name(int code);
std::string evdev_led_name(int code);

// The device list shows a device's name in brackets after its path; only the path is opened.
std::string evdev_device_path(const std::string& entry);

// The wiring `config` describes; empty with `error` telling why when it cannot work.
std::optional<EvdevWiring> evdev_wiring(const KitConfig& config, std::string& error);

} // namespace veltro
