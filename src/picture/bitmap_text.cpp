#include "picture/bitmap_text.h"

#include <algorithm>
#include <array>

namespace veltro {

namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6; // one blank column between characters

struct Glyph {
    char c;
    std::array<const char*, kGlyphHeight> rows;
};

// The characters of the texts the program stamps into pictures.
constexpr Glyph kGlyphs[] = {
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'d', {"....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####"}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'f', {"..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#..."}},
    {'h', {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."}},
    {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#...#", "#...#"}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
    {'p', {".....", ".....", "####.", "#...#", "####.", "#....", "#...."}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {'s', {".....", ".....", ".####", "#....", ".###.", "....#", "####."}},
    {'t', {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##."}},
    {'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
    {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'!', {"..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#.."}},
    // Digits and the signs of time texts, for time scales.
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {',', {".....", ".....", ".....", ".....", ".##..", "..#..", ".#..."}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
};

const Glyph* glyph_of(char c) {
    for (const Glyph& g : kGlyphs) {
        if (g.c == c) {
            return &g;
        }
    }
    return nullptr;
}

} // namespace

void Draw_Text_Lines(cDIBSection& dib, const Pixel_rect& rect, const std::vector<std::string>& lines,
                     std::int32_t colour, std::int32_t line_height) {
    if (dib.Empty() || line_height <= 0) {
        return;
    }
    const auto red = static_cast<std::uint8_t>(colour & 0xFF);
    const auto green = static_cast<std::uint8_t>((colour >> 8) & 0xFF);
    const auto blue = static_cast<std::uint8_t>((colour >> 16) & 0xFF);
    // Letters take about three quarters of the line, as in a 64-pixel proportional font.
    const std::int32_t scale = std::max<std::int32_t>(1, line_height * 3 / 4 / kGlyphHeight);
    const std::int32_t left = std::max<std::int32_t>(rect.left, 0);
    const std::int32_t top = std::max<std::int32_t>(rect.top, 0);
    const std::int32_t right = std::min(rect.right, dib.Width());
    const std::int32_t bottom = std::min(rect.bottom, dib.Height());

    auto plot_block = [&](std::int32_t x0, std::int32_t y0) {
        for (std::int32_t y = std::max(y0, top); y < std::min(y0 + scale, bottom); ++y) {
            std::uint8_t* row = dib.ScanLine(y);
            for (std::int32_t x = std::max(x0, left); x < std::min(x0 + scale, right); ++x) {
                row[3 * x] = blue;
                row[3 * x + 1] = green;
                row[3 * x + 2] = red;
            }
        }
    };

    for (std::size_t l = 0; l < lines.size(); ++l) {
        const std::int64_t line_top = rect.top + static_cast<std::int64_t>(l) * line_height;
        if (line_top >= bottom) {
            break;
        }
        // Glyphs sit on the line's baseline, a little below its middle.
        const auto glyph_top = static_cast<std::int32_t>(line_top + (line_height - kGlyphHeight * scale) / 2);
        std::int64_t x = rect.left;
        for (const char c : lines[l]) {
            if (x >= right) {
                break;
            }
            if (const Glyph* g = glyph_of(c)) {
                for (int gy = 0; gy < kGlyphHeight; ++gy) {
                    for (int gx = 0; gx < kGlyphWidth; ++gx) {
                        if (g->rows[gy][gx] == '#') {
                            plot_block(static_cast<std::int32_t>(x + gx * scale), glyph_top + gy * scale);
                        }
                    }
                }
            }
            x += kGlyphAdvance * scale;
        }
    }
}

} // namespace veltro
