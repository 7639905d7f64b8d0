#include "timing/heat_timing.h"

#include "support/numbers.h"
#include "support/operator.h"
#include "support/operator_name.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/veltro_error.h"
#include "timing/time_text.h"

#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace veltro {
namespace {

void check_box(std::int16_t box) {
    if (box < 1 || box > kBoxes)
        throw VeltroError(err::kSubscriptOutOfRange, "Subscript out of range: box " + std::to_string(box));
}

// The settings window takes at most five digits. A longer stored number was not written by it and
// reads as the default, so one bad key does not fail every start and every reload; text that is no
// number at all still fails.
std::int32_t read_delay(const SettingKey& key) {
    constexpr std::int32_t kLongest = 99999;
    const std::string text = Read_Setting(key);
    if (!is_decimal_number(text))
        return parse_long(text); // Type mismatch
    try {
        const std::int32_t value = parse_long(text);
        if (value >= -kLongest && value <= kLongest)
            return value;
    } catch (const VeltroError&) {
        // beyond a Long: does not fit either
    }
    Trace("Load_Compensations: " + std::string(key.key) + " = " + text + " does not fit, the default " +
          key.default_value + " is used");
    return parse_long(key.default_value);
}

// A stored box value as the replace question names it.
std::string value_text(std::int32_t value) {
    switch (value) {
    case no_time::kDidNotFinish:
        return "DNF";
    case no_time::kDisqualified:
        return "DSQ";
    case no_time::kNoRank:
        return "No Rnk";
    default:
        return Display_Mill_Time(value, true);
    }
}

} // namespace

TimingSettings read_timing_settings() {
    TimingSettings s;
    s.goal_compensation = read_delay(keys::goal_compensation);
    s.split_compensation = read_delay(keys::split_compensation);
    s.box_delay = read_delay(keys::box_delay);
    return s;
}

std::uint32_t parse_start_pc_mill(const std::string& text) {
    if (!is_decimal_number(text))
        throw VeltroError(err::kTypeMismatch, "The recording has no heat start time (\"" + text + "\")");
    // Written as a signed 32-bit value like the records' stamps; older files hold the unsigned counter.
    long long value = 0;
    try {
        value = std::stoll(text);
    } catch (const std::out_of_range&) {
        value = std::numeric_limits<long long>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::uint32_t>::max())
        throw VeltroError(err::kOverflow, "Overflow");
    return static_cast<std::uint32_t>(value);
}

std::int32_t picture_time(std::uint32_t capture_stamp, std::uint32_t start, std::int16_t field_to_show,
                          std::int32_t goal_compensation) {
    std::int32_t time = checked_add(elapsed_ms(start, capture_stamp), 2);
    if (field_to_show == 2)
        time = checked_add(time, 20); // half of the 40 ms frame period at 25 frames per second
    return checked_sub(time, goal_compensation);
}

std::string compensation_note(std::int32_t in_force, const std::string& stored) {
    std::int32_t recorded = 0;
    try {
        recorded = parse_long(stored);
    } catch (const VeltroError&) {
        return {};
    }
    if (recorded == in_force)
        return {};
    return "Goal compensation " + std::to_string(in_force) + " ms in use; this heat was recorded with " +
           std::to_string(recorded) + " ms";
}

std::int32_t no_time_code(const std::string& caption) {
    if (caption == "DSQ")
        return no_time::kDisqualified;
    if (caption == "DNF")
        return no_time::kDidNotFinish;
    return no_time::kNoRank;
}

HeatTiming::HeatTiming(const Clock& clock) : clock_(&clock) {}

void HeatTiming::Load_Compensations() {
    settings_ = read_timing_settings();
}

void HeatTiming::show_picture(std::int16_t play_position, std::int32_t frame_time) {
    play_position_ = play_position;
    current_frame_time_ = frame_time;
}

HeatValues& HeatTiming::open_recording() const {
    if (!recording_)
        throw VeltroError(err::kObjectVariableNotSet, "No recording is open");
    return *recording_;
}

void HeatTiming::toggles_off(bool& toggle) {
    toggle = false;
    if (toggles_changed)
        toggles_changed();
}

bool HeatTiming::Check_Read_Only() {
    if (!recording_ || !recording_->Read_only())
        return false;
    the_operator().message("File is read only!", MsgIcon::Information);
    return true;
}

