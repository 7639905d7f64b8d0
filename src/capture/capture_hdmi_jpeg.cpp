// The capture source's side of MJPEG sources. While the heat's capture takes JPEG frames, the capture
// thread only checks each picture's header, stamps it and hands the stream on: its window is decoded
// by the compression workers, and the live picture by the window when it asks. Otherwise only the crop
// window is decoded here. A damaged picture is counted and skipped either way.
#include "capture/capture_hdmi.h"
#include "capture/capture_trace.h"
#include "capture/mjpeg_frame.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unistd.h>

namespace veltro {

void cls_Capture_HDMI::jpeg_store_target(JpegStoreTargetFn target) {
    std::lock_guard lock(mutex_);
    jpeg_store_target_ = std::move(target);
    live_pending_ = false;
}

void cls_Capture_HDMI::count_corrupt(const std::string& why) {
    // Not a frame: no time stamp, no store, nothing for the rate; the window hears of it as a frame lost.
    ++corrupt_frames_;
    ++frames_lost_total_;
    ++lost_pending_;
    lost_at_ = last_capture_mill_;
    // A camera that sends only garbage would otherwise fill the trace at its rate and push out the
    // evening's history: the first ten are traced, then one in a thousand.
    if (corrupt_frames_ <= 10 || corrupt_frames_ % 1000 == 0) {
        capture_trace("*Corrupt frame from the device skipped: " + why + ", " +
                      std::to_string(corrupt_frames_) + " since the camera started" +
                      (corrupt_frames_ >= 10 ? " (one in a thousand traced)" : "") + where());
    }
    post_notice();
}

bool cls_Capture_HDMI::hand_over_jpeg(const JpegWindowFrame& frame,
                                      std::optional<std::uint32_t> arrival_mill) {
    if (!jpeg_store_target_ || picture_probe_) {
        return false; // the probe looks at every picture here, so it is decoded here
    }
    std::string why;
    if (!jpeg_frame_plausible(frame.jpg, frame.length, frame.width, frame.height, why)) {
        count_corrupt(why);
        return true;
    }
    const std::int64_t decoded = std::int64_t{cDIBSection::bytes_per_scan_line(frame.width)} * frame.height;
    const std::uint32_t at =
        take_frame_times(static_cast<std::int32_t>(std::min<std::int64_t>(decoded, INT32_MAX)), arrival_mill);
    live_jpeg_.assign(frame.jpg, frame.jpg + frame.length);
    live_frame_ = frame;
    live_frame_.jpg = nullptr;
    live_pending_ = true;
    if (!halt_pending_) {
        ++write_position_;
        ++stored_count_;
        jpeg_store_target_(frame, at, last_capture_local_, arrival_delta_);
    }
    tell_window(at);
    return true;
}

void cls_Capture_HDMI::on_jpeg_event(const std::uint8_t* jpg, std::int32_t length, std::int32_t width,
                                     std::int32_t height, std::optional<std::uint32_t> arrival_mill) {
    const std::int64_t decoded = std::int64_t{cDIBSection::bytes_per_scan_line(width)} * height;
    const auto decoded_length = static_cast<std::int32_t>(std::min<std::int64_t>(decoded, INT32_MAX));
    if (!do_crop_) {
        const std::uint32_t at = take_frame_times(decoded_length, arrival_mill);
        hand_over_cropped(at);
        tell_window(at);
        return;
    }
    const std::optional<JpegBand> window = jpeg_crop_window(width, height, crop_width_, crop_height_);
    if (window && length > 0 &&
        hand_over_jpeg({jpg, static_cast<std::size_t>(length), width, height, *window}, arrival_mill)) {
        return;
    }
    std::string why;
    switch (crop_jpeg_frame(jpeg_decoder_, jpg, length, width, height, crop_width_, crop_height_, cropped_,
                            jpeg_spare_, why)) {
    case JpegCrop::Cropped: {
        live_pending_ = false;
        const std::uint32_t at = take_frame_times(decoded_length, arrival_mill);
        hand_over_cropped(at);
        tell_window(at);
        return;
    }
    case JpegCrop::Outside:
        // The crop fails as it does for rows, and the cameras stop.
        OnRGBEvent(nullptr, decoded_length, arrival_mill);
        return;
    case JpegCrop::Corrupt:
        count_corrupt(why);
        return;
    }
}

bool cls_Capture_HDMI::copy_live_jpeg(cDIBSection& into) const {
    thread_local std::vector<std::uint8_t> jpg;
    thread_local JpegBandDecoder decoder;
    JpegWindowFrame frame;
    {
        std::lock_guard lock(mutex_);
        if (!live_pending_) {
            return false;
        }
        jpg.assign(live_jpeg_.begin(), live_jpeg_.end());
        frame = live_frame_;
    }
    const JpegBand& w = frame.window;
    if ((into.Width() != w.width || into.Height() != w.height) && !into.Create(w.width, w.height)) {
        return false;
    }
    try {
        const std::ptrdiff_t step =
            w.height > 1 ? into.scan_line(1) - into.scan_line(0) : -into.BytesPerScanLine();
        decoder.decode_into(jpg.data(), jpg.size(), frame.width, frame.height, w, into.scan_line(0), step);
    } catch (const VeltroError&) {
        return false; // the store target counts it; the picture decoded here before is shown
    }
    return true;
}

void cls_Capture_HDMI::late_corrupt_frame(std::uint32_t capture_mill, const std::string& why) {
    {
        std::lock_guard lock(late_mutex_);
        ++late_corrupt_;
        if (late_pending_++ == 0) {
            late_at_ = capture_mill;
        }
        late_why_ = why;
    }
    // The eventfd adds up, so the window hears of it however many threads write.
    const std::uint64_t one = 1;
    (void)!::write(notice_fd_, &one, sizeof one);
}

std::int64_t cls_Capture_HDMI::corrupt_frames() const {
    std::int64_t late = 0;
    {
        std::lock_guard lock(late_mutex_);
        late = late_corrupt_;
    }
    std::lock_guard lock(mutex_);
    return corrupt_frames_ + late;
}

} // namespace veltro
