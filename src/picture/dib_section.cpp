#include "picture/dib_section.h"

#include <limits>

namespace veltro {

bool cDIBSection::Create(std::int32_t width, std::int32_t height) {
    ClearUp();
    // A row of more than a third of 2^31 bytes cannot be addressed with a Long pitch.
    if (width <= 0 || height <= 0 || width > (std::numeric_limits<std::int32_t>::max() - 3) / 3) {
        return false;
    }
    const std::int64_t size = static_cast<std::int64_t>(bytes_per_scan_line(width)) * height;
    if (size > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    try {
        pixels_.assign(static_cast<std::size_t>(size), 0);
    } catch (const std::bad_alloc&) {
        ClearUp();
        return false;
    }
    info_.bi_width = width;
    info_.bi_height = height;
    info_.bi_size_image = static_cast<std::uint32_t>(size);
    return true;
}

void cDIBSection::ClearUp() {
    std::vector<std::uint8_t>().swap(pixels_);
    info_ = BitmapInfoHeader{};
}

void cDIBSection::Fill_with_RGB(std::int32_t colour) {
    const auto red = static_cast<std::uint8_t>(colour & 0xFF);
    const auto green = static_cast<std::uint8_t>((colour >> 8) & 0xFF);
    const auto blue = static_cast<std::uint8_t>((colour >> 16) & 0xFF);
    const std::int32_t stride = BytesPerScanLine();
    for (std::int32_t y = 0; y < Height(); ++y) {
        std::uint8_t* p = pixels_.data() + static_cast<std::size_t>(y) * stride;
        for (std::int32_t x = 0; x < Width(); ++x, p += 3) {
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    }
}

} // namespace veltro
