#include "startswitch/kit_config.h"

#include "support/numbers.h"
#include "support/settings.h"

namespace veltro {

namespace {

constexpr const char* kSection = "Interface_kit";

std::string setting(const std::string& key) {
    const std::string value = Read_Setting(kSection, key, "N/A");
    return value == "N/A" ? std::string() : value;
}

std::string line_key(const char* what, std::size_t i) {
    return what + std::to_string(i);
}

} // namespace

KitConfig load_kit_config() {
    KitConfig config;
    if (const std::string backend = setting("backend"); !backend.empty()) {
        config.backend = backend;
    }
    config.device = setting("device");
    for (std::size_t i = 0; i < config.lines.size(); ++i) {
        config.lines[i] = setting(line_key("input", i));
        config.inverted[i] = setting(line_key("invert", i)) == "1";
    }
    const std::string debounce = setting("debounce_ms");
    if (is_decimal_number(debounce) && debounce.size() <= 4 && std::stoul(debounce) <= kMaxDebounceMs) {
        config.debounce_ms = static_cast<std::uint32_t>(std::stoul(debounce));
    }
    config.led_line = setting("led_line");
    return config;
}

bool save_kit_config(const KitConfig& config) {
    bool ok = Write_Setting(kSection, "backend", config.backend) == 1;
    ok = ok && Write_Setting(kSection, "device", config.device) == 1;
    for (std::size_t i = 0; ok && i < config.lines.size(); ++i) {
        ok = Write_Setting(kSection, line_key("input", i), config.lines[i]) == 1 &&
             Write_Setting(kSection, line_key("invert", i), config.inverted[i] ? "1" : "0") == 1;
    }
    ok = ok && Write_Setting(kSection, "debounce_ms", std::to_string(config.debounce_ms)) == 1;
    return ok && Write_Setting(kSection, "led_line", config.led_line) == 1;
}

} // namespace veltro
