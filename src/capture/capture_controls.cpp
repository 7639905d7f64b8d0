#include "capture/capture_controls.h"

#include "support/settings.h"
#include "support/veltro_error.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace veltro {

namespace {

std::optional<double> number_of(const std::string& text) {
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string with_unit(double value, const std::string& unit) {
    return unit.empty() ? control_value_text(value) : control_value_text(value) + " " + unit;
}

} // namespace

ControlChoice read_control_choice() {
    return {number_of(Read_Setting(keys::capture_exposure)), number_of(Read_Setting(keys::capture_gain))};
}

void save_control_choice(const ControlChoice& choice) {
    Write_Setting(keys::capture_exposure, choice.exposure_us ? control_value_text(*choice.exposure_us) : "");
    Write_Setting(keys::capture_gain, choice.gain ? control_value_text(*choice.gain) : "");
}

std::string control_value_text(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string s = text;
    if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) {
        s.resize(s.size() - 2);
    }
    return s == "-0" ? "0" : s;
}

std::optional<double> parse_control_value(const std::string& text, ControlKind kind,
                                          const ControlRange& range) {
    if (text.empty()) {
        return std::nullopt;
    }
    const auto value = number_of(text);
    if (!value || *value < range.min || *value > range.max) {
        const std::string unit = kind == ControlKind::Exposure ? "µs" : range.unit;
        throw VeltroError(err::kTypeMismatch,
                          std::string(kind == ControlKind::Exposure ? "Exposure" : "Gain") +
                              " must be a number from " + with_unit(range.min, unit) + " to " +
                              with_unit(range.max, unit) + ", not " + text);
    }
    return value;
}

std::string controls_text(std::optional<double> exposure_us, std::optional<double> gain,
                          const std::string& gain_unit) {
    std::string text;
    if (exposure_us) {
        text = "exposure " + with_unit(*exposure_us, "µs");
    }
    if (gain) {
        text += (text.empty() ? "gain " : ", gain ") + with_unit(*gain, gain_unit);
    }
    return text;
}

} // namespace veltro
