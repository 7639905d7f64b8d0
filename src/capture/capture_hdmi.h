#pragma once

#include "capture/capture_component.h"
#include "capture/capture_thread.h"
#include "capture/frame_collection.h"
#include "capture/signal_watch.h"
#include "picture/dib_section.h"
#include "picture/jpeg_band.h"
#include "support/clocks.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// The running-arm indicator: one line from the rim to the centre of the arm picture.
struct RunningArm {
    double x1 = 0, y1 = 0; // on the rim
    double x2 = 0, y2 = 0; // the centre
    std::int32_t line_width = 1;
};
// Arm position 1 to 100 maps to one turn that starts pointing straight up.
RunningArm running_arm_geometry(double scale_width, double scale_height, float arm_position);

// Set when a frame could not be cropped: from then on the main window ignores frame events.
bool capture_halted();
void capture_halted(bool value);

// One frame as it reached the host: its arrival on the PC counter and the delta to the one before.
struct FrameArrival {
    std::uint32_t mill = 0;
    std::int32_t delta = 0;
};

// One capture source: opens the saved source of the capture component, runs and stops it, and for
// every frame takes the time stamps, measures the frame rate, crops the centre window and hands it to
// the store target. The frames are taken by a capture thread of the object's own, which waits on the
// device; the window thread only hears of them: deliver_notices() (when notice_fd is readable) raises
// HDMIreceived once for the frames since the last call, and says what else happened meanwhile. No
// window, dialog or disk can hold up a frame. Every member may be called from the window thread; the
// object's lock keeps the capture thread out meanwhile.
class cls_Capture_HDMI final : public CaptureEventSink {
public:
    // `clock` (not owned, outliving the source) stamps the frames; tests put a manual one in.
    // `first_start_source` (a friendly name) is filmed while no source was ever chosen; empty: none.
    explicit cls_Capture_HDMI(std::unique_ptr<CaptureComponent> component, const Clock& clock,
                              std::string first_start_source = {});
    ~cls_Capture_HDMI() override;
    cls_Capture_HDMI(const cls_Capture_HDMI&) = delete;
    cls_Capture_HDMI& operator=(const cls_Capture_HDMI&) = delete;

    // Raised by deliver_notices() once when frames came since its last call.
    std::function<void()> HDMIreceived;
    // Raised by deliver_notices() for each frame that came, oldest first, before HDMIreceived.
    std::function<void(const FrameArrival&)> frame_arrived;
    // Raised by deliver_notices() when the device lost frames on the way (it said so, or its
    // sequence numbers skipped): how many, and the arrival of the first frame after them.
    std::function<void(std::int64_t, std::uint32_t)> frames_lost;
    // Called when a frame cannot be cropped; the owner stops the cameras.
    std::function<void()> Stop_all_cams;
    // Called when the running source stopped by itself (unplugged, failed), with the reason, once per
    // loss the operator should hear of; the source is tried again by check_signal().
    std::function<void(const std::string&)> source_lost;

    // The component. Its frames are the capture thread's: call it from elsewhere only while the
    // camera is stopped.
    CaptureComponent& component() { return *component_; }

    // Readable when deliver_notices() has something to say.
    int notice_fd() const { return notice_fd_; }
    // The window thread: reads notice_fd and raises the callbacks for what happened since the last call.
    void deliver_notices();
    // Has the capture thread take every frame the device has ready now, and returns when it has (for
    // a capture end, and for devices on a clock that moves only when told).
    void dispatch_now();
    // Whether the capture thread waits on the device's descriptor by itself while the camera runs;
    // without it frames are taken only by dispatch_now (tests that move the clock by hand). On by default.
    void watch_device(bool on);
    // Copies the latest cropped picture into `into`; false when there is none.
    bool copy_cropped_picture(cDIBSection& into) const;
    // Runs `f` while the capture thread is held off (between two frames).
    template <class F>
    decltype(auto) locked(F&& f) const {
        std::lock_guard lock(mutex_);
        return f();
    }
    // Frames the device lost on the way since Capture_Run, as far as it can tell.
    std::int64_t frames_lost_total() const;
    // Frames of an MJPEG source that did not decode since Capture_Run (damaged, cut short, of
    // another size): skipped, and counted among the frames lost as well.
    std::int64_t corrupt_frames() const;

