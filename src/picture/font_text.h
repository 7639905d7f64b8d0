#pragma once

#include "picture/bitmap_text.h"
#include "picture/dib_section.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// The system's DejaVu Sans, found through fontconfig (or at Debian's fixed path when fontconfig finds
// another family); empty when there is none. Looked up once.
const std::string& picture_font_path();

// Writes `lines` (UTF-8) into `dib` as draw_text_lines does, one line every `line_height` pixels from
// the top-left of `rect`, capitals about half the line high, anti-aliased over the picture in `colour`
// (&HBBGGRR), in the real font at `font_path` so that names print as typed ("Señorita", "Zoë"). With
// an empty path, or a font that cannot be read, the 5x7 font draws them instead. Pixels outside the
// rectangle or the picture are left alone.
void draw_text(cDIBSection& dib, const PixelRect& rect, const std::vector<std::string>& lines,
               std::int32_t colour, std::int32_t line_height, const std::string& font_path);
// The same in the system's font (picture_font_path).
void draw_text(cDIBSection& dib, const PixelRect& rect, const std::vector<std::string>& lines,
               std::int32_t colour, std::int32_t line_height);

// How wide `line` is drawn at `line_height` in the font at `font_path` (the 5x7 font when empty).
std::int32_t text_width(const std::string& line, std::int32_t line_height, const std::string& font_path);

} // namespace veltro
