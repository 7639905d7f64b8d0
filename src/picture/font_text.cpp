#include "picture/font_text.h"

#include "support/text.h"

#include <algorithm>
#include <filesystem>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <map>
#include <mutex>

namespace veltro {
namespace {

constexpr const char* kFamily = "DejaVu Sans";
constexpr const char* kDebianPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::string fontconfig_match() {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config)
        return {};
    std::string found;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kFamily));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
        FcChar8* family = nullptr;
        FcChar8* file = nullptr;
        // fontconfig always answers with some font; only the family asked for is the one meant.
        if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
            FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
            std::string(reinterpret_cast<const char*>(family)) == kFamily)
            found = reinterpret_cast<const char*>(file);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    return found;
}

// FreeType's library and faces are not safe to share between threads (the finish strip is drawn on
// a worker): every use holds this lock.
std::mutex font_mutex;

FT_Face face_of(const std::string& path) {
    static FT_Library library = nullptr;
    static std::map<std::string, FT_Face> faces;
    if (!library && FT_Init_FreeType(&library) != 0)
        return nullptr;
    const auto known = faces.find(path);
    if (known != faces.end())
        return known->second;
    FT_Face face = nullptr;
    if (FT_New_Face(library, path.c_str(), 0, &face) != 0)
        face = nullptr;
    faces[path] = face; // a font that cannot be read is not tried again
    return face;
}

// Code points of a UTF-8 text; a byte that starts no valid sequence stands for itself (Latin-1).
std::vector<char32_t> code_points(const std::string& text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : 0;
        char32_t cp = extra == 0 ? b : b & (0x3F >> extra);
        bool valid = b < 0x80 || extra > 0;
        for (int k = 1; valid && k <= extra; ++k) {
            const auto c = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
            valid = (c & 0xC0) == 0x80;
            cp = cp << 6 | (c & 0x3F);
        }
        out.push_back(valid ? cp : b);
        i += valid ? static_cast<std::size_t>(extra) + 1 : 1;
    }
    return out;
}

// Letters of a line: the em is three quarters of it, as the 5x7 font's letters are.
FT_Face sized_face(const std::string& path, std::int32_t line_height) {
    FT_Face face = path.empty() ? nullptr : face_of(path);
    if (face && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(std::max(1, line_height * 3 / 4))) != 0)
        return nullptr;
    return face;
}

void blend(std::uint8_t* p, const std::uint8_t bgr[3], unsigned alpha) {
    for (int c = 0; c < 3; ++c)
        p[c] = static_cast<std::uint8_t>((p[c] * (255 - alpha) + bgr[c] * alpha + 127) / 255);
}

// Glyphs hinted only up and down, placed at their unrounded advances: a long name keeps the width
// the font gives it instead of growing by a rounded pixel per letter.
constexpr FT_Int32 kLoadFlags = FT_LOAD_TARGET_LIGHT;

// The unhinted advance of the glyph just loaded, in 1/64 pixel.
FT_Pos advance_of(FT_GlyphSlot g) {
    return (g->linearHoriAdvance + 512) >> 10;
}

void draw_line(cDIBSection& dib, FT_Face face, const PixelRect& clip, std::int32_t left,
               std::int32_t baseline, const std::string& line, const std::uint8_t bgr[3]) {
    FT_Pos pen = static_cast<FT_Pos>(left) * 64;
    for (const char32_t cp : code_points(line)) {
        if ((pen >> 6) >= clip.right)
            break;
        if (FT_Load_Char(face, cp, kLoadFlags | FT_LOAD_RENDER) != 0)
            continue;
        const FT_GlyphSlot g = face->glyph;
        const auto origin = static_cast<std::int32_t>((pen + 32) >> 6);
        for (unsigned row = 0; row < g->bitmap.rows; ++row) {
            const std::int32_t y = baseline - g->bitmap_top + static_cast<std::int32_t>(row);
            if (y < clip.top || y >= clip.bottom)
                continue;
            const unsigned char* src = g->bitmap.buffer + static_cast<std::ptrdiff_t>(row) * g->bitmap.pitch;
            for (unsigned col = 0; col < g->bitmap.width; ++col) {
                const std::int32_t x = origin + g->bitmap_left + static_cast<std::int32_t>(col);
                if (x >= clip.left && x < clip.right && src[col] != 0)
                    blend(dib.scan_line(y) + 3 * x, bgr, src[col]);
            }
        }
        pen += advance_of(g);
    }
}

std::vector<std::string> in_capitals(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines)
        out.push_back(to_upper_ascii(line));
    return out;
}

} // namespace

const std::string& picture_font_path() {
    static const std::string path = [] {
        std::string found = fontconfig_match();
        std::error_code ec;
        if (found.empty() && std::filesystem::is_regular_file(kDebianPath, ec))
            found = kDebianPath;
        return found;
    }();
    return path;
}

void draw_text(cDIBSection& dib, const PixelRect& rect, const std::vector<std::string>& lines,
               std::int32_t colour, std::int32_t line_height, const std::string& font_path) {
    if (dib.empty() || line_height <= 0)
        return;
    std::lock_guard lock(font_mutex);
    FT_Face face = sized_face(font_path, line_height);
    if (!face) {
        // The 5x7 font has few small letters.
        draw_text_lines(dib, rect, in_capitals(lines), colour, line_height);
        return;
    }
    const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(colour >> 16 & 0xFF),
                                 static_cast<std::uint8_t>(colour >> 8 & 0xFF),
                                 static_cast<std::uint8_t>(colour & 0xFF)};
    const PixelRect clip{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, dib.Width()),
                         std::min(rect.bottom, dib.Height())};
    // Capitals centred in the line, as the 5x7 font's are; accents above them stay inside it.
    const auto cap = static_cast<std::int32_t>(face->size->metrics.ascender >> 6) * 3 / 4;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const std::int32_t top = rect.top + static_cast<std::int32_t>(l) * line_height;
        if (top >= clip.bottom)
            break;
        draw_line(dib, face, clip, rect.left, top + (line_height + cap) / 2, lines[l], bgr);
    }
}

void draw_text(cDIBSection& dib, const PixelRect& rect, const std::vector<std::string>& lines,
               std::int32_t colour, std::int32_t line_height) {
    draw_text(dib, rect, lines, colour, line_height, picture_font_path());
}

std::int32_t text_width(const std::string& line, std::int32_t line_height, const std::string& font_path) {
    std::lock_guard lock(font_mutex);
    FT_Face face = sized_face(font_path, line_height);
    if (!face)
        return static_cast<std::int32_t>(line.size()) * 6 * std::max(1, line_height * 3 / 4 / 7);
    FT_Pos width = 0;
    for (const char32_t cp : code_points(line))
        if (FT_Load_Char(face, cp, kLoadFlags) == 0)
            width += advance_of(face->glyph);
    return static_cast<std::int32_t>((width + 63) >> 6);
}

} // namespace veltro
