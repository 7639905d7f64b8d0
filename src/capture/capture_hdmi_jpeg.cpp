// The capture source's side of MJPEG sources: only the crop window of each picture is decoded, on
// the capture thread, and a damaged picture is counted and skipped.
#include "capture/capture_hdmi.h"
#include "capture/capture_trace.h"
#include "capture/mjpeg_frame.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace veltro {

void cls_Capture_HDMI::on_jpeg_event(const std::uint8_t* jpg, std::int32_t length, std::int32_t width,
                                     std::int32_t height, std::optional<std::uint32_t> arrival_mill) {
    if (do_crop_) {
        std::string why;
        switch (crop_jpeg_frame(jpeg_decoder_, jpg, length, width, height, crop_width_, crop_height_,
                                cropped_, jpeg_spare_, why)) {
        case JpegCrop::Cropped:
            window_decoded_ = true;
            break;
        case JpegCrop::Outside:
            break; // the crop fails below as it does for rows, and the cameras stop
        case JpegCrop::Corrupt:
            // Not a frame: no time stamp, no store, nothing for the rate; the window hears of it as
            // a frame lost.
            ++corrupt_frames_;
            ++frames_lost_total_;
            ++lost_pending_;
            lost_at_ = last_capture_mill_;
            capture_trace("*Corrupt frame from the device skipped: " + why + ", " +
                          std::to_string(corrupt_frames_) + " since the camera started" + where());
            post_notice();
            return;
        }
    }
    // The rest is the path of every frame; the length it is given is the decoded picture's.
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{window_decoded_};
    const std::int64_t decoded = std::int64_t{cDIBSection::bytes_per_scan_line(width)} * height;
    OnRGBEvent(nullptr, static_cast<std::int32_t>(std::min<std::int64_t>(decoded, INT32_MAX)), arrival_mill);
}

std::int64_t cls_Capture_HDMI::corrupt_frames() const {
    std::lock_guard lock(mutex_);
    return corrupt_frames_;
}

} // namespace veltro
