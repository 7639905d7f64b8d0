#pragma once

#include "app/capture_session.h"
#include "review/goal_line.h"
#include "support/clocks.h"
#include "timing/heat_timing.h"
#include "timing/heat_values.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace veltro {

class cls_Capture_HDMI;
class cls_VideoFile_handler;

// Shows the append pass to the operator. end() follows begin() on every path, also when the pass fails.
class AppendProgress {
public:
    virtual ~AppendProgress() = default;
    virtual void begin(const std::string& caption) = 0;
    virtual void percent(int value) = 0;
    virtual void end() = 0;
};

// What a new recording is armed with besides the capture source's own facts.
struct HeatArming {
    std::int16_t crop_width = 400;
    std::int16_t crop_height = 880;
    std::array<Goal_line, 2> goal_lines{};
    TimingSettings timing;
    std::string kit_serial; // empty: no kit attached
    // The heading from the current event; none: "Test Event", heat "1", "Test Heat" and no dogs.
    bool from_event = false;
    std::string event_name;
    std::string heat_id;
    std::string heat_name;
    std::array<std::string, kTimedBoxes> dogs;
    // The event and heat as the window shows them ("No event" without an event file): the
    // recording is named after them.
    std::string event_caption;
    std::string heat_caption;
};

// A press of a heat button counts when `min_ms` have passed since the last press that counted.
class Debounce {
public:
    explicit Debounce(std::int32_t min_ms) : min_ms_(min_ms) {}
    bool accept(std::uint32_t now);

private:
    std::int32_t min_ms_;
    std::uint32_t last_ = 0;
    bool pressed_before_ = false;
};

// The heat from arming to finish: the camera start, the new recording, the start signal, capture
// on and off with the append pass that moves the captured frames into the recording, the finish and
// the abort. The main window wires it to its buttons, the start switch and the operator; every rule
// about the heat itself lives here.
class HeatLifecycle {
public:
    // `clock` (not owned) dates the start and capture signals and times the capture passes' flushes
    // and the capture-end trace.
    HeatLifecycle(cls_Capture_HDMI& capture, cls_VideoFile_handler& recording, const Clock& clock);

    // The cameras start: nothing of an earlier heat's capture may reach this one's recording. From
    // here every frame is taken on the capture thread (into the pre-roll, or the capture when on).
    void start_camera(std::int16_t crop_width, std::int16_t crop_height);
    // The cameras stop (after any capture has ended).
    void camera_stopped();

    // The name of the next recording in `folder`: the event and heat captions and the time now.
    std::string recording_name_in(const std::string& folder, const HeatArming& arming) const;
    // Creates recording `name` and writes its header. Fails (VeltroError) with no recording current.
    void initiate(const std::string& name, const HeatArming& arming);

    // The goal line of recording `name` moved (with a moved camera); false when `name` is not the heat's
    // recording any more. Fails (VeltroError) with the recording as it was when its header cannot be
    // written.
    bool move_goal_line(const std::string& name, const Goal_line& goal);

    // When a start or finish signal came: its edge on the PC counter and the local time of day at that
    // edge, both read at once from the clock. A signal without a usable stamp (none, from the future, or
    // older than a signal can wait) counts from now; `stamp_refused` tells that a stamp was given but
    // could not be used.
    struct SignalMoment {
        std::uint32_t pc = 0;
        std::int32_t local = 0;
        bool stamp_refused = false;
    };
    SignalMoment signal_moment(std::optional<std::uint32_t> signal_mill) const;

    enum class Start { Started, AlreadyStarted, Reviewing, NoRecording };
    // The start signal at `start_pc` on the PC counter and `start_local` ms since local midnight,
    // both taken before anything could delay them. With no recording, `auto_initiate` (when given)
    // may create one first. The heat runs from the signal whatever the disk does: a start that cannot
    // be written into the recording is kept and written again at the next chance (start_unwritten()).
    Start start(std::uint32_t start_pc, std::int32_t start_local, bool reviewing,
                const std::function<void()>& auto_initiate);
    // Why the start of the running heat is not in its recording yet; empty when it is.
    const std::string& start_unwritten() const { return start_unwritten_; }
    // Writes a start that could not be written before; true when it is in the recording now.
    bool write_pending_start();

    enum class CaptureStart { Started, NoCameras, NoRecording, NotStarted };
    // Capture on, from the first frame that reached the host at or after `from_mill` (the trigger's
    // edge) however late this call comes. Outside a debug run it needs an attached kit and a started
    // heat (NotStarted). From here every frame is compressed on the capture thread and spooled beside
    // the recording (in memory when the disk does not take the spool: capture_notice() says so).
    CaptureStart capture_start(bool cameras_running, bool kit_attached, bool debug_run,
                               std::uint32_t from_mill);
    // True once when the recording filled up: the capture must end.
    bool recording_full() { return session_.take_full(); }
    // What the operator should hear of the capture just begun, once; empty when nothing.
    std::string capture_notice() { return session_.take_notice(); }

    // Capture off, and the append pass for the frames captured. True when a pass ran. A pass that
    // fails leaves the recording as it was before it and keeps the frames for the next pass.
    bool capture_end(bool cameras_running, bool debug_run, std::int32_t ms_since_program_start,
                     AppendProgress& progress);

    void abort() { heat_start_counter_ = 0; }
    // Ends the heat: frames still on their way go into the recording (also when capture is on),
    // the recording is closed and remembered as the last file. Returns what the operator should
    // know when frames could not be added (empty otherwise).
    std::string finish();

    // The program closes: every frame still waiting goes into its own recording, or is said to be
    // kept for recovery. Returns what the operator should know.
    std::string close() { return session_.close(); }

    const std::string& recording_name() const { return recording_name_; }
    // The PC counter at the start; 0 while no heat runs.
    std::uint32_t heat_start_counter() const { return heat_start_counter_; }
    bool capturing() const { return capturing_; }
    // Frames stored by the capture that is on.
    std::int32_t frames_captured() const { return session_.frames(); }
    const CaptureSession& session() const { return session_; }

private:
    void append_pass(AppendProgress& progress);
    // Capture off and every frame of the heat's captures into its recording; what the operator
    // should know when that failed.
    std::string end_capture_session();

    cls_Capture_HDMI& capture_;
    cls_VideoFile_handler& recording_;
    const Clock& clock_;
    CaptureSession session_;
    std::string recording_name_;
    std::uint32_t heat_start_counter_ = 0;
    bool capturing_ = false;
    std::string start_unwritten_;
};

} // namespace veltro
