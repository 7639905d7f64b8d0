#pragma once

#include "picture/dib_section.h"

#include <cstdint>

namespace veltro {

// Field and rotation work on decoded frames, in place of the graphics library the review used to
// call. Both need a target of the right size and leave it alone (returning false) otherwise.

// One field of an interlaced frame, line-doubled to full height. Selector 2 takes the top field
// (rows 0, 2, 4, ... from the top: the field shown as field 1), selector 1 the bottom field (rows 1,
// 3, 5, ...: field 2). The target must have the source's size.
bool deinterlaceFrame2(const cDIBSection& source, cDIBSection& target, std::int16_t selector);
// The source row (from the top) that row `row` of that field picture shows, in a picture `height`
// rows high.
constexpr std::int32_t field_source_row(std::int32_t row, std::int16_t selector, std::int32_t height) {
    // Row pair (2k, 2k + 1) shows the field's row of that pair; a one-row picture has no bottom
    // field and shows its only row.
    const std::int32_t from = (row & ~1) + (selector == 2 ? 0 : 1);
    if (from < height) {
        return from;
    }
    return from - 2 >= 0 ? from - 2 : 0;
}

// The source turned a quarter clockwise: target width = source height, target height = source width.
bool Rotate90(const cDIBSection& source, cDIBSection& target);
// The source pixel that pixel (x, y) of the turned picture shows, for a source `source_height` rows
// high: row source_height - 1 - x, column y (rows from the top).
struct SourcePixel {
    std::int32_t column = 0;
    std::int32_t row = 0;
};
constexpr SourcePixel rotated_source(std::int32_t x, std::int32_t y, std::int32_t source_height) {
    return {y, source_height - 1 - x};
}

} // namespace veltro
