#pragma once

#include "picture/bitmap_text.h"
#include "picture/dib_section.h"
#include "review/goal_line.h"
#include "review/view_adjust.h"
#include "timing/heat_values.h"
#include "timing/lengths.h"
#include "timing/result_ranking.h"

#include <cstdint>
#include <optional>
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

// What a printed picture shows of the recorded one: the whole picture, or a crop the size of the
// zoomed view, and the line that says so under it.
struct Print_view {
    Pixel_rect rect;
    std::string shown;
};
// The whole picture of `width` x `height`.
Print_view Whole_picture_view(std::int32_t width, std::int32_t height);
// The part of the picture `view` shows (its zoom and place).
Print_view Zoomed_view(const View_adjust& view, std::int32_t width, std::int32_t height);
// A crop the size of the zoomed view, centred on the goal line at the height of `nose` (the lane
// band the judge pointed at when giving `box` its time), kept inside the picture.
Print_view Nose_view(const View_adjust& view, const Goal_line& line, View_point nose, std::int16_t box,
                     std::int32_t width, std::int32_t height);

// The printed picture: the recorded pixels of `rect` (through the operator's enhancement `lut`, when
// given), and over them at most the goal line, one pixel wide in `colour` (none when `line` is empty).
// Captions are printed beside it, never on it.
cDIBSection Printed_picture(const cDIBSection& picture, const Pixel_rect& rect,
                            const std::optional<Goal_line>& line, std::uint32_t colour,
                            const View_lut* lut = nullptr);

// ", brightness +2, contrast 0, gamma -1" for an enhanced view; "" for the picture as recorded.
std::string Enhancement_text(const View_adjust& view);

// One picture of a printed page and the lines printed under it.
struct Print_cell {
    cDIBSection picture;
    std::vector<std::string> caption;
};

// The dog line print_BOX_Time writes under a picture. With no name entered: the caption `number`
// + "     Dog:" + box, then the recording's dog name of the box (`recorded_name`); otherwise the
// entered name alone.
std::vector<std::string> Box_time_lines(std::int16_t number, std::int16_t box, const std::string& name,
                                        const std::string& recorded_name);

// The texts of a printed frame page, top to bottom apart from the pictures.
struct Frame_page_texts {
    std::string header; // "Heat: 3 Final at: ...", then "   Official: <name>, <when>" once declared
    std::string title;  // "Goal photos" / "Split photos"
    std::vector<std::string> table;
    std::string box_delay;
    std::string elapsed;
    std::string file_name;
    std::vector<std::string> footer;
};

// "Event: " and the event's name; "Event: (none)" without one.
std::string Event_header(const std::string& event);

struct Frame_page_facts {
    std::string heat_id, heat_name, start_date_time;
    std::string official; // who declared the result official and when; empty while it is not
    bool split = false;
    Result_array sorted{};
    std::int32_t box_delay = 0;
    std::int64_t us_per_length = kDefault_us_per_length; // the distances in the result table
    std::string elapsed_time;                            // the heat-time label of the picture on show
    std::string recording_path;
    std::string version, printed_at, printer_name;
    std::string web_address; // the club's, printed under the footer when set
};
Frame_page_texts Frame_page(const Frame_page_facts& facts);

} // namespace veltro
