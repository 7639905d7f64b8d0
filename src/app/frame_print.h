#pragma once

#include "timing/heat_values.h"
#include "timing/lengths.h"
#include "timing/result_ranking.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// One picture of a goal (or split) photo series: the box at a result position and the picture at
// which its time was assigned.
struct Series_picture {
    std::int16_t position = 0; // 1..6, finishing order
    std::int16_t box = 0;
    std::int16_t frame = 0;
};

// The pictures of a series: the result positions in finishing order whose box has a time of its own
// (finish time, or split time for split photos) and a picture it was assigned at. The no-time codes
// (DNF, DSQ, no rank) have no finishing picture and are left out.
std::vector<Series_picture> Series_pictures(const Result_array& sorted, const HeatValues& heat, bool split);

// Pictures side by side on one printed page; a longer series goes on to further pages, each with
// the whole heading and result table, so that every page stands on its own.
inline constexpr std::size_t kPicturesPerPage = 3;
std::vector<std::vector<Series_picture>> Series_pages(const std::vector<Series_picture>& pictures);

// The dog line print_BOX_Time writes onto a picture. With no name entered: the caption `number`
// + "     Dog:" + box, then the recording's dog name of the box (`recorded_name`); otherwise the
// entered name alone.
std::vector<std::string> Box_time_lines(std::int16_t number, std::int16_t box, const std::string& name,
                                        const std::string& recorded_name);

// The texts of a printed frame page, top to bottom apart from the pictures.
struct Frame_page_texts {
    std::string header; // "Heat: 3 Final at: ..."
    std::string title;  // "Goal photos" / "Split photos"
    std::vector<std::string> table;
    std::string box_delay;
    std::string elapsed;
    std::string file_name;
    std::vector<std::string> footer;
};

struct Frame_page_facts {
    std::string heat_id, heat_name, start_date_time;
    bool split = false;
    Result_array sorted{};
    std::int32_t box_delay = 0;
    std::int64_t us_per_length = kDefault_us_per_length; // the distances in the result table
    std::string elapsed_time;                            // the heat-time label of the picture on show
    std::string recording_path;
    std::string version, printed_at, printer_name;
};
Frame_page_texts Frame_page(const Frame_page_facts& facts);

// Where the vendor's pages are, printed under the footer.
inline constexpr const char* kVendorAddress = "www.veltro-timing.example";

} // namespace veltro
