#include "app/frame_print.h"

#include "support/app_paths.h"
#include "timing/time_text.h"

#include <algorithm>
#include <filesystem>

namespace veltro {

std::vector<Series_picture> Series_pictures(const Result_array& sorted, const HeatValues& heat, bool split) {
    std::vector<Series_picture> pictures;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const std::int16_t box = sorted[i].box;
        if (box < 1 || box > kTimedBoxes)
            continue;
        const std::int32_t time = heat.Velt_Heat_time(box, split);
        if (time == 0 || time >= no_time::First)
            continue;
        const std::int16_t frame = split ? heat.Velt_split_frame(box) : heat.Velt_heat_frame(box);
        if (frame < 1)
            continue;
        pictures.push_back({static_cast<std::int16_t>(i + 1), box, frame});
    }
    return pictures;
}

std::vector<std::vector<Series_picture>> Series_pages(const std::vector<Series_picture>& pictures) {
    std::vector<std::vector<Series_picture>> pages;
    for (std::size_t i = 0; i < pictures.size(); i += kPicturesPerPage)
        pages.emplace_back(pictures.begin() + static_cast<std::ptrdiff_t>(i),
                           pictures.begin() +
                               static_cast<std::ptrdiff_t>(std::min(pictures.size(), i + kPicturesPerPage)));
    return pages;
}

std::vector<std::string> Box_time_lines(std::int16_t number, std::int16_t box, const std::string& name,
                                        const std::string& recorded_name) {
    if (!name.empty())
        return {name};
    return {std::to_string(number) + "     Dog:" + std::to_string(box), recorded_name};
}

Frame_page_texts Frame_page(const Frame_page_facts& f) {
    Frame_page_texts t;
    t.header = "Heat: " + f.heat_id + " " + f.heat_name + " at: " + f.start_date_time;
    t.title = f.split ? "Split photos" : "Goal photos";
    const Result_distances distances = Distances_in_lengths(f.sorted, f.us_per_length);
    t.table = Printed_result_lines(f.sorted, f.box_delay, &distances);
    t.box_delay = "Box delay = " + std::to_string(f.box_delay) + " ms";
    t.elapsed = "Elapsed time : " + f.elapsed_time;
    t.file_name = "File name: " + std::filesystem::path(f.recording_path).filename().string();
    t.footer = {"Veltro dog race timing system",
                "Printed by " + std::string(kProgramId) + " version " + f.version + " at: " + f.printed_at +
                    " printer: " + f.printer_name,
                kVendorAddress};
    return t;
}

} // namespace veltro
