#pragma once

#include "timing/published_results.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// A finish picture for the event page, at its recorded size: JPEG bytes and what it shows (the
// caption goes under the picture, never on it).
struct EventThumbnail {
    std::string caption; // "Box 3 Fast Lady 26,41"
    std::string jpeg;    // empty when the picture could not be read
    std::int32_t width = 0, height = 0;
    std::string problem;
};

// One recording of the event folder.
struct EventHeat {
    std::string file_name;             // without its folder
    std::optional<PublishedHeat> heat; // none when the recording cannot be read
    std::string problem;               // why, for a recording that cannot be read
    std::vector<EventThumbnail> thumbnails;
    std::string photo_finish_png;     // the heat's photo finish as PNG bytes, made with the pictures
    std::string photo_finish_problem; // why it could not be made
};

struct EventResults {
    std::string folder;
    std::string event;            // the event name most heats carry ("" when none can be read)
    std::vector<EventHeat> heats; // in heat order; unreadable recordings by their name's heat number
};

// Reads every recording (*.px3) of `folder`: each heat's result as published (box delay as stored
// with the heat, distances at `us_per_length`) and, with `thumbnails`, its finish pictures and its
// photo finish. A
// recording that cannot be read is listed with the reason, never left out. `progress` (optional) is
// told after each recording: done, total. Fails (VeltroError 76) when the folder cannot be read.
EventResults read_event_results(const std::string& folder, std::int64_t us_per_length, bool thumbnails,
                                const std::function<void(std::size_t, std::size_t)>& progress = {});

// The whole event as CSV: the columns of one heat's CSV, every heat in order, and a line with the
// problem for each recording that cannot be read.
std::string event_results_csv(const EventResults& results);

// The whole event as one HTML page (finish pictures inside as data: URLs, the style sheet inline,
// well-formed XML), heats in order, each with its ranked table and finish pictures, made to print a
// heat per page where it fits. `made_at` is shown at the foot. A heat with a photo finish links its
// file from `photo_finish_files` (as photo_finish_files names them; none when empty).
std::string event_results_html(const EventResults& results, const std::string& made_at,
                               const std::vector<std::string>& photo_finish_files = {});

// The file names of the heats' photo finishes beside the page `page_stem`.html: "<stem> heat 3 photo
// finish.png" (the place in the page for a heat without a number, " (2)" after a heat number met
// before); "" for a heat without one.
std::vector<std::string> photo_finish_files(const EventResults& results, const std::string& page_stem);

// The heat number a recording's name carries ("Spring Cup_4_2024_05_01 14_03_07.px3" -> 4), used to
// place a recording whose header cannot be read; std::nullopt when there is none.
std::optional<int> heat_number_from_file_name(const std::string& file_name);

// The CSV and HTML paths for the "-o OUT" of the event results: OUT with ".csv" and ".html" (an
// extension .csv or .html given is taken off first).
std::pair<std::string, std::string> event_results_paths(const std::string& out);

// Writes both files for `out` and beside them the photo finishes the page links, all in full before
// any is renamed into place: the pictures, then the page, then the CSV, so that a reader never finds a
// new CSV beside an old page, nor a page without its pictures. A failure (a VeltroError says why)
// leaves no temporary file, and the page and CSV as they were unless only the CSV's rename failed.
// What an earlier run killed part-way left ("OUT.csv.tmpXXXXXX") is removed first.
std::pair<std::string, std::string> write_event_results(const EventResults& results, const std::string& out,
                                                        const std::string& made_at);

} // namespace veltro
