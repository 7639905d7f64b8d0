#pragma once

#include "timing/finish_estimate.h"
#include "timing/heat_values.h"
#include "timing/result_ranking.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// One line of a published result: the results window's row with the numbers behind its texts.
struct PublishedRow {
    int position = 0;                      // 1..6, finishing order
    std::optional<int> rank;               // shared by a dead heat; none for a box without a valid time
    std::int16_t box = 0;                  // 1..6
    std::string dog_name;                  // UTF-8
    std::optional<std::int32_t> finish_ms; // as shown: from the start, box delay included
    std::string finish;                    // as shown: "26,41", "DNF", "DSQ", "---,---"
    std::optional<std::int32_t> split_ms;  // as shown, box delay included; none when not shown
    std::string split;                     // as the clipboard text has it: "" when there is none, else
                                           // "12,02", or "---,---" beside a box without a valid time
    bool dead_heat = false;
    std::string no_time;           // "" with a time, else "DNF", "DSQ", "NoRnk" or "none" (nothing assigned)
    std::string distance;          // to the dog in front, in lengths ("" for none)
    std::int16_t finish_frame = 0; // the picture the finish time was given on; 0 for none
    // When the nose crossed between that picture and the one before, box delay included; advisory.
    std::optional<FinishEstimate> estimate;
};

// One heat's result as it leaves the program (files, the event page, the evidence pack).
struct PublishedHeat {
    std::string recording; // the recording's file name, without its folder
    std::string event;
    std::string heat_id;
    std::string heat_name;
    std::string start;    // the start's date and time as the recording holds it
    std::string official; // "" when the result is not official, else who declared it and when
    std::int32_t box_delay_ms = 0;
    // In finishing order; boxes without a dog name are vacant and left out, as in the clipboard text.
    std::vector<PublishedRow> rows;
    std::string text; // the clipboard text (export_to_clipboard_text)
};

// The heat's result: ranked as the results window ranks it, times shown with `box_delay` added,
// distances at `us_per_length`.
PublishedHeat publish_heat(const HeatValues& heat, std::int32_t box_delay, std::int64_t us_per_length);

// Puts the estimates beside the rows with a finish time, with the heat's box delay added.
void add_estimates(PublishedHeat& heat, const BoxEstimates& estimates);

// The CSV form (RFC 4180, CR LF, UTF-8): the heading line `Csv_heading`, then one line per row of
// every heat. A heat given with a `problem` (the event page's unreadable recordings) gets one line
// with its recording name and the problem, the rest empty.
struct CsvHeat {
    const PublishedHeat* heat = nullptr;
    std::string problem;
};
extern const char* const kResultsCsvHeading;
std::string results_csv(const std::vector<CsvHeat>& heats);
std::string results_csv(const PublishedHeat& heat);

// The JSON form of one heat; the shape is described in the README ("Results as CSV and JSON").
std::string results_json(const PublishedHeat& heat);

} // namespace veltro
