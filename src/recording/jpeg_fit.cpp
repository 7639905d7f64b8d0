#include "recording/jpeg_fit.h"

#include "picture/jpeg_codec.h"
#include "recording/px3_layout.h"

#include <algorithm>
#include <limits>

namespace veltro {

FittedStream compress_to_fit(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                             std::int32_t stride, std::int32_t start_quality, std::int32_t data_size,
                             std::vector<std::uint8_t>& out) {
    // A stream of a camera picture stays well below the raw picture; the margin covers the headers of
    // tiny pictures.
    const std::size_t room = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height) + 65536;
    if (out.size() < room) {
        out.resize(room);
    }
    FittedStream fitted;
    fitted.quality = start_quality;
    fitted.smallest = 999999;
    for (;;) {
        fitted.size = static_cast<std::int32_t>(std::min<std::size_t>(
            out.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
        jpg_from_pixels(pixels, width, height, stride, out.data(), fitted.size, fitted.quality);
        fitted.largest = std::max(fitted.largest, fitted.size);
        fitted.smallest = std::min(fitted.smallest, fitted.size);
        if (data_size <= 0 || fitted.size <= data_size) {
            return fitted;
        }
        if (fitted.quality == 1) {
            fitted.cut = true;
            fitted.size = data_size;
            return fitted;
        }
        fitted.quality = px3::next_lower_quality(fitted.quality);
    }
}

} // namespace veltro
