#include "recording/frame_render.h"

#include <cstring>

namespace veltro {

bool deinterlaceFrame2(const cDIBSection& source, cDIBSection& target, std::int16_t selector) {
    if (source.empty() || target.Width() != source.Width() || target.Height() != source.Height()) {
        return false;
    }
    const std::int32_t h = source.Height();
    const std::size_t row_bytes = static_cast<std::size_t>(source.BytesPerScanLine());
    for (std::int32_t y = 0; y < h; ++y) {
        std::memcpy(target.scan_line(y), source.scan_line(field_source_row(y, selector, h)), row_bytes);
    }
    return true;
}

bool Rotate90(const cDIBSection& source, cDIBSection& target) {
    const std::int32_t sw = source.Width();
    const std::int32_t sh = source.Height();
    if (source.empty() || target.Width() != sh || target.Height() != sw) {
        return false;
    }
    // Clockwise: target row r, column c shows source row (sh - 1 - c), column r.
    for (std::int32_t r = 0; r < sw; ++r) {
        std::uint8_t* out = target.scan_line(r);
        for (std::int32_t c = 0; c < sh; ++c) {
            const SourcePixel from = rotated_source(c, r, sh);
            const std::uint8_t* in = source.scan_line(from.row) + 3 * from.column;
            out[3 * c] = in[0];
            out[3 * c + 1] = in[1];
            out[3 * c + 2] = in[2];
        }
    }
    return true;
}

} // namespace veltro