    // Finds the saved source ("capturesettings" friendlyname / videoproperty) among "video:1" to
    // "video:10" and configures it; tells the operator when it is not there. From then on every
    // Capture_Run sets the exposure and gain stored with it (capture_controls.h).
    void Set_Source_from_Saved();
    bool SourcePropFound() const { return source_prop_found_; }
    // True when no source was ever chosen and the first-start source was taken in its place.
    bool source_by_default() const { return source_by_default_; }
    const std::string& Current_FriendlyName() const;
    const std::string& Current_PropertyString() const;
    const std::string& MaxInterval() const { return max_interval_; }
    const std::string& MinInterval() const { return min_interval_; }
    // "video:" number of the opened source, 0 before.
    std::int16_t source_number() const { return source_number_; }

    // Crop size; recreates the cropped picture at once.
    void set_HDMI_Crop(std::int16_t width, std::int16_t height);
    bool Do_CROP() const { return do_crop_; }
    void Do_CROP(bool value);
    std::int32_t crop_width() const { return crop_width_; }
    std::int32_t crop_height() const { return crop_height_; }
    // Bytes of one cropped frame: crop width x crop height x 3.
    std::int32_t Video_Buff_len() const { return video_buff_len_; }

    void MaxFrames(std::int32_t value);
    std::int32_t MaxFrames() const { return max_frames_; }
    void Post_linear(bool value) { post_linear_ = value; }
    bool Post_linear() const { return post_linear_; }

    void Capture_Run();
    void Stop_Capture();
    bool Running() const { return running_; }

    // Polled by the window while the camera runs: tries a lost source again when that is due, and
    // judges the signal at the clock's time.
    SignalWatch::State check_signal();
    // The signal as judged at the last check (a copy: the capture thread updates it).
    SignalWatch signal() const;
    const std::string& Last_Error() const { return last_error_; }

    void Store_HDMI_Buffer();
    // While set, every cropped frame is handed to `target` on the capture thread, with its capture
    // mill, local and delta times, as it arrives (the heat's capture); Store_HDMI_Buffer then does
    // the same. The target runs under the object's lock and must not wait for anything slow.
    using StoreTargetFn = std::function<void(const cDIBSection&, std::uint32_t, std::int32_t, std::int32_t)>;
    void store_target(StoreTargetFn target);
    // While set, every cropped frame is shown to `probe` on the capture thread with its arrival stamp
    // (the LED box of the capture delay measurement). It runs under the object's lock and must take
    // no more than a few microseconds.
    using PictureProbeFn = std::function<void(const cDIBSection&, std::uint32_t)>;
    void picture_probe(PictureProbeFn probe);
    // While set (with no probe), the frames of an MJPEG source go to `target` as the camera sent
    // them, with the crop window named, in place of store_target: the capture thread only checks
    // the picture's header and stamps it, and the target decodes the window off the capture thread.
    // A frame the target finds corrupt later is told to late_corrupt_frame(). Same rules as
    // store_target.
    using JpegStoreTargetFn =
        std::function<void(const JpegWindowFrame&, std::uint32_t, std::int32_t, std::int32_t)>;
    void jpeg_store_target(JpegStoreTargetFn target);
    // From any thread, without the object's lock: a frame handed to the JPEG store target, stamped at
    // `capture_mill`, did not decode. Counted among the corrupt frames and the frames lost, and
    // told to the window with the next notices.
    void late_corrupt_frame(std::uint32_t capture_mill, const std::string& why);
    std::int32_t Buff_Num() const;
    std::int32_t Effective_Video_Object(std::int32_t n) const;
    // Stored frame n in arrival order.
    CVideobuff_RGB& stored_frame(std::int32_t n);
    std::int32_t stored_count() const { return stored_count_; }

    std::int16_t Running_Fps() const;
    float Measured_fps() const;
    std::int32_t HDMI_10_mill() const;
    std::int32_t HDMI_events() const;
    std::uint32_t last_Capture_mill() const;
    std::int32_t last_Capture_local() const;
    // The arrival delta when it lies in 0 to 10000 ms, else 0.
    std::int32_t last_Capture_delta() const;
    std::string HDMI_Sample_Dimensions() const;
    float arm_position() const;
    RunningArm Draw_Running_Arm_2(double scale_width, double scale_height) const {
        return running_arm_geometry(scale_width, scale_height, arm_position());
    }

    bool header_loaded() const { return header_loaded_; }
    const VideoInfoHeader& video_header() const { return video_header_; }
    const BitmapInfoHeader& raw_bitmap_header() const { return raw_header_; }

    const std::string& ID_string() const { return id_string_; }
    void ID_string(const std::string& value) { id_string_ = value; }
    std::int16_t Index() const { return index_; }
    void Index(std::int16_t value) { index_ = value; }

    // Capture objects alive in this process.
    static std::int32_t object_count();

