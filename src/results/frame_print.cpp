#include "results/frame_print.h"

#include "review/finish_pictures.h"
#include "support/app_paths.h"
#include "support/veltro_error.h"
#include "timing/time_text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace veltro {

std::vector<SeriesPicture> series_pictures(const ResultArray& sorted, const HeatValues& heat, bool split) {
    std::vector<SeriesPicture> pictures;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const std::int16_t box = sorted[i].box;
        if (box < 1 || box > kTimedBoxes)
            continue;
        const std::int32_t time = heat.Velt_Heat_time(box, split);
        if (time == 0 || time >= no_time::kFirst)
            continue;
        const std::int16_t frame = split ? heat.Velt_split_frame(box) : heat.Velt_heat_frame(box);
        if (frame < 1)
            continue;
        pictures.push_back({static_cast<std::int16_t>(i + 1), box, frame});
    }
    return pictures;
}

std::vector<std::vector<SeriesPicture>> series_pages(const std::vector<SeriesPicture>& pictures) {
    std::vector<std::vector<SeriesPicture>> pages;
    for (std::size_t i = 0; i < pictures.size(); i += kPicturesPerPage)
        pages.emplace_back(pictures.begin() + static_cast<std::ptrdiff_t>(i),
                           pictures.begin() +
                               static_cast<std::ptrdiff_t>(std::min(pictures.size(), i + kPicturesPerPage)));
    return pages;
}

namespace {

std::string rect_text(const PixelRect& r) {
    return "x " + std::to_string(r.left) + "-" + std::to_string(r.right - 1) + ", y " +
           std::to_string(r.top) + "-" + std::to_string(r.bottom - 1);
}

std::string zoom_text(double zoom) {
    std::string text = std::to_string(zoom);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text + "x";
}

// A `w` x `h` rectangle centred on (cx, cy) as far as the picture lets it be.
PixelRect centred_rect(double cx, double cy, std::int32_t w, std::int32_t h, std::int32_t width,
                       std::int32_t height) {
    w = std::clamp(w, 1, width);
    h = std::clamp(h, 1, height);
    const auto left = std::clamp(static_cast<std::int32_t>(std::lround(cx - w / 2.0)), 0, width - w);
    const auto top = std::clamp(static_cast<std::int32_t>(std::lround(cy - h / 2.0)), 0, height - h);
    return {left, top, left + w, top + h};
}

} // namespace

PrintView whole_picture_view(std::int32_t width, std::int32_t height) {
    return {{0, 0, width, height}, "Whole picture"};
}

PrintView zoomed_view(const ViewAdjust& view, std::int32_t width, std::int32_t height) {
    if (!view.zoomed())
        return whole_picture_view(width, height);
    const auto w = static_cast<std::int32_t>(std::lround(width / view.zoom()));
    const auto h = static_cast<std::int32_t>(std::lround(height / view.zoom()));
    PrintView v;
    v.rect = centred_rect(view.origin().x + w / 2.0, view.origin().y + h / 2.0, w, h, width, height);
    v.shown = "Zoomed " + zoom_text(view.zoom()) + ": " + rect_text(v.rect);
    return v;
}

PrintView nose_view(const ViewAdjust& view, const Goal_line& line, ViewPoint nose, std::int16_t box,
                    std::int32_t width, std::int32_t height) {
    const double x = line.y1 == line.y2
                         ? (line.x1 + line.x2) / 2.0
                         : line.x1 + double(line.x2 - line.x1) * (nose.y - line.y1) / (line.y2 - line.y1);
    PrintView v;
    v.rect = centred_rect(x, nose.y, static_cast<std::int32_t>(std::lround(width / view.zoom())),
                          static_cast<std::int32_t>(std::lround(height / view.zoom())), width, height);
    v.shown = "Box " + std::to_string(box) + " at the line, zoomed " + zoom_text(view.zoom()) + ": " +
              rect_text(v.rect);
    return v;
}

cDIBSection printed_picture(const cDIBSection& picture, const PixelRect& rect,
                            const std::optional<Goal_line>& line, std::uint32_t colour, const ViewLut* lut) {
    const std::int32_t w = rect.right - rect.left;
    const std::int32_t h = rect.bottom - rect.top;
    cDIBSection out;
    if (rect.left < 0 || rect.top < 0 || rect.right > picture.Width() || rect.bottom > picture.Height() ||
        !out.Create(w, h))
        throw VeltroError(err::kSubscriptOutOfRange, "The printed part lies outside the picture");
    for (std::int32_t y = 0; y < h; ++y)
        std::copy_n(picture.scan_line(rect.top + y) + static_cast<std::size_t>(rect.left) * 3,
                    static_cast<std::size_t>(w) * 3, out.scan_line(y));
    if (lut)
        apply_view_lut(*lut, out.scan_line(h - 1), static_cast<std::size_t>(w) * 3,
                       static_cast<std::size_t>(h), static_cast<std::size_t>(out.BytesPerScanLine()));
    if (line)
        draw_thin_line(out,
                       {line->x1 - rect.left, line->y1 - rect.top, line->x2 - rect.left, line->y2 - rect.top},
                       colour);
    return out;
}

std::string enhancement_text(const ViewAdjust& view) {
    if (!view.enhanced())
        return {};
    const auto step = [](int value) { return (value > 0 ? "+" : "") + std::to_string(value); };
    return ", brightness " + step(view.brightness()) + ", contrast " + step(view.contrast()) + ", gamma " +
           step(view.gamma());
}

std::vector<std::string> box_time_lines(std::int16_t number, std::int16_t box, const std::string& name,
                                        const std::string& recorded_name) {
    if (!name.empty())
        return {name};
    return {std::to_string(number) + "     Dog:" + std::to_string(box), recorded_name};
}

std::string event_header(const std::string& event) {
    return "Event: " + (event.empty() ? std::string("(none)") : event);
}

FramePageTexts frame_page(const FramePageFacts& f) {
    FramePageTexts t;
    t.header = "Heat: " + f.heat_id + " " + f.heat_name + " at: " + f.start_date_time;
    if (!f.official.empty())
        t.header += "   Official: " + f.official;
    t.title = f.split ? "Split photos" : "Goal photos";
    const ResultDistances distances = distances_in_lengths(f.sorted, f.us_per_length);
    t.table = printed_result_lines(f.sorted, f.box_delay, &distances);
    t.box_delay = "Box delay = " + std::to_string(f.box_delay) + " ms";
    t.elapsed = "Elapsed time : " + f.elapsed_time;
    t.file_name = "File name: " + std::filesystem::path(f.recording_path).filename().string();
    t.footer = {"Veltro dog race timing system", "Printed by " + std::string(kProgramId) + " version " +
                                                     f.version + " at: " + f.printed_at +
                                                     " printer: " + f.printer_name};
    if (!f.web_address.empty())
        t.footer.push_back(f.web_address);
    return t;
}

} // namespace veltro