bool HeatTiming::may_replace(std::int16_t box, std::int32_t value, bool split) {
    const std::int32_t stored = open_recording().Velt_Heat_time(box, split);
    const bool has_value = split ? stored > 0 : stored >= 1;
    if (!has_value || std::llabs(std::int64_t{value} - stored) <= picture_period_ms ||
        Read_Setting(keys::replace_without_asking) == "1")
        return true;
    const std::string what = split ? " split time " : " time ";
    return the_operator().ask_ok_cancel("Box " + std::to_string(box) + " has the" + what +
                                            value_text(stored) + " already.\nReplace it with " +
                                            value_text(value) + "?",
                                        "Veltro replace time");
}

bool HeatTiming::check_official() {
    if (!recording_ || recording_->velt_official().empty())
        return false;
    the_operator().message(kOfficialRefusal, MsgIcon::Exclamation, "Veltro official result");
    return true;
}

void HeatTiming::Set_Time(std::int16_t box, std::int32_t time, bool split) {
    check_box(box);
    HeatValues& rec = open_recording();
    const std::string by = session_operator_name();
    if (split) {
        rec.Velt_Heat_time(box, true, time);
        rec.Velt_split_frame(box, play_position_);
    } else {
        rec.Velt_Heat_time(box, false, no_time ? no_time_code(no_time_caption) : time);
        rec.Velt_heat_frame(box, play_position_);
        rec.Velt_Heat_Click_Time(box, static_cast<std::int32_t>(clock_->millis()));
        // Assigning without the toggle clears an earlier dead-heat mark.
        rec.Velt_dead_heat(box, dead_heat);
        if (dead_heat)
            toggles_off(dead_heat);
        if (no_time)
            toggles_off(no_time);
    }
    rec.next_change(by, {});
    rec.Write_XML_header();
}

bool HeatTiming::box_click(std::int16_t box) {
    if (!recording_ || Check_Read_Only() || check_official())
        return false;
    const std::int32_t time = plus_hundredth ? checked_add(current_frame_time_, 10) : current_frame_time_;
    check_box(box);
    if (!may_replace(box, !split_mode && no_time ? no_time_code(no_time_caption) : time, split_mode))
        return false;
    Set_Time(box, time, split_mode);
    if (plus_hundredth)
        toggles_off(plus_hundredth);
    return true;
}

bool HeatTiming::Clear_all_Results() {
    if (!recording_ || Check_Read_Only() || check_official())
        return false;
    const std::string by = session_operator_name();
    for (std::int16_t box = 1; box <= kBoxes; ++box) {
        recording_->Velt_heat_frame(box, 0);
        recording_->Velt_Heat_time(box, false, 0);
        recording_->Velt_Heat_time(box, true, 0);
        recording_->Velt_Heat_Click_Time(box, 0);
        recording_->Velt_dead_heat(box, false);
    }
    recording_->next_change(by, {});
    recording_->Write_XML_header();
    return true;
}

bool HeatTiming::assign(Assign command) {
    if (current_box < 1 || current_box > kTimedBoxes || !recording_) {
        the_operator().beep();
        return false;
    }
    if (Check_Read_Only() || check_official())
        return false;
    const bool split = command == Assign::SetSplit || command == Assign::SetSplitPlus;
    std::int32_t value = current_frame_time_;
    if (command == Assign::SetTimePlus || command == Assign::SetSplitPlus)
        value = checked_add(current_frame_time_, 10);
    else if (command == Assign::NoTime)
        value = no_time::kNoRank;
    else if (command == Assign::DeadHeat)
        value = last_assigned_time_;
    if (!may_replace(current_box, !split && no_time ? no_time_code(no_time_caption) : value, split))
        return false;
    if (command == Assign::DeadHeat)
        dead_heat = true; // Set_Time stores the mark and switches the toggle off again
    Set_Time(current_box, value, split);
    if (command == Assign::SetTime)
        last_assigned_time_ = current_frame_time_;
    return command == Assign::SetTime || command == Assign::SetTimePlus;
}

bool HeatTiming::box_has_time(std::int16_t box) const {
    if (!recording_)
        return false;
    return split_mode ? recording_->Velt_Heat_time(box, true) > 0
                      : recording_->Velt_Heat_time(box, false) >= 1;
}

} // namespace veltro
