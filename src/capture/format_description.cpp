#include "capture/format_description.h"

#include "capture/mjpeg_frame.h"
#include "support/numbers.h"

namespace veltro {

CurrentCapture& current_capture() {
    static CurrentCapture c;
    return c;
}

std::string Process_AMT(const std::optional<MediaType>& record) {
    if (!record || !record->format || record->format->avg_time_per_frame <= 0) {
        return "Corrupt data!";
    }
    const VideoInfoHeader& v = *record->format;
    // rate = 1000 / (avg_time_per_frame / 10000) frames per second; in tenths that is exactly
    // 10^8 / avg_time_per_frame, so the rounding to one decimal needs no floating point.
    const std::int64_t tenths = div_round_half_even(100000000, v.avg_time_per_frame);
    std::string rate = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        rate += "." + std::to_string(tenths % 10);
    }
    current_capture().image_size = static_cast<std::int32_t>(v.bmi_header.bi_size_image);
    current_capture().compression = v.bmi_header.bi_compression;
    return std::to_string(v.bmi_header.bi_width) + "*" + std::to_string(v.bmi_header.bi_height) + "/" + rate +
           format_codec_text(*record);
}

} // namespace veltro
