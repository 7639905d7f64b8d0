#pragma once

#include "startswitch/interface_kit.h"

#include <array>
#include <cstdint>
#include <string>

namespace veltro {

// Which start-switch hardware the program uses and how it is wired, as the operator set it in the
// "Start switch" settings. Lines are named the back end's way (a key name, a modem line, a GPIO
// offset, an input number); an empty line is not wired.
struct KitConfig {
    std::string backend = "simulated";
    std::string device;
    std::array<std::string, InterfaceKit::kInputs> lines{};
    std::array<bool, InterfaceKit::kInputs> inverted{};
    std::uint32_t debounce_ms = 10;
    std::string led_line;

    bool operator==(const KitConfig&) const = default;
};

// The longest debounce the settings accept: a start contact that bounces longer is broken.
inline constexpr std::uint32_t kMaxDebounceMs = 500;

// Reads the settings (section "Interface_kit"); values that make no sense fall back to the defaults.
KitConfig load_kit_config();
// Writes every value; false when the settings file could not be written (the operator was told).
bool save_kit_config(const KitConfig& config);

} // namespace veltro
