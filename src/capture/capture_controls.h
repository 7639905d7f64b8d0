#pragma once

#include <optional>
#include <string>

namespace veltro {

// Exposure time and gain, where a source lets them be set: a short exposure is what keeps a dog at
// full speed sharp on the finish picture, and the gain makes up for the light it loses.
enum class ControlKind { Exposure, Gain };

// What a source offers for one control: its range and present value. Exposure is in microseconds on
// every source; gain is in the source's own unit: the one a GenICam camera names (dB when it names
// none), "" for raw steps (a camera's GainRaw, a V4L2 device's driver steps).
struct ControlRange {
    double min = 0;
    double max = 0;
    double value = 0;
    std::string unit;
};

// The operator's choice, stored with the source; an absent value leaves the source's own setting
// (automatic, or as it was).
struct ControlChoice {
    std::optional<double> exposure_us;
    std::optional<double> gain;
    friend bool operator==(const ControlChoice&, const ControlChoice&) = default;
};

// The choice in the settings ("capturesettings" exposure and gain). A value that is not a number
// (none is read as "N/A") counts as none.
ControlChoice read_control_choice();
// Writes both values (an absent one as empty).
void save_control_choice(const ControlChoice& choice);

// A value as the operator reads and types it: at most one decimal, no trailing zeros ("1000", "6.5").
std::string control_value_text(double value);

// The operator's text for a control: a number within the range, or an empty text for none. Fails with
// error 13 (Type mismatch) for anything else, naming the control and its range.
std::optional<double> parse_control_value(const std::string& text, ControlKind kind,
                                          const ControlRange& range);

// What a start applied, for the recording's capture description: "exposure 1000 µs, gain 6 dB";
// empty when it set neither.
std::string controls_text(std::optional<double> exposure_us, std::optional<double> gain,
                          const std::string& gain_unit);

} // namespace veltro
