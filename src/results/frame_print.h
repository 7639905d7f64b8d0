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
struct SeriesPicture {
    std::int16_t position = 0; // 1..6, finishing order
    std::int16_t box = 0;
    std::int16_t frame = 0;
};

// The pictures of a series: the result positions in finishing order whose box has a time of its own
// (finish time, or split time for split photos) and a picture it was assigned at. The no-time codes
// (DNF, DSQ, no rank) have no finishing picture and are left out.
std::vector<SeriesPicture> series_pictures(const ResultArray& sorted, const HeatValues& heat, bool split);

// Pictures side by side on one printed page; a longer series goes on to further pages, each with
// the whole heading and result table, so that every page stands on its own.
inline constexpr std::size_t kPicturesPerPage = 3;
std::vector<std::vector<SeriesPicture>> series_pages(const std::vector<SeriesPicture>& pictures);

// What a printed picture shows of the recorded one: the whole picture, or a crop the size of the
// zoomed view, and the line that says so under it.
struct PrintView {
    PixelRect rect;
    std::string shown;
};
// The whole picture of `width` x `height`.
PrintView whole_picture_view(std::int32_t width, std::int32_t height);
// The part of the picture `view` shows (its zoom and place).
PrintView zoomed_view(const ViewAdjust& view, std::int32_t width, std::int32_t height);
// A crop the size of the zoomed view, centred on the goal line at the height of `nose` (the lane
// band the judge pointed at when giving `box` its time), kept inside the picture.
PrintView nose_view(const ViewAdjust& view, const Goal_line& line, ViewPoint nose, std::int16_t box,
                    std::int32_t width, std::int32_t height);

// The printed picture: the recorded pixels of `rect` (through the operator's enhancement `lut`, when
// given), and over them at most the goal line, one pixel wide in `colour` (none when `line` is empty).
// Captions are printed beside it, never on it.
cDIBSection printed_picture(const cDIBSection& picture, const PixelRect& rect,
                            const std::optional<Goal_line>& line, std::uint32_t colour,
                            const ViewLut* lut = nullptr);

// ", brightness +2, contrast 0, gamma -1" for an enhanced view; "" for the picture as recorded.
std::string enhancement_text(const ViewAdjust& view);

// One picture of a printed page and the lines printed under it.
struct PrintCell {
    cDIBSection picture;
    std::vector<std::string> caption;
};

// The dog line print_BOX_Time writes under a picture. With no name entered: the caption `number`
// + "     Dog:" + box, then the recording's dog name of the box (`recorded_name`); otherwise the
// entered name alone.
std::vector<std::string> box_time_lines(std::int16_t number, std::int16_t box, const std::string& name,
                                        const std::string& recorded_name);

// The texts of a printed frame page, top to bottom apart from the pictures.
struct FramePageTexts {
    std::string header; // "Heat: 3 Final at: ...", then "   Official: <name>, <when>" once declared
    std::string title;  // "Goal photos" / "Split photos"
    std::vector<std::string> table;
    std::string box_delay;
    std::string elapsed;
    std::string file_name;
    std::vector<std::string> footer;
};

// "Event: " and the event's name; "Event: (none)" without one.
std::string event_header(const std::string& event);

struct FramePageFacts {
    std::string heat_id, heat_name, start_date_time;
    std::string official; // who declared the result official and when; empty while it is not
    bool split = false;
    ResultArray sorted{};
    std::int32_t box_delay = 0;
    std::int64_t us_per_length = kDefaultUsPerLength; // the distances in the result table
    std::string elapsed_time;                         // the heat-time label of the picture on show
    std::string recording_path;
    std::string version, printed_at, printer_name;
    std::string web_address; // the club's, printed under the footer when set
};
FramePageTexts frame_page(const FramePageFacts& facts);

} // namespace veltro
