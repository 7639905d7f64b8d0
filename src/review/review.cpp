#include "review/review.h"

#include "recording/picture_period.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace veltro {

namespace {

constexpr std::int32_t kGoalSearchFrom = 12000; // ms; the finish is later than this in every heat
constexpr std::int32_t kSwitchDebounce = 300;   // ms between two accepted Split/Goal presses

// A header value for the overlays: a value that cannot be read is shown empty, not raised.
template <class F>
std::string shown(F get) {
    try {
        if constexpr (std::is_same_v<decltype(get()), std::string>) {
            return get();
        } else {
            return std::to_string(get());
        }
    } catch (const VeltroError&) {
        return {};
    }
}

// Clears a flag when the drawing ends, also when it fails.
struct Busy {
    bool& flag;
    explicit Busy(bool& f) : flag(f) { flag = true; }
    ~Busy() { flag = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
};

} // namespace

CameraDisplay Display_Goal_times() {
    return {"Goal", "Split", "Set Goal times", true, 0x80FF80};
}

CameraDisplay Display_Split_times() {
    return {"Split", "Goal", "Set Split times", false, 0x00FFFF};
}

std::vector<std::string> hd_frame_data_lines(const cls_VideoFile_handler& rec) {
    return {"Cap. local = " + std::to_string(rec.PX3_Capture_local()),
            "Cap. delta = " + std::to_string(rec.PX3_Capture_Delta()),
            "JPEG size = " + std::to_string(rec.PX3_JPEG_Size()),
            "JPEG quality = " + std::to_string(rec.PX3_Compression_Quality())};
}

std::vector<std::string> sample_data_lines(const cls_VideoFile_handler& rec) {
    const Cls_XML_header& h = rec.xml_header();
    const std::string start_events = shown([&] { return h.Velt_start_HDMI_events(); });
    std::string elapsed;
    try {
        elapsed = std::to_string(std::int64_t{rec.Capture_HDMI_events()} - h.Velt_start_HDMI_events());
    } catch (const VeltroError&) {
    }
    return {"Creation date = " + shown([&] { return rec.Creation_date(); }),
            "Last capture = " + shown([&] { return rec.Last_Capture_time(); }),
            "Quality = " + shown([&] { return h.RGB_JPEG_Quality(); }),
            "fps = " + shown([&] { return h.RGB_fps(); }) +
                (rec.RGB_interlaced() ? " Interlaced" : " Progressive"),
            "JPG size = " + std::to_string(rec.PX3_JPEG_Size()),
            "Start HDMI events = " + start_events,
            "Capture local = " + std::to_string(rec.PX3_Capture_local()),
            "Capture mill = " + std::to_string(rec.PX3_Capture_mill()),
            "Capture HDMI events = " + std::to_string(rec.Capture_HDMI_events()),
            "Elapsed HDMI events = " + elapsed,
            "Capture delta = " + std::to_string(rec.PX3_Capture_Delta()),
            "HD Frame  = " + std::to_string(rec.PX3_Displayed_Frame()),
            "HD Field  = " + std::to_string(rec.PX3_Displayed_Field()),
            "RGB checksum =  " + std::to_string(rec.RGB_Checksum())};
}

Review::Review(cls_VideoFile_handler& rec, HeatTiming& timing, const Clock& clock)
    : rec_(rec), timing_(timing), clock_(clock) {}

Review::~Review() = default;

void Review::read_ahead(bool on) {
    if (on == read_ahead()) {
        return;
    }
    ahead_ = on ? std::make_unique<ReadAhead>() : nullptr;
    if (on && is_open()) {
        open_read_ahead();
        ahead_->shown(position_, 0, band_);
    }
}

void Review::open_read_ahead() {
    AheadLayout layout;
    try {
        layout.width = rec_.Width();
        layout.height = rec_.Height();
    } catch (const VeltroError&) {
        return; // no sizes, no read-ahead: the window decodes every picture itself
    }
    layout.frames = rec_.num_Frames();
    layout.sample_size = rec_.sample_size();
    layout.rotated = rec_.rotated();
    layout.field_mode = field_mode_;
    layout.positions = slider_max_;
    ahead_->open(rec_.File_name(), layout);
}

void Review::settle_read_ahead() {
    if (ahead_) {
        ahead_->settle();
    }
}

void Review::view_band(const std::optional<JpegBand>& band) {
    const auto covers = [](const JpegBand& outer, const JpegBand& inner) {
        return inner.left >= outer.left && inner.top >= outer.top &&
               inner.left + inner.width <= outer.left + outer.width &&
               inner.top + inner.height <= outer.top + outer.height;
    };
    band_ = band;
    if (picture_partial() && (!band || !covers(*shown_->band, *band))) {
        step_ = 0;
        redraw();
    } else if (ahead_ && is_open()) {
        ahead_->shown(position_, 0, band_);
    }
}

const cDIBSection& Review::picture() {
    return shown_ ? shown_->picture : rec_.picture();
}

Review::OpenResult Review::open(const std::string& path) {
    Trace("Handle_Open ", path);
    close();
    band_.reset(); // the window tells the part in view of the new recording's pictures
    field_mode_ = true;
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!folder.empty()) {
        Write_Setting(keys::last_folder, folder);
    }
    rec_.Open_File(path);
    if (!rec_.File_open()) {
        the_operator().message("File open failed", MsgIcon::Exclamation);
        return OpenResult::Failed;
    }
    // A rate that was never measured shows fields, the finer steps.
    const PicturePeriod period = recording_picture_period(rec_);
    field_mode_ = period.field_mode;
    // A new time within one picture of the stored one is a correction, not a stray key.
    timing_.picture_period_ms = (period.us + 999) / 1000;
    rec_.deinterlaced(!field_mode_);
    displace_on(false);
    if (rec_.Num_fields() <= 0) {
        the_operator().message("No video in this file!", MsgIcon::Exclamation);
        rec_.Close_File();
        return OpenResult::NoVideo;
    }
    slider_max_ = field_mode_ ? rec_.Num_fields() : rec_.num_Frames();
    read_header_goal_lines();
    try {
        start_ = parse_start_pc_mill(rec_.Velt_start_PC_mill());
    } catch (const VeltroError&) {
        // A heat that was never started: its pictures can be looked at but have no heat time.
        start_.reset();
    }
    timing_.set_recording(&rec_);
    last_switch_.reset();
    show_camera(kGoalCamera);
    if (ahead_) {
        open_read_ahead();
    }
    set_position(1);
    for (auto& line : lines_) {
        if (line == Goal_line{}) {
            line = Reset_Goal_Line(picture_width(), picture_height());
        }
    }
    return OpenResult::Opened;
}

