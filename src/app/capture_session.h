#pragma once

#include "recording/capture_pass.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltro {

class Clock;
class cDIBSection;
class cls_Capture_HDMI;
class cls_VideoFile_handler;
class PrerollRing;
struct JpegWindowFrame;
class SpoolWriter;

// How much the camera keeps before a capture: the ring's length, and whether a capture keeps what
// came before its trigger's edge too.
struct PrerollSettings {
    std::int32_t length_ms = 2000;
    bool keep_before_edge = false;
};

// The frames of one heat's captures on their way into its recording. While the camera runs, every
// frame is taken on the capture thread: while capture is on it is compressed by worker threads and
// written to the spool beside the recording, otherwise into the pre-roll ring. At capture end the
// spool's frames go into the recording in one sequential pass and the spool is removed. If the
// program dies meanwhile, the spool is there for recovery at the next start.
//
// A spool belongs to the recording it was made for: its frames only ever go into that file, whatever
// the shared recording object shows by then.
class CaptureSession {
public:
    CaptureSession(cls_VideoFile_handler& recording, cls_Capture_HDMI& capture, const Clock& clock);
    ~CaptureSession(); // settles every spool it still holds
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // The camera starts with pictures of width x height: from now on its frames come to this session.
    void camera_started(std::int32_t width, std::int32_t height, std::int16_t quality,
                        const PrerollSettings& preroll);
    void camera_stopped();

    // Capture on, for the recording the shared object names now, from the first frame that reached the
    // host at or after `from_mill` on the PC counter (a trigger's edge). Frames of an earlier capture of
    // this heat whose final pass failed stay in the spool, and the new frames follow them. A disk that
    // does not take the spool leaves it in memory and says so in `notice()`. VeltroError when not even
    // that can be made.
    void begin(std::uint32_t from_mill);
    bool capturing() const { return pass_ != nullptr; }
    // Frames stop going into the capture that is on; they go in again from the next begin(), and the
    // capture's frames go into the recording at its end as usual.
    void hold();

    // Capture off: every frame the device had ready is taken, then every frame of the spool goes into
    // the recording, which counts them in its header. Returns the frames appended (0 when the capture
    // had none). A failure (VeltroError) leaves the recording as it was and the frames in the spool, for
    // the next capture end of this heat, the heat's end or the next start of the program.
    std::int32_t end(const std::function<void(int)>& progress);

    // Frames stored by the capture that is on; 0 when none is.
    std::int32_t frames() const;
    CapturePassCounters counters() const;
    // Milliseconds from the last capture end to the frames counted in the recording.
    std::int64_t last_end_ms() const { return last_end_ms_; }
    // True once when the recording filled up on the capture thread: the capture must end.
    bool take_full() { return full_.exchange(false); }
    // The current heat's frames that wait outside its recording: in the spool file, and in memory only.
    struct Waiting {
        std::int32_t on_disk = 0;
        std::int32_t in_memory = 0;
    };
    Waiting waiting() const;
    // What the operator should hear of the capture that is on (a spool in memory), once; empty if nothing.
    std::string take_notice();

    // The heat ends: frames still waiting get one more try into their own recordings. Returns what the
    // operator should know (empty when nothing was waiting or all went in).
    std::string settle();
    // The program closes: every spool is settled, and the session lets go of the capture source.
    std::string close();

    // The capture thread, under the capture source's lock: one cropped frame with its times.
    void frame(const cDIBSection& picture, std::uint32_t mill, std::int32_t local, std::int32_t delta);
    // The same for a frame as an MJPEG camera sent it: the workers decode its window.
    void jpeg_frame(const JpegWindowFrame& jpeg, std::uint32_t mill, std::int32_t local, std::int32_t delta);

private:
    struct Held;
    // `frame` or `jpeg_frame`: the pass of the capture that is on from its edge, else the pre-roll.
    template <class Store>
    void store_frame(std::uint32_t mill, const Store& store);
    CapturePassOptions pass_options(CapturePassOptions options);
    std::int32_t append_spool(Held& held, const std::function<void(int)>& progress);
    std::string settle_held();

    cls_VideoFile_handler& recording_;
    cls_Capture_HDMI& capture_;
    const Clock& clock_;
    std::unique_ptr<Held> spool_;             // the current heat's
    std::vector<std::unique_ptr<Held>> held_; // earlier heats' spools that their recordings did not take
    std::unique_ptr<CapturePass> pass_;
    std::unique_ptr<PrerollRing> ring_;
    std::unique_ptr<CapturePass> preroll_;
    // The capture thread's view, changed only under the capture lock.
    CapturePass* storing_ = nullptr;
    std::uint32_t from_mill_ = 0;
    std::int32_t keep_before_edge_ms_ = 0;
    std::atomic<bool> full_{false};
    std::string notice_;
    std::int64_t last_end_ms_ = 0;
    bool closed_ = false;
};

// The performance window's line on the compression of the capture that is on: frames compressed and
// spooled of those stored, how many were lost for want of a buffer, and how many damaged pictures of an
// MJPEG camera were left out.
std::string compression_text(const CapturePassCounters& counters);

} // namespace veltro
