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

// The source turned a quarter clockwise: target width = source height, target height = source width.
bool Rotate90(const cDIBSection& source, cDIBSection& target);

} // namespace veltro
