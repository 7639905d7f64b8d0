#include "review/finish_pictures.h"

#include "picture/font_text.h"
#include "recording/picture_period.h"
#include "review/goal_line.h"
#include "review/review.h"
#include "support/settings.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace veltro {
namespace {

void put(cDIBSection& dib, std::int32_t x, std::int32_t y, std::uint32_t bgr) {
    if (x < 0 || y < 0 || x >= dib.Width() || y >= dib.Height())
        return;
    std::uint8_t* p = dib.scan_line(y) + static_cast<std::size_t>(x) * 3;
    p[0] = static_cast<std::uint8_t>(bgr >> 16);
    p[1] = static_cast<std::uint8_t>(bgr >> 8);
    p[2] = static_cast<std::uint8_t>(bgr);
}

void fill(cDIBSection& dib, const PixelRect& r, std::uint32_t bgr) {
    for (std::int32_t y = r.top; y < r.bottom; ++y)
        for (std::int32_t x = r.left; x < r.right; ++x)
            put(dib, x, y, bgr);
}

// The band below the picture: the box's tile at the left, the caption beside it in white, each line
// as large as its length lets it be.
void draw_caption(cDIBSection& dib, std::int32_t top, const std::vector<std::string>& lines,
                  std::int16_t box) {
    const std::int32_t band = dib.Height() - top;
    std::int32_t left = band / 8;
    if (const auto tile = box_tile_colours(box)) {
        fill(dib, {left, top + band / 8, left + band * 3 / 4, dib.Height() - band / 8},
             tile->background.bgr());
        draw_text(dib, {left + band / 6, top + band / 4, left + band * 3 / 4, dib.Height()},
                  {std::to_string(box)}, static_cast<std::int32_t>(tile->number.bgr()), band / 2);
        left += band;
    }
    const std::int32_t room = dib.Width() - left - band / 8;
    std::int32_t y = top + band / 16;
    for (const std::string& line : lines) {
        std::int32_t height =
            band * 7 / 8 / std::max<std::int32_t>(1, static_cast<std::int32_t>(lines.size()));
        while (height > 8 && text_width(line, height, picture_font_path()) > room)
            --height;
        draw_text(dib, {left, y, dib.Width(), dib.Height()}, {line}, 0xFFFFFF, height);
        y += height;
    }
}

} // namespace

std::vector<std::string> finish_caption(const PublishedRow& row) {
    std::string first = row.finish;
    if (row.rank)
        first += "  Rank " + std::to_string(*row.rank) + (row.dead_heat ? " DH" : "");
    return {first, row.dog_name};
}

void draw_thin_line(cDIBSection& dib, const Goal_line& l, std::uint32_t bgr) {
    const std::int32_t steps = std::max({std::abs(l.x2 - l.x1), std::abs(l.y2 - l.y1), 1});
    for (std::int32_t i = 0; i <= steps; ++i)
        put(dib, static_cast<std::int32_t>(std::lround(l.x1 + double(l.x2 - l.x1) * i / steps)),
            static_cast<std::int32_t>(std::lround(l.y1 + double(l.y2 - l.y1) * i / steps)), bgr);
}

bool goal_line_on_prints() {
    return Read_Setting(keys::print_goal_line) != "0";
}

cDIBSection captioned(const FinishPicture& p) {
    const cDIBSection& picture = p.picture;
    const std::int32_t band = std::clamp(picture.Height() / 6, 36, 144);
    cDIBSection out;
    if (!out.Create(picture.Width(), picture.Height() + band))
        throw VeltroError(err::kOverflow, "The finish picture is too large for its caption");
    for (std::int32_t y = 0; y < picture.Height(); ++y)
        std::copy_n(picture.scan_line(y), static_cast<std::size_t>(picture.Width()) * 3, out.scan_line(y));
    fill(out, {0, picture.Height(), out.Width(), out.Height()}, 0x202020);
    std::vector<std::string> lines = p.row ? finish_caption(*p.row) : std::vector<std::string>{};
    lines.push_back(std::string(p.field ? "Field " : "Frame ") + std::to_string(p.picture_number) +
                    ", whole picture");
    draw_caption(out, picture.Height(), lines, p.row ? p.row->box : std::int16_t{0});
    return out;
}

std::vector<FinishPicture> finish_pictures(cls_VideoFile_handler& rec, const PublishedHeat& heat,
                                           bool goal_line) {
    std::vector<FinishPicture> out;
    const bool field_mode = recording_picture_period(rec).field_mode;
    rec.deinterlaced(!field_mode);
    const std::int32_t last = field_mode ? rec.Num_fields() : rec.num_Frames();
    // The line the review draws: the recording's, else the one a reset puts in the picture.
    std::optional<Goal_line> stored;
    try {
        stored = parse_goal_line(rec.Velt_Goal_Finish());
    } catch (const VeltroError&) {
        stored.reset();
    }
    for (const PublishedRow& row : heat.rows) {
        if (!row.finish_ms)
            continue;
        FinishPicture p;
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
        if (rec.RGB_samplesize_error() || rec.frame_corrupted() || rec.picture().empty()) {
            p.problem = unit + std::to_string(row.finish_frame) + " cannot be read";
            out.push_back(std::move(p));
            continue;
        }
        p.picture = rec.picture();
        p.picture_number = row.finish_frame;
        p.field = field_mode;
        if (goal_line)
            draw_thin_line(p.picture,
                           stored ? *stored : Reset_Goal_Line(p.picture.Width(), p.picture.Height()),
                           Display_Goal_times().colour);
        out.push_back(std::move(p));
    }
    return out;
}

} // namespace veltro
