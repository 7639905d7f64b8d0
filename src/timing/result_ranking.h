#pragma once

#include "timing/heat_values.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// One box of the heat result.
struct ResultRecord {
    std::int16_t box = 0;    // 1..6, the position before sorting
    std::int32_t finish = 0; // ms; 999999 when no time is assigned
    std::int32_t split = 0;  // ms; 999999 when no split time is assigned
    std::int32_t click = 0;  // when the finish time was assigned (PC millisecond counter)
    std::string dog_name;
    bool dead_heat = false;
};

// The heat result: the six timed boxes, position 1 at index 0.
using ResultArray = std::array<ResultRecord, kTimedBoxes>;

// Boxes 1..6 of the recording, in box order; unassigned finish and split times become 999999.
ResultArray Load_Result_Array(const HeatValues& heat);

// Finishing order: by finish time, equal times by click time (earlier assignment first), and
// records equal in both keep their order. The no-time codes sort behind every real time in the
// order DNF, DSQ, No Rnk, no time.
void Sort_Result_Array(ResultArray& results);

// One row of the results window, as texts.
struct ResultRow {
    std::string rank; // "1".."6", or "---" for a box without a valid time
    bool dead_heat_marker = false;
    std::int16_t box = 0; // for the box tile
    std::string dog_name; // caption and tool tip
    std::string time;     // finish time, "---,---", "DSQ" or "DNF"
    std::string split;    // split time, "" when none was given, or "---,---"
};

// What Display_Result_Array writes into the results window (the rows and the box-delay label; the
// heading labels come from the recording directly).
struct ResultDisplay {
    std::array<ResultRow, kTimedBoxes> rows;
    // "Box delay = 30ms"; std::nullopt when the label is hidden (box delay below 1).
    std::optional<std::string> box_delay_label;
};

// Ranks and texts of a sorted result. A dead-heat record repeats the last rank given; one in first
// position shows rank 1. Times are shown with `box_delay` added.
ResultDisplay Display_Result_Array(const ResultArray& results, std::int32_t box_delay);

// Each position's distance to the dog in front, as text ("" for none); see timing/lengths.h.
using ResultDistances = std::array<std::string, kTimedBoxes>;

// The results as clipboard text: "Heat" + heat id, then "rank<TAB>name<TAB>time[<TAB>split]" for
// every row with a dog name, each line ended by CR LF. An empty split (or "00,00") is left out.
std::string export_to_clipboard_text(const std::string& heat_id,
                                     const std::array<ResultRow, kTimedBoxes>& rows);
// The same with a tab and the position's distance (possibly empty) at the end of each result line.
std::string export_to_clipboard_text(const std::string& heat_id,
                                     const std::array<ResultRow, kTimedBoxes>& rows,
                                     const ResultDistances& distances);

// The printed result table: a heading line, then one line per position with rank, box, dog name (cut
// or padded to 27 characters), split and finish time, and " Dead heat" for a dead-heat record.
// With distances, the heading gains "Dist" and each distance follows its finish time in a column
// of its own.
std::vector<std::string> printed_result_lines(const ResultArray& results, std::int32_t box_delay,
                                              const ResultDistances* distances = nullptr);

// --- The box-number tile (Paint_box) ---

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    // As the program writes colours: 0xBBGGRR.
    constexpr std::uint32_t bgr() const { return (std::uint32_t{b} << 16) | (std::uint32_t{g} << 8) | r; }
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// A horizontal band across the tile, from and to as fractions of its height.
struct TileBand {
    double from = 0;
    double to = 0;
};

struct BoxTile {
    Rgb background;
    Rgb number;
    // Box 6 only: bands in the system's button-shadow colour, painted over the white background.
    std::vector<TileBand> button_shadow_bands;
};

// The colours of a box's tile; std::nullopt for a box outside 1..6 (the tile stays blank).
std::optional<BoxTile> box_tile_colours(std::int16_t box);

// The tile's font size: from 64 points down, the first size at which 0.9 x the height of "8"
// (text_height, in the tile's units) is below the tile's height; 1 at the least.
int box_tile_font_size(int tile_height, const std::function<int(int points)>& text_height);

} // namespace veltro
