#pragma once

#include "support/clocks.h"
#include "timing/heat_values.h"

#include <cstdint>
#include <functional>
#include <string>

namespace veltro {

// The timing settings, in milliseconds.
struct TimingSettings {
    std::int32_t goal_compensation = 200;  // subtracted from the time of every picture shown
    std::int32_t split_compensation = 200; // stored with each recording; takes part in no computation
    std::int32_t box_delay = 0;            // added to finish and split times when results are shown
};

// Reads the three timing settings, with their defaults. A stored value that is no whole number fails
// with error 13 and nothing is taken.
TimingSettings read_timing_settings();

// The heat start reference stored in a recording: the PC millisecond counter at the start signal.
// Accepts the counter written as unsigned or as a signed 32-bit value. Text that is no such number
// (a heat that was never started) fails with error 13.
std::uint32_t parse_start_pc_mill(const std::string& text);

// The heat time of a picture: capture stamp - start + 2 ms, + 20 ms for the second field of an
// interlaced frame, - goal compensation. The elapsed time is taken on the wrapping counter, so a heat
// that spans the counter's wrap times correctly; a result outside 32 bits fails with error 6.
std::int32_t picture_time(std::uint32_t capture_stamp, std::uint32_t start, std::int16_t field_to_show,
                          std::int32_t goal_compensation);

// The review applies the goal compensation in force, also to older heats. When that differs from the
// one stored with the heat, this says so with both values ("" when they agree, or when the heat
// stores none that can be read).
std::string compensation_note(std::int32_t in_force, const std::string& stored);

// The finish-time code for a No-time caption: "DSQ", "DNF", "No Rnk"; the caption "No Time" (no
// choice made yet) gives the no-rank code too.
std::int32_t no_time_code(const std::string& caption);

// The time-assignment state of the main window and the operations that change the box values of the
// open recording. The window owns one, feeds it the picture on show and repaints from it.
class HeatTiming {
public:
    // `clock` (not owned) gives the click times; it outlives the timing.
    explicit HeatTiming(const Clock& clock);

    // The recording under review, or nullptr. Not owned.
    void set_recording(HeatValues* recording) { recording_ = recording; }
    HeatValues* recording() const { return recording_; }

    // Reloads the three timing settings (start-up, and whenever one of them is edited).
    void Load_Compensations();
    const TimingSettings& settings() const { return settings_; }

    // The picture on show: its play position and heat time.
    void show_picture(std::int16_t play_position, std::int32_t frame_time);
    std::int16_t play_position() const { return play_position_; }
    std::int32_t current_frame_time() const { return current_frame_time_; }
    std::int32_t last_assigned_time() const { return last_assigned_time_; }

    // 1..6 while a box button is held down, 0 otherwise.
    std::int16_t current_box = 0;
    // True while the split camera's pictures are on show.
    bool split_mode = false;
    // The three toggles; each assignment that uses one switches it off.
    bool plus_hundredth = false;
    bool no_time = false;
    bool dead_heat = false;
    // "No Time", "DSQ", "DNF" or "No Rnk".
    std::string no_time_caption = "No Time";
    // Called whenever an assignment switches a toggle off, so the window repaints it.
    std::function<void()> toggles_changed;
    // The picture period of the recording under review (ms): a box's time that a key or click would
    // move by more than this is replaced only after the operator's OK (unless the settings say not to
    // ask); 0 asks at any difference.
    std::int32_t picture_period_ms = 0;

    // True, after the message "File is read only!", when a recording is open and read only.
    bool Check_Read_Only();
    // True, after a message saying so, when the open recording's result is official.
    bool check_official();
    // False when `box` holds a time or code that `value` would replace by more than the picture period
    // and the operator does not answer OK.
    bool may_replace(std::int16_t box, std::int32_t value, bool split);
    // Assigns a finish or split time to a box and puts the header on disk before returning.
    void Set_Time(std::int16_t box, std::int32_t time, bool split);
    // A click on a box button: the time of the picture on show (+10 ms with the +1/100 toggle) in the
    // present mode. False when nothing was assigned (read only, or the replacement was not confirmed).
    bool box_click(std::int16_t box);
    // Clears every box of the open recording. False when refused (read only) or none is open.
    bool Clear_all_Results();

    // The "Assign times" menu, acting on the current box. Returns true when the results must be
    // refreshed. Without a current box (or recording) it beeps and changes nothing.
    enum class Assign { SetTime, SetTimePlus, SetSplit, SetSplitPlus, NoTime, DeadHeat };
    bool assign(Assign command);

    // Whether the box button shows as having a time in the present mode.
    bool box_has_time(std::int16_t box) const;

private:
    HeatValues& open_recording() const;
    void toggles_off(bool& toggle);

    const Clock* clock_;
    HeatValues* recording_ = nullptr;
    TimingSettings settings_;
    std::int16_t play_position_ = 0;
    std::int32_t current_frame_time_ = 0;
    std::int32_t last_assigned_time_ = 0;
};

} // namespace veltro
