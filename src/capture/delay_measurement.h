#pragma once

#include "capture/led_probe.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltro {

// The capture delay measured through the start kit's LED. The LED, in the camera's view, is switched
// on and off at planned moments, each switch stamped on the PC counter; the first picture in which the
// LED box's brightness crosses midway between its off and on levels shows the switch. A picture shows
// the LED as it was when its exposure began, which can be anywhere in the picture period, so the delay
// of one flash is the picture's stamp minus the switch's stamp, less half the picture period.
//
// The flashes are planned so that their moments fall evenly over the picture period (one in each of
// N equal slices of it, in random order, at a random place within the slice): the mean then does not
// depend on luck, and the spread says how far single flashes stray.

// Timing of a measurement, in milliseconds.
inline constexpr std::int32_t kDelayLeadInMs = 1000; // the LED off before the first flash
inline constexpr std::int32_t kDelayFlashMs = 800;   // from one flash to the next
inline constexpr std::int32_t kDelayOnMs = 400;      // each flash lasts this long
// The longest delay that can be measured: a change later than this after its switch is not the
// switch's. Shorter than the time between two flashes, so that no change is taken for the next one's.
inline constexpr std::int32_t kMaxCaptureDelayMs = 700;
// The LED off and on levels must differ by this much (of 765, blue + green + red) to count as a change.
inline constexpr double kMinLedContrast = 24;

inline constexpr int kDefaultFlashes = 20;
inline constexpr int kMinFlashes = 2;
inline constexpr int kMaxFlashes = 100;

// One switch of the LED: on or off, at `stamp` on the PC counter (or, in a plan, `at` ms after the
// measurement's begin).
struct LedSwitch {
    std::uint32_t stamp = 0;
    bool on = false;
};
struct PlannedSwitch {
    std::int32_t at = 0;
    bool on = false;
};

// The LED switches of a measurement of `flashes` flashes for pictures `picture_period_ms` apart (the
// field period of an interlaced source): first off, then on and off for each flash.
std::vector<PlannedSwitch> plan_led_switches(int flashes, double picture_period_ms, std::uint32_t seed);

struct DelayResult {
    enum class Outcome {
        Measured,
        NoChange, // the box's brightness did not follow the LED at all
        Unsteady, // it changed, but not with the LED: something else is in the box
    };
    Outcome outcome = Outcome::NoChange;
    double delay_ms = 0;  // the mean over the flashes seen
    double spread_ms = 0; // their standard deviation
    int flashes = 0;      // the flashes seen
    int planned = 0;      // the flashes made
    int changes = 0;      // the box's changes of brightness
    int switches = 0;     // the LED's switches
};

// Works the delay out of the switches made and the samples taken (any order) for pictures
// `picture_period_ms` apart, their frames `frame_period_ms` apart.
DelayResult analyse_capture_delay(std::span<const LedSwitch> switches, std::vector<LedSample> samples,
                                  double picture_period_ms, double frame_period_ms);

// "capture delay 200.4 ms ± 1.2 ms (20 flashes)", "no change found", or for an unsteady box what was
// seen in it.
std::string delay_result_text(const DelayResult& result);

// One measurement run, driven by whoever keeps the time (the window's timer, or a loop on a manual
// clock): it says when the LED is to be switched, takes the switches as they were made and the samples
// as they come, and works out the result at the end.
class DelayMeasurement {
public:
    // `frame_period_ms`: of the source's frames; `interlaced`: their two fields are pictures of their own.
    DelayMeasurement(int flashes, double frame_period_ms, bool interlaced, std::uint32_t seed);

    void begin(std::uint32_t now);
    // The switch to make now, if one is due. A switch made late keeps the LED on (and off) at least as
    // long as planned after it.
    std::optional<bool> due(std::uint32_t now) const;
    // The LED was switched to `on` at `stamp` (read on the PC counter right at the switch).
    void switched(bool on, std::uint32_t stamp);
    void add(std::span<const LedSample> samples);
    // Milliseconds until the next switch is due, or until the end when all are made; 0 when due now.
    std::int32_t wait_ms(std::uint32_t now) const;
    // Every switch is made and its pictures have had time to come.
    bool finished(std::uint32_t now) const;
    int flashes() const { return flashes_; }
    // Flashes switched on so far.
    int flashes_made() const;
    double picture_period_ms() const { return picture_period_ms_; }
    DelayResult result() const;

private:
    std::uint32_t due_at() const;

    int flashes_;
    double frame_period_ms_;
    double picture_period_ms_;
    std::vector<PlannedSwitch> plan_;
    std::uint32_t begin_ = 0;
    std::vector<LedSwitch> made_;
    std::vector<LedSample> samples_;
};

// A measurement as it is kept: in the event log and in the header of each recording made from the
// same source and format afterwards. "2024-05-01 10:11:12; <source>; <format>; capture delay ..."
struct DelayRecord {
    std::string date; // yyyy-mm-dd hh:nn:ss
    std::string source;
    std::string format;
    std::string result; // delay_result_text of a measured delay
};
std::string delay_record_text(const DelayRecord& record);
std::optional<DelayRecord> parse_delay_record(const std::string& text);

// The last measurement is kept in the settings; recordings carry it while they are made from its
// source and format. "" when there is none for them.
void store_delay_record(const DelayRecord& record);
std::string stored_delay_record_for(const std::string& source, const std::string& format);

} // namespace veltro
