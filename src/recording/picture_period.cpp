#include "recording/picture_period.h"

#include "recording/video_file_handler.h"
#include "support/veltro_error.h"

namespace veltro {

PicturePeriod recording_picture_period(const cls_VideoFile_handler& rec) {
    std::int32_t rate = 0;
    try {
        rate = rec.Measured_fps();
    } catch (const VeltroError&) {
        // A rate that was never measured: the review shows fields.
    }
    return picture_period_for_rate(rate);
}

} // namespace veltro
