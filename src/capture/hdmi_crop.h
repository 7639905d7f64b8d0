#pragma once

#include "picture/dib_section.h"

#include <cstdint>

namespace veltro {

// The centre window that is cut out of every captured frame.

struct CropOrigin {
    std::int16_t x0 = 0; // left column of the window
    std::int16_t y0 = 0; // top row of the window, counted from the top
};

// x0 = source width / 2 - crop width / 2 and y0 likewise, in floating point, rounded halves to even
// (1920 x 1080 with 1919 x 1079 gives 0, 0).
CropOrigin hdmi_crop_origin(std::int32_t source_width, std::int32_t source_height, std::int32_t crop_width,
                            std::int32_t crop_height);

// Copies the centre window of a raw frame (bottom-up 24-bit rows padded to 4 bytes, `length` bytes)
// one to one into `cropped`, which is recreated at crop width x crop height when its size differs.
// Returns false and copies nothing when the window does not lie inside the source or the frame is
// shorter than its rows.
bool crop_frame(const std::uint8_t* raw, std::int32_t length, std::int32_t source_width,
                std::int32_t source_height, std::int32_t crop_width, std::int32_t crop_height,
                cDIBSection& cropped);

} // namespace veltro
