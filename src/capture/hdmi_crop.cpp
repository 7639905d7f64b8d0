#include "capture/hdmi_crop.h"

#include "support/numbers.h"

#include <cstring>

namespace veltro {

CropOrigin hdmi_crop_origin(std::int32_t source_width, std::int32_t source_height, std::int32_t crop_width,
                            std::int32_t crop_height) {
    CropOrigin o;
    o.x0 = to_integer(round_half_even(source_width / 2.0 - crop_width / 2.0));
    o.y0 = to_integer(round_half_even(source_height / 2.0 - crop_height / 2.0));
    return o;
}

bool crop_frame(const std::uint8_t* raw, std::int32_t length, std::int32_t source_width,
                std::int32_t source_height, std::int32_t crop_width, std::int32_t crop_height,
                cDIBSection& cropped) {
    if (!raw || source_width <= 0 || source_height <= 0 || crop_width <= 0 || crop_height <= 0 ||
        crop_width > source_width || crop_height > source_height || source_width > 32767 ||
        source_height > 32767) {
        return false;
    }
    const std::int64_t source_stride = cDIBSection::bytes_per_scan_line(source_width);
    if (static_cast<std::int64_t>(length) < source_stride * source_height) {
        return false;
    }
    const CropOrigin o = hdmi_crop_origin(source_width, source_height, crop_width, crop_height);
    if (o.x0 < 0 || o.y0 < 0 || o.x0 + crop_width > source_width || o.y0 + crop_height > source_height) {
        return false;
    }
    if (cropped.Width() != crop_width || cropped.Height() != crop_height) {
        if (!cropped.Create(crop_width, crop_height)) {
            return false;
        }
    }
    const std::size_t row_bytes = static_cast<std::size_t>(crop_width) * 3;
    for (std::int32_t r = 0; r < crop_height; ++r) {
        const std::int64_t source_row = source_height - 1 - (o.y0 + r);
        std::memcpy(cropped.scan_line(r), raw + source_row * source_stride + o.x0 * 3, row_bytes);
    }
    return true;
}

} // namespace veltro
