#pragma once

#include "recording/video_file_handler.h"
#include "review/goal_line.h"
#include "review/read_ahead.h"
#include "support/clocks.h"
#include "timing/heat_timing.h"
#include "timing/result_ranking.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// What the window shows for the camera on show (goal or split mode).
struct CameraDisplay {
    std::string camera_name;    // written onto the picture
    std::string button_caption; // the Split/Goal button
    std::string frame_caption;  // the "Set times" frame
    bool toggles_shown = true;  // Dead-heat and No-time buttons
    std::uint32_t colour = 0;   // 0xBBGGRR, also the goal line's colour
};
CameraDisplay Display_Goal_times();
CameraDisplay Display_Split_times();

// The picture on show: the camera name's place and the data overlays of the Debug menu.
inline constexpr double kCameraNameX = 0.10; // of the picture's width
inline constexpr double kCameraNameY = 0.90; // of its height
// "Display HD frame data": the capture data of the picture on show.
std::vector<std::string> hd_frame_data_lines(const cls_VideoFile_handler& rec);
// "Display sample data": the recording's data and the record on show.
std::vector<std::string> sample_data_lines(const cls_VideoFile_handler& rec);

// Photo-finish review of the open recording: which picture is on show and its heat time, stepping
// and jumps, the camera on show and the goal lines. The window draws `picture()` after every change
// (`picture_shown` tells it) and forwards the operator's input here.
class Review {
public:
    // `clock` is not owned and outlives the review.
    Review(cls_VideoFile_handler& rec, HeatTiming& timing, const Clock& clock);
    ~Review();
    Review(const Review&) = delete;
    Review& operator=(const Review&) = delete;

    enum class OpenResult { Opened, Failed, NoVideo };
    // Opens a recording for review (the recording's part of Handle_Open): stores its folder as
    // last_folder, opens it ("File open failed" / "No video in this file!"), picks field mode from
    // the measured rate, reads both goal lines and the heat start, shows goal mode at picture 1.
    OpenResult open(const std::string& path);
    // Closes the recording; the review shows nothing.
    void close();
    bool is_open() const { return rec_.File_open() && slider_max_ > 0; }

    // ---- Pictures ----------------------------------------------------------------------------
    // Field mode steps single fields (recordings up to 40 pictures per second), frame mode frames.
    bool field_mode() const { return field_mode_; }
    std::int16_t slider_min() const { return 1; }
    std::int16_t slider_max() const { return slider_max_; }
    std::int16_t play_position() const { return position_; }
    // Moves to `position` (kept within the slider's range) and draws it. False when nothing is open.
    bool set_position(std::int32_t position);
    // Draws the picture at the play position and works out its heat time. A request while a
    // picture is being drawn is ignored.
    void redraw();
    // One picture forward (+1) or back (-1); stops at the ends.
    bool step(int delta);
    // First picture (in steps of 4) whose time is above 12000 ms; on a shorter heat the last reached.
    void Goto_Goal();
    // First picture whose time reaches `time`; the last picture when none does.
    void Goto_Time(std::int32_t time);
    // The first picture.
    void Goto_Split();
    // The picture at which the finish time of the box at result position `position` was assigned
    // (GoTo_rank, GoTo_Box); beeps when that box has none.
    bool GoTo_rank(const ResultArray& results, std::int16_t position);
    // The first picture reaching the split time of the box at result position `position`; beeps
    // when it has none.
    bool Goto_SplitTime(const ResultArray& results, std::int16_t position);

    // The picture on show: decoded ahead by the read-ahead, else the recording's own picture(). With
    // a view band set it may hold only the pixels of that band (picture_partial).
    const cDIBSection& picture();
    bool picture_partial() const { return shown_ && shown_->band; }
    // True when the picture on show came from the read-ahead.
    bool picture_read_ahead() const { return shown_ != nullptr; }

    // ---- Read-ahead ------------------------------------------------------------------------------
    // On, the pictures next to the one on show (in the direction of travel) are decoded on a worker
    // thread, and a redraw takes them from there when they are ready. Off by default.
    void read_ahead(bool on);
    bool read_ahead() const { return ahead_ != nullptr; }
    // Waits until the read-ahead has decoded what it wants (tests and benchmarks).
    void settle_read_ahead();
    // The part of the picture in view when zoomed (band_in_view), std::nullopt for the whole: the
    // read-ahead decodes only that. A picture on show that lacks part of the new band is drawn again.
    void view_band(const std::optional<JpegBand>& band);
    const std::optional<JpegBand>& view_band() const { return band_; }

    // Heat time of the picture on show; std::nullopt when the heat was never started or the picture
    // could not be read.
    std::optional<std::int32_t> frame_time() const { return frame_time_; }
    // Called after every picture drawn (also by the jumps, for each picture they pass).
    std::function<void()> picture_shown;

    // ---- Cameras and goal lines ----------------------------------------------------------------
    std::int16_t camera_on_show() const { return camera_on_show_; }
    const CameraDisplay& camera() const { return camera_; }
    enum class SwitchResult { Switched, Ignored, NoRecording };
    // The Split/Goal button: a press within 300 ms of the last accepted one is ignored; with no
    // recording open it beeps.
    SwitchResult switch_camera();
    // Sets goal (camera 1) or split (camera 2) mode and the timing model's split mode with it.
    void show_camera(std::int16_t camera);

    Goal_line& goal_line(std::int16_t camera) { return lines_[index(camera)]; }
    const Goal_line& goal_line(std::int16_t camera) const { return lines_[index(camera)]; }
    std::array<Goal_line, 2>& goal_lines() { return lines_; }
    // The camera whose line is edited (its handles shown); 0 = none.
    std::int16_t selected_camera = kGoalCamera;
    // "Displace goalline": on, the offset steps; off or a new recording puts it back to 0.
    bool displace_on() const { return displace_on_; }
    void displace_on(bool on);
    std::int16_t goal_offset() const { return goal_offset_; }
    // Numeric-pad 4 / 6 (and Alt+Left / Alt+Right): -1 / +1 while "Displace goalline" is on.
    bool Handle_Goal_Offset(int step);
    // The line drawn over the picture on show: the camera on show's line, displaced.
    Goal_line drawn_goal_line() const;

    // The picture's size in pixels (as drawn: turned when the recording is rotated).
    std::int32_t picture_width() const;
    std::int32_t picture_height() const;

private:
    static std::size_t index(std::int16_t camera) { return camera == kSplitCamera ? 1 : 0; }
    void read_header_goal_lines();

    cls_VideoFile_handler& rec_;
    HeatTiming& timing_;
    const Clock& clock_;
    bool field_mode_ = true;
    std::int16_t slider_max_ = 0;
    std::int16_t position_ = 0;
    bool busy_ = false;
    void open_read_ahead();

    std::optional<std::uint32_t> start_;
    std::optional<std::int32_t> frame_time_;
    std::unique_ptr<ReadAhead> ahead_;
    std::optional<JpegBand> band_;
    std::shared_ptr<const AheadPicture> shown_; // the picture on show when it came from the read-ahead
    std::int32_t step_ = 0;                     // from the picture shown before
    std::int16_t camera_on_show_ = kGoalCamera;
    CameraDisplay camera_ = Display_Goal_times();
    std::optional<std::uint32_t> last_switch_;
    std::array<Goal_line, 2> lines_{};
    bool displace_on_ = false;
    std::int16_t goal_offset_ = 0;
};

} // namespace veltro