void Review::close() {
    if (ahead_) {
        ahead_->close();
    }
    shown_.reset();
    rec_.Close_File();
    timing_.set_recording(nullptr);
    slider_max_ = 0;
    position_ = 0;
    start_.reset();
}

void Review::read_header_goal_lines() {
    const std::pair<std::int16_t, std::string (cls_VideoFile_handler::*)() const> sources[] = {
        {kGoalCamera, &cls_VideoFile_handler::Velt_Goal_Finish},
        {kSplitCamera, &cls_VideoFile_handler::Velt_Goal_Split}};
    for (const auto& [camera, get] : sources) {
        try {
            if (const auto line = parse_goal_line((rec_.*get)())) {
                goal_line(camera) = *line;
            }
        } catch (const VeltroError& e) {
            Trace("Handle_Open goal line ", camera, e.description());
        }
    }
}

bool Review::set_position(std::int32_t position) {
    if (!is_open()) {
        return false;
    }
    const auto next =
        static_cast<std::int16_t>(std::clamp<std::int32_t>(position, slider_min(), slider_max_));
    step_ = position_ == 0 ? 0 : next - position_;
    position_ = next;
    redraw();
    return true;
}

void Review::redraw() {
    if (busy_ || !is_open()) {
        return;
    }
    const Busy busy(busy_);
    shown_.reset();
    if (ahead_) {
        auto ready = ahead_->take(position_, band_);
        if (ready && rec_.show_decoded(position_, field_mode_, ready->record_crc)) {
            shown_ = std::move(ready);
        }
    }
    if (!shown_) {
        if (field_mode_) {
            rec_.Draw_RGB_Field(position_);
        } else {
            rec_.Draw_RGB_frame(position_);
        }
    }
    if (ahead_) {
        ahead_->shown(position_, std::exchange(step_, 0), band_);
    }
    // A picture that could not be read or decoded is not on show: it gives no time to assign.
    const bool on_show = !rec_.RGB_samplesize_error() && !rec_.frame_corrupted();
    if (start_ && on_show) {
        frame_time_ = picture_time(static_cast<std::uint32_t>(rec_.Timestamp_long()), *start_,
                                   rec_.Field_To_Show(), timing_.settings().goal_compensation);
    } else {
        frame_time_.reset();
    }
    timing_.show_picture(position_, frame_time_.value_or(timing_.current_frame_time()));
    if (picture_shown) {
        picture_shown();
    }
}

