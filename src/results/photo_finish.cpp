#include "results/photo_finish.h"

#include "picture/font_text.h"
#include "recording/finish_estimator.h"
#include "recording/video_file_handler.h"
#include "review/goal_line.h"
#include "review/review.h"
#include "support/numbers.h"
#include "support/value_or.h"
#include "support/veltro_error.h"
#include "timing/heat_timing.h"
#include "timing/result_ranking.h"

#include <algorithm>

namespace veltro {
namespace {

void fill(cDIBSection& dib, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
          std::uint32_t bgr) {
    for (std::int32_t y = std::max(top, 0); y < std::min(bottom, dib.Height()); ++y)
        for (std::int32_t x = std::max(left, 0); x < std::min(right, dib.Width()); ++x) {
            std::uint8_t* p = dib.scan_line(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(bgr >> 16);
            p[1] = static_cast<std::uint8_t>(bgr >> 8);
            p[2] = static_cast<std::uint8_t>(bgr);
        }
}

} // namespace

PhotoFinish photo_finish_of(const FinishStrip& strip, const PublishedHeat& heat) {
    const cDIBSection& s = strip.image;
    PhotoFinish out;
    if (!out.image.Create(s.Width(), s.Height() + kPhotoFinishBandHeight))
        throw VeltroError(err::kOverflow, "The photo finish is too large to draw");
    for (std::int32_t y = 0; y < s.Height(); ++y)
        std::copy_n(s.scan_line(y), static_cast<std::size_t>(s.Width()) * 3, out.image.scan_line(y));
    const std::int32_t top = s.Height();
    fill(out.image, 0, top, out.image.Width(), out.image.Height(), 0xFFFFFF);
    // Labels of dogs close together take turns between two rows, so that neither hides the other.
    const std::int32_t label_height = kPhotoFinishBandHeight * 2 / 5;
    std::int32_t free_from[2] = {0, 0};
    for (const PublishedRow& row : heat.rows) {
        if (!row.finish_ms || row.finish_frame < 1 || row.finish_frame > strip.pictures())
            continue;
        const std::int32_t x = strip.column_of(row.finish_frame) + strip.column_width / 2;
        const auto tile = box_tile_colours(row.box);
        const std::uint32_t colour = tile ? tile->background.bgr() : 0x000000;
        const std::string label = std::to_string(row.box) + "  " + row.finish;
        const std::int32_t width = text_width(label, label_height, picture_font_path()) + label_height;
        const int lane = free_from[0] <= x ? 0 : 1;
        const std::int32_t label_top = top + kPhotoFinishBandHeight / 5 + lane * label_height;
        const std::int32_t left = std::clamp(x - label_height / 2, 0, std::max(0, out.image.Width() - width));
        fill(out.image, left, label_top, left + label_height, label_top + label_height, colour);
        // The tick from the scale down to its label; a white box's tick in black, to be seen on paper.
        fill(out.image, x - 1, top, x + 1, label_top, colour == 0xFFFFFF ? 0x000000 : colour);
        draw_text(out.image,
                  {left + label_height / 4, label_top, left + label_height, label_top + label_height},
                  {std::to_string(row.box)}, tile ? static_cast<std::int32_t>(tile->number.bgr()) : 0xFFFFFF,
                  label_height);
        draw_text(out.image, {left + label_height + 2, label_top, left + width, label_top + label_height},
                  {row.finish}, 0x000000, label_height);
        free_from[lane] = left + width + 4;
        out.ticks.push_back({row.box, x});
    }
    return out;
}

FinishStripOptions recorded_strip_options(cls_VideoFile_handler& rec, bool split) {
    FinishStripOptions options;
    options.goal_compensation = value_or([&] { return parse_long(rec.Velt_Goal_compensation()); },
                                         TimingSettings{}.goal_compensation);
    const std::string text =
        value_or([&] { return split ? rec.Velt_Goal_Split() : rec.Velt_Goal_Finish(); }, "");
    const auto stored = value_or([&] { return parse_goal_line(text); }, std::nullopt);
    const std::int32_t width = rec.rotated() ? rec.Height() : rec.Width();
    const std::int32_t height = rec.rotated() ? rec.Width() : rec.Height();
    const Goal_line line = stored ? *stored : Reset_Goal_Line(width, height);
    options.line = {line.x1, line.y1, line.x2, line.y2};
    options.line_colour = split ? Display_Split_times().colour : Display_Goal_times().colour;
    return options;
}

BoxEstimates recorded_estimates(cls_VideoFile_handler& rec, const std::string& path) {
    try {
        const FinishStripOptions options = recorded_strip_options(rec, false);
        FinishEstimator estimator(path, options.goal_compensation);
        return estimator.estimate(estimate_positions(rec), options.line);
    } catch (const VeltroError&) {
        return {};
    }
}

} // namespace veltro
