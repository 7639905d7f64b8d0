#include "app/finish_pictures.h"

#include "app/goal_line.h"
#include "app/review.h"
#include "picture/bitmap_text.h"
#include "recording/picture_period.h"
#include "support/text.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace veltro {
namespace {

void put(cDIBSection& dib, std::int32_t x, std::int32_t y, std::uint32_t bgr) {
    if (x < 0 || y < 0 || x >= dib.Width() || y >= dib.Height())
        return;
    std::uint8_t* p = dib.ScanLine(y) + static_cast<std::size_t>(x) * 3;
    p[0] = static_cast<std::uint8_t>(bgr >> 16);
    p[1] = static_cast<std::uint8_t>(bgr >> 8);
    p[2] = static_cast<std::uint8_t>(bgr);
}

void fill(cDIBSection& dib, const Pixel_rect& r, std::uint32_t bgr) {
    for (std::int32_t y = r.top; y < r.bottom; ++y)
        for (std::int32_t x = r.left; x < r.right; ++x)
            put(dib, x, y, bgr);
}

// The line two pixels wide, as thick as the review draws it at full size.
void draw_line(cDIBSection& dib, const Goal_line& l, std::uint32_t bgr) {
    const std::int32_t steps = std::max({std::abs(l.x2 - l.x1), std::abs(l.y2 - l.y1), 1});
    for (std::int32_t i = 0; i <= steps; ++i) {
        const auto x = static_cast<std::int32_t>(std::lround(l.x1 + double(l.x2 - l.x1) * i / steps));
        const auto y = static_cast<std::int32_t>(std::lround(l.y1 + double(l.y2 - l.y1) * i / steps));
        fill(dib, {x, y, x + 2, y + 1}, bgr);
    }
}

// The band at the foot: the box's tile at the left, the caption beside it in white capitals (the
// picture font has no small letters).
void draw_caption(cDIBSection& dib, const Published_row& row) {
    const std::int32_t band = std::clamp(dib.Height() / 8, 24, 96);
    const std::int32_t top = dib.Height() - band;
    fill(dib, {0, top, dib.Width(), dib.Height()}, 0x202020);
    std::int32_t left = band / 8;
    if (const auto tile = Box_tile_colours(row.box)) {
        fill(dib, {left, top + band / 8, left + band * 3 / 4, dib.Height() - band / 8},
             tile->background.bgr());
        Draw_Text_Lines(dib, {left + band / 6, top + band / 4, left + band * 3 / 4, dib.Height()},
                        {std::to_string(row.box)}, static_cast<std::int32_t>(tile->number.bgr()), band / 2);
        left += band;
    }
    // Each line as large as its length lets it be: the font is 5x7 in a 6-pixel advance, its
    // letters three quarters of the line high.
    std::int32_t y = top + band / 8;
    for (const std::string& text : Finish_caption(row)) {
        const std::string line = to_upper_ascii(text);
        const auto fits =
            (dib.Width() - left) / (6 * std::max<std::int32_t>(1, static_cast<std::int32_t>(line.size())));
        const std::int32_t scale = std::max(1, std::min<std::int32_t>(band * 3 / 8 * 3 / 4 / 7, fits));
        const std::int32_t line_height = scale * 28 / 3 + 1;
        Draw_Text_Lines(dib, {left, y, dib.Width(), dib.Height()}, {line}, 0xFFFFFF, line_height);
        y += line_height;
    }
}

} // namespace

std::vector<std::string> Finish_caption(const Published_row& row) {
    std::string first = row.finish;
    if (row.rank)
        first += "  Rank " + std::to_string(*row.rank) + (row.dead_heat ? " DH" : "");
    return {first, row.dog_name};
}

std::vector<Finish_picture> Finish_pictures(cls_VideoFile_handler& rec, const Published_heat& heat) {
    std::vector<Finish_picture> out;
    const bool field_mode = Recording_picture_period(rec).field_mode;
    rec.Deinterlaced(!field_mode);
    const std::int32_t last = field_mode ? rec.Num_fields() : rec.num_Frames();
    // The line the review draws: the recording's, else the one a reset puts in the picture.
    std::optional<Goal_line> stored;
    try {
        stored = Parse_goal_line(rec.Velt_Goal_Finish());
    } catch (const VeltroError&) {
        stored.reset();
    }
    for (const Published_row& row : heat.rows) {
        if (!row.finish_ms)
            continue;
        Finish_picture p;
        p.row = &row;
        const char* unit = field_mode ? "field " : "frame ";
        if (row.finish_frame < 1) {
            p.problem = "its time was not given on a picture";
            out.push_back(std::move(p));
            continue;
        }
        if (row.finish_frame > last) {
            p.problem = unit + std::to_string(row.finish_frame) + " is not in the recording";
            out.push_back(std::move(p));
            continue;
        }
        if (field_mode)
            rec.Draw_RGB_Field(row.finish_frame);
        else
            rec.Draw_RGB_frame(row.finish_frame);
        if (rec.RGB_samplesize_error() || rec.Frame_corrupted() || rec.Picture().Empty()) {
            p.problem = unit + std::to_string(row.finish_frame) + " cannot be read";
            out.push_back(std::move(p));
            continue;
        }
        p.picture = rec.Picture();
        draw_line(p.picture, stored ? *stored : Reset_Goal_Line(p.picture.Width(), p.picture.Height()),
                  Display_Goal_times().colour);
        draw_caption(p.picture, row);
        out.push_back(std::move(p));
    }
    return out;
}

cDIBSection Scaled_down(const cDIBSection& picture, std::int32_t max_width, std::int32_t max_height) {
    const std::int32_t w = picture.Width();
    const std::int32_t h = picture.Height();
    if (w <= max_width && h <= max_height)
        return picture;
    const double scale = std::min(double(max_width) / w, double(max_height) / h);
    const std::int32_t tw = std::max(1, static_cast<std::int32_t>(w * scale));
    const std::int32_t th = std::max(1, static_cast<std::int32_t>(h * scale));
    cDIBSection out;
    out.Create(tw, th);
    for (std::int32_t ty = 0; ty < th; ++ty) {
        const std::int32_t y0 = ty * h / th;
        const std::int32_t y1 = std::max(y0 + 1, (ty + 1) * h / th);
        std::uint8_t* dst = out.ScanLine(ty);
        for (std::int32_t tx = 0; tx < tw; ++tx) {
            const std::int32_t x0 = tx * w / tw;
            const std::int32_t x1 = std::max(x0 + 1, (tx + 1) * w / tw);
            std::uint32_t sum[3] = {0, 0, 0};
            for (std::int32_t y = y0; y < y1; ++y) {
                const std::uint8_t* src = picture.ScanLine(y);
                for (std::int32_t x = x0; x < x1; ++x)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += src[x * 3 + c];
            }
            const auto n = static_cast<std::uint32_t>((y1 - y0) * (x1 - x0));
            for (int c = 0; c < 3; ++c)
                dst[tx * 3 + c] = static_cast<std::uint8_t>((sum[c] + n / 2) / n);
        }
    }
    return out;
}

} // namespace veltro
