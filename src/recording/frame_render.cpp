#include "recording/frame_render.h"

#include <cstring>

namespace veltro {

bool deinterlaceFrame2(const cDIBSection& source, cDIBSection& target, std::int16_t selector) {
    if (source.Empty() || target.Width() != source.Width() || target.Height() != source.Height()) {
        return false;
    }
    const std::int32_t h = source.Height();
    const std::int32_t first = selector == 2 ? 0 : 1;
    const std::size_t row_bytes = static_cast<std::size_t>(source.BytesPerScanLine());
    for (std::int32_t y = 0; y < h; ++y) {
        // Row pair (2k, 2k + 1) shows the field's row of that pair; a one-row picture has no
        // bottom field and shows its only row.
        std::int32_t from = (y & ~1) + first;
        if (from >= h) {
            from = from - 2 >= 0 ? from - 2 : 0;
        }
        std::memcpy(target.ScanLine(y), source.ScanLine(from), row_bytes);
    }
    return true;
}

bool Rotate90(const cDIBSection& source, cDIBSection& target) {
    const std::int32_t sw = source.Width();
    const std::int32_t sh = source.Height();
    if (source.Empty() || target.Width() != sh || target.Height() != sw) {
        return false;
    }
    // Clockwise: target row r, column c shows source row (sh - 1 - c), column r (rows from the top).
    for (std::int32_t r = 0; r < sw; ++r) {
        std::uint8_t* out = target.ScanLine(r);
        for (std::int32_t c = 0; c < sh; ++c) {
            const std::uint8_t* in = source.ScanLine(sh - 1 - c) + 3 * r;
            out[3 * c] = in[0];
            out[3 * c + 1] = in[1];
            out[3 * c + 2] = in[2];
        }
    }
    return true;
}

} // namespace veltro
