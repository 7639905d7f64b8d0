#include "app/heat_lifecycle.h"

#include "app/recording_name.h"
#include "capture/capture_hdmi.h"
#include "capture/delay_measurement.h"
#include "picture/dib_section.h"
#include "recording/video_file_handler.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/veltro_error.h"

#include <algorithm>

namespace veltro {

bool Debounce::accept(std::uint32_t now) {
    if (pressed_before_ && elapsed_ms(last_, now) < min_ms_) {
        return false;
    }
    last_ = now;
    pressed_before_ = true;
    return true;
}

HeatLifecycle::HeatLifecycle(cls_Capture_HDMI& capture, cls_VideoFile_handler& recording, const Clock& clock)
    : capture_(capture), recording_(recording), clock_(clock), session_(recording, capture, clock) {}

HeatLifecycle::SignalMoment HeatLifecycle::signal_moment(std::optional<std::uint32_t> signal_mill) const {
    const std::uint32_t handled = clock_.millis();
    const std::int32_t handled_local = clock_.local_ms();
    const std::int32_t late_ms = signal_delay_ms(signal_mill, handled);
    return {handled - static_cast<std::uint32_t>(late_ms), local_ms_before(handled_local, late_ms),
            signal_mill && *signal_mill != handled && late_ms == 0};
}

namespace {

PrerollSettings preroll_settings() {
    PrerollSettings p;
    const std::string text = Read_Setting(keys::preroll_ms);
    if (is_decimal_number(text)) {
        p.length_ms = static_cast<std::int32_t>(std::clamp<long>(parse_long(text), 0, 10000));
    }
    p.keep_before_edge = Read_Setting(keys::keep_preroll) == "1";
    return p;
}

} // namespace

void HeatLifecycle::start_camera(std::int16_t crop_width, std::int16_t crop_height) {
    capturing_ = false;
    capture_.Post_linear(false);
    capture_.set_HDMI_Crop(crop_width, crop_height);
    capture_.MaxFrames(0);
    capture_.Do_CROP(true);
    session_.camera_started(crop_width, crop_height, recording_.start_quality(), preroll_settings());
    capture_.Capture_Run();
}

void HeatLifecycle::camera_stopped() {
    session_.camera_stopped();
}

std::string HeatLifecycle::recording_name_in(const std::string& folder, const HeatArming& arming) const {
    return veltro::recording_name(folder, arming.event_caption, arming.heat_caption, local_now().tm);
}

void HeatLifecycle::initiate(const std::string& name, const HeatArming& arming) {
    // Frames still on their way into the recording before this one go there first.
    if (const std::string told = end_capture_session(); !told.empty()) {
        the_operator().message(told);
    }
    recording_name_.clear();
    std::string capture_info = capture_.Current_FriendlyName() + " / " + capture_.Current_PropertyString();
    if (const std::string set = capture_.locked([this] { return capture_.component().controls_applied(); });
        !set.empty()) {
        capture_info += ", " + set; // the exposure and gain the camera runs with
    }
    std::string format_text;
    if (capture_.HDMI_10_mill() > 0) {
        const auto rate = static_cast<std::int32_t>(1000.0 / (capture_.HDMI_10_mill() / 10.0));
        format_text = capture_.HDMI_Sample_Dimensions() + ", " + std::to_string(rate) + " fps";
    }

    recording_.RGB_interlaced(interlaced_at_rate(capture_.Running_Fps()));
    recording_.File_name(name);
    recording_.Cropped_X(arming.crop_width);
    recording_.Cropped_Y(arming.crop_height);
    recording_.Initiate_PX3_File();
    recording_.Measured_fps(capture_.Running_Fps());
    recording_.xml_header().Streams_no(1);
    recording_.xml_header().Comp_CaptureInfo(capture_info);
    if (!format_text.empty()) {
        recording_.xml_header().Capture_sample_size(format_text);
    }
    recording_.Velt_Goal_Finish(goal_line_text(arming.goal_lines[0]));
    recording_.Velt_Goal_Split(goal_line_text(arming.goal_lines[1]));
    if (!arming.from_event) {
        recording_.Velt_event("Test Event");
        recording_.Velt_Heat_ID("1");
        recording_.Velt_Heat_Name("Test Heat");
    } else {
        for (std::int16_t box = 1; box <= kTimedBoxes; ++box) {
            recording_.Velt_Dog_name(box, arming.dogs[static_cast<std::size_t>(box - 1)]);
        }
        recording_.Velt_event(arming.event_name);
        recording_.Velt_Heat_ID(arming.heat_id);
        recording_.Velt_Heat_Name(arming.heat_name);
    }
    recording_.Velt_box_delay(std::to_string(arming.timing.box_delay));
    recording_.Velt_Goal_compensation(std::to_string(arming.timing.goal_compensation));
    recording_.Velt_Split_compensation(std::to_string(arming.timing.split_compensation));
    recording_.Phidget_serial(arming.kit_serial.empty() ? "0" : arming.kit_serial);
    recording_.xml_header().velt_capture_delay(
        stored_delay_record_for(capture_.Current_FriendlyName(), capture_.Current_PropertyString()));
    recording_.Write_XML_header();
    recording_.Close_File();
    recording_name_ = name;
}

bool HeatLifecycle::move_goal_line(const std::string& name, const Goal_line& goal) {
    if (recording_name_.empty() || recording_name_ != name) {
        return false;
    }
    const std::string before = recording_.Velt_Goal_Finish();
    recording_.Velt_Goal_Finish(goal_line_text(goal));
    try {
        recording_.Write_XML_header();
    } catch (...) {
        recording_.Velt_Goal_Finish(before);
        throw;
    }
    return true;
}

HeatLifecycle::Start HeatLifecycle::start(std::uint32_t start_pc, std::int32_t start_local, bool reviewing,
                                          const std::function<void()>& auto_initiate) {
    if (heat_start_counter_ >= 1) {
        Trace(now_default_datetime(), "*Heat already started!!");
        return Start::AlreadyStarted;
    }
    if (reviewing) {
        Trace(now_default_datetime(), "*H_S File open!!");
        return Start::Reviewing;
    }
    if (recording_name_.empty() && auto_initiate) {
        auto_initiate();
    }
    if (recording_name_.empty()) {
        Trace(now_default_datetime(), "*No current file!!");
        return Start::NoRecording;
    }
    // The heat runs from the signal first: a disk that fails now must not cost the heat its finish.
    // A counter reading of 0 would read as "no heat"; the start is one millisecond later then.
    heat_start_counter_ = start_pc == 0 ? 1 : start_pc;
    recording_.Velt_heat_start_local(start_local);
    recording_.Velt_start_PC_mill(start_pc);
    recording_.Velt_start_DateTime(now_default_datetime());
    start_unwritten_ = "not written yet";
    write_pending_start();
    return Start::Started;
}

bool HeatLifecycle::write_pending_start() {
    if (start_unwritten_.empty()) {
        return true;
    }
    try {
        recording_.Write_XML_header();
        if (start_unwritten_ != "not written yet") {
            Trace("*The heat's start is in the recording now");
        }
        start_unwritten_.clear();
        return true;
    } catch (const VeltroError& e) {
        start_unwritten_ = e.description();
        Trace("*The heat's start could not be written: ", start_unwritten_);
        return false;
    }
}

HeatLifecycle::CaptureStart HeatLifecycle::capture_start(bool cameras_running, bool kit_attached,
                                                         bool debug_run, std::uint32_t from_mill) {
    if (!cameras_running) {
        Trace("*Cameras not running");
        return CaptureStart::NoCameras;
    }
    if (recording_name_.empty()) {
        Trace("*No file initiated");
        return CaptureStart::NoRecording;
    }
    if (!debug_run && (!kit_attached || heat_start_counter_ == 0)) {
        return CaptureStart::NotStarted;
    }
    write_pending_start();
    // The frames go in after those the recording counts on disk, whatever another program (a
    // recovery, a time set from the command line) stored since the last capture.
    recording_.take_changes_made_elsewhere();
    session_.begin(from_mill);
    capture_.Post_linear(true);
    capturing_ = true;
    return CaptureStart::Started;
}

bool HeatLifecycle::capture_end(bool cameras_running, bool debug_run, std::int32_t ms_since_program_start,
                                AppendProgress& progress) {
    capturing_ = false;
    // Whatever is skipped below, no more frames are stored: the capture's frames go into the recording
    // at the next capture end or the heat's end.
    session_.hold();
    if (!cameras_running || (!debug_run && heat_start_counter_ == 0)) {
        return false;
    }
    if (ms_since_program_start < 3000) {
        Trace("Skipping Handle_Capture_end");
        return false;
    }
    capture_.Post_linear(false);
    if (recording_name_.empty()) {
        return false;
    }
    append_pass(progress);
    return true;
}

void HeatLifecycle::append_pass(AppendProgress& progress) {
    write_pending_start();
    const auto rate = static_cast<std::int16_t>(round_half_even(capture_.Measured_fps()));
    if (rate > 0) {
        recording_.Measured_fps(rate);
    }
    progress.begin("Appending frames");
    progress.percent(0);
    try {
        session_.end([&progress](int percent) { progress.percent(percent); });
    } catch (...) {
        // The records of the pass stay uncounted, so the recording reads as before it; the frames
        // stay in the spool, and the next capture end of this heat appends them with its own.
        progress.end();
        Trace("*Append pass failed, the frames stay in the spool for the next pass");
        throw;
    }
    progress.end();
}

std::string HeatLifecycle::end_capture_session() {
    capturing_ = false;
    capture_.Post_linear(false);
    const std::string told = session_.settle();
    if (!told.empty()) {
        Trace("*", told);
    }
    return told;
}

std::string HeatLifecycle::finish() {
    std::string told = end_capture_session();
    if (!write_pending_start()) {
        const std::string line =
            "The heat's start could not be written into its recording: " + start_unwritten_;
        told += told.empty() ? line : "\n" + line;
    }
    start_unwritten_.clear();
    heat_start_counter_ = 0;
    if (!recording_name_.empty()) {
        Write_Setting(keys::last_file, recording_name_);
    }
    recording_.Close_File();
    recording_name_.clear();
    return told;
}

} // namespace veltro