bool Review::step(int delta) {
    if (!is_open()) {
        return false;
    }
    const std::int32_t next = std::clamp<std::int32_t>(position_ + delta, slider_min(), slider_max_);
    if (next == position_) {
        return false;
    }
    return set_position(next);
}

void Review::Goto_Goal() {
    for (std::int32_t p = slider_min(); is_open() && p <= slider_max_; p += 4) {
        set_position(p);
        if (frame_time_ && *frame_time_ > kGoalSearchFrom) {
            break;
        }
    }
}

void Review::Goto_Time(std::int32_t time) {
    if (is_open() && !start_) {
        the_operator().beep();
        return;
    }
    for (std::int32_t p = slider_min(); is_open() && p <= slider_max_; ++p) {
        set_position(p);
        if (frame_time_ && *frame_time_ >= time) {
            break;
        }
    }
}

void Review::Goto_Split() {
    set_position(slider_min());
}

bool Review::GoTo_rank(const ResultArray& results, std::int16_t position) {
    if (!is_open() || position < 1 || position > kTimedBoxes) {
        the_operator().beep();
        return false;
    }
    const std::int16_t frame = rec_.Velt_heat_frame(results[static_cast<std::size_t>(position - 1)].box);
    if (frame == 0) {
        the_operator().beep();
        return false;
    }
    return set_position(frame);
}

bool Review::Goto_SplitTime(const ResultArray& results, std::int16_t position) {
    if (!is_open() || position < 1 || position > kTimedBoxes) {
        the_operator().beep();
        return false;
    }
    const std::int32_t split = results[static_cast<std::size_t>(position - 1)].split;
    if (split == 0 || split == no_time::kNotAssigned) {
        the_operator().beep();
        return false;
    }
    Goto_Time(split);
    return true;
}

Review::SwitchResult Review::switch_camera() {
    if (!is_open()) {
        the_operator().beep();
        return SwitchResult::NoRecording;
    }
    const std::uint32_t now = clock_.millis();
    if (last_switch_ && elapsed_ms(*last_switch_, now) < kSwitchDebounce) {
        return SwitchResult::Ignored;
    }
    last_switch_ = now;
    show_camera(camera_on_show_ == kGoalCamera ? kSplitCamera : kGoalCamera);
    redraw();
    return SwitchResult::Switched;
}

void Review::show_camera(std::int16_t camera) {
    camera_on_show_ = camera == kSplitCamera ? kSplitCamera : kGoalCamera;
    camera_ = camera_on_show_ == kSplitCamera ? Display_Split_times() : Display_Goal_times();
    timing_.split_mode = camera_.button_caption != "Split";
}

void Review::displace_on(bool on) {
    displace_on_ = on;
    if (!on) {
        goal_offset_ = 0;
    }
}

bool Review::Handle_Goal_Offset(int step) {
    if (!displace_on_) {
        return false;
    }
    goal_offset_ = step_goal_offset(goal_offset_, step);
    return true;
}

Goal_line Review::drawn_goal_line() const {
    return displaced(goal_line(camera_on_show_), goal_offset_);
}

std::int32_t Review::picture_width() const {
    return shown_ ? shown_->picture.Width() : rec_.picture().Width();
}

std::int32_t Review::picture_height() const {
    return shown_ ? shown_->picture.Height() : rec_.picture().Height();
}

} // namespace veltro
