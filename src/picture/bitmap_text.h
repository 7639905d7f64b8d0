#pragma once

#include "picture/dib_section.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// A rectangle of picture pixels, counted from the top-left corner; right and bottom are outside.
struct PixelRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// Writes `lines` into `dib` from the top-left of `rect`, one line every `line_height` pixels, in the
// program's own 5x7 pixel font scaled to fit that height, in `colour` (&HBBGGRR). Pixels outside the
// rectangle or the picture are left alone, so a small picture shows what fits of the text. Messages
// are stamped into pictures this way so that everything made from a picture (export, print) carries
// them, without a windowing system in the core. Characters the font lacks leave a blank.
void draw_text_lines(cDIBSection& dib, const PixelRect& rect, const std::vector<std::string>& lines,
                     std::int32_t colour, std::int32_t line_height);

} // namespace veltro