    void OnRGBEvent(const std::uint8_t* frame, std::int32_t length,
                    std::optional<std::uint32_t> arrival_mill) override;
    void on_source_lost(const std::string& reason) override;
    void on_frames_lost(std::int64_t count) override;
    // Decodes only the crop window of the picture (or hands the picture to the JPEG store target),
    // then goes on as OnRGBEvent does.
    void on_jpeg_event(const std::uint8_t* jpg, std::int32_t length, std::int32_t width, std::int32_t height,
                       std::optional<std::uint32_t> arrival_mill) override;

private:
    std::string where() const;
    void dispatch_frames();
    void post_notice();
    // The parts of a frame's path: its times, the rate and the header (steps 2 to 7); the cropped
    // picture to the store target and the probe; the window told.
    std::uint32_t take_frame_times(std::int32_t length, std::optional<std::uint32_t> arrival_mill);
    void hand_over_cropped(std::uint32_t at);
    void tell_window(std::uint32_t at);
    void count_corrupt(const std::string& why);
    // The live picture decoded from the last frame handed to the JPEG store target, on the caller's
    // thread; false when there is none newer than cropped_ or it does not decode.
    bool copy_live_jpeg(cDIBSection& into) const;
    // True when the frame went to the JPEG store target.
    bool hand_over_jpeg(const JpegWindowFrame& frame, std::optional<std::uint32_t> arrival_mill);

    std::unique_ptr<CaptureComponent> component_;
    const Clock& clock_;
    mutable std::mutex mutex_; // everything below, and the component while the camera runs
    int notice_fd_ = -1;
    bool notice_posted_ = false;
    bool watch_device_ = true;
    // What the window has not heard of yet.
    std::vector<FrameArrival> arrivals_;
    std::vector<std::string> lost_reasons_;
    std::int64_t lost_pending_ = 0;
    std::uint32_t lost_at_ = 0;
    bool halt_pending_ = false;
    std::int64_t frames_lost_total_ = 0;
    std::int32_t cookie_ = 0;
    std::string id_string_;
    std::int16_t index_ = 0;
    bool running_ = false;
    std::string last_error_;
    bool source_prop_found_ = false;
    std::string first_start_source_;
    bool source_by_default_ = false;
    std::string max_interval_;
    std::string min_interval_;
    std::int16_t source_number_ = 0;
    SignalWatch signal_;
    std::string last_reconnect_error_;

    std::uint32_t last_capture_mill_ = 0;
    std::int32_t last_capture_local_ = 0;
    std::uint32_t previous_arrival_ = 0;
    std::int32_t arrival_delta_ = 0;
    std::int32_t hdmi_events_ = 0;
    std::int32_t window_count_ = 0;
    std::uint32_t window_start_ = 0;
    float running_fps_ = 0;
    std::uint32_t event21_ = 0;
    std::uint32_t event31_ = 0;
    std::int32_t hdmi_10_mill_ = 0;
    float measured_fps_ = 0;
    float arm_position_ = 0;

    VideoInfoHeader video_header_;
    bool header_loaded_ = false;
    BitmapInfoHeader raw_header_;
    bool raw_header_filled_ = false;
    std::int32_t source_width_ = 0;
    std::int32_t source_height_ = 0;

    bool do_crop_ = false;
    std::int32_t crop_width_ = 0;
    std::int32_t crop_height_ = 0;
    std::int32_t video_buff_len_ = 0;
    cDIBSection cropped_;
    // MJPEG frames: the window is decoded into the spare picture and swapped into cropped_ when whole.
    JpegBandDecoder jpeg_decoder_;
    cDIBSection jpeg_spare_;
    std::int64_t corrupt_frames_ = 0;
    // The last frame handed to the JPEG store target, newer than cropped_ while live_pending_: the
    // live picture is decoded from it when the window asks.
    std::vector<std::uint8_t> live_jpeg_;
    JpegWindowFrame live_frame_;
    bool live_pending_ = false;
    JpegStoreTargetFn jpeg_store_target_;
    // Frames the JPEG store target found corrupt, under a lock of their own: it may be taken while
    // mutex_ is held, never mutex_ while it is.
    mutable std::mutex late_mutex_;
    std::int64_t late_corrupt_ = 0; // since Capture_Run
    std::int64_t late_pending_ = 0; // not yet told to the window
    std::uint32_t late_at_ = 0;
    std::string late_why_;

    std::int32_t max_frames_ = 0;
    bool post_linear_ = false;
    std::int32_t write_position_ = 0;
    std::int32_t stored_count_ = 0;
    StoreTargetFn store_target_;
    PictureProbeFn picture_probe_;
    bool buffer_filled_ = false;
    // Last: it calls into the object, so it goes first.
    std::unique_ptr<CaptureThread> thread_;
};

} // namespace veltro
