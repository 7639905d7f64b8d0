#include "timing/result_ranking.h"

#include "support/numbers.h"
#include "support/utf8_text.h"
#include "timing/time_text.h"

#include <utility>

namespace veltro {
namespace {

constexpr std::size_t kPrintedNameWidth = 27;
constexpr std::size_t kPrintedTimeWidth = 7;

std::int32_t unassigned_to_no_time(std::int32_t value) {
    return value == 0 ? no_time::kNotAssigned : value;
}

// Blank when no split was given: "00,00" would read as a time.
std::string split_text(std::int32_t split, std::int32_t box_delay) {
    if (split >= no_time::kFirst)
        return {};
    return Display_Mill_Time(checked_add(split, box_delay), true);
}

// Rank texts with dead heats: a dead-heat record repeats the last rank given to a record that was
// not one. In first position there is no such rank yet, so it shows 1, the rank it shares.
template <typename Emit>
void for_each_rank(const ResultArray& results, Emit emit) {
    int last_rank = 1;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const int position = static_cast<int>(i) + 1;
        if (!results[i].dead_heat)
            last_rank = position;
        emit(results[i], results[i].dead_heat ? last_rank : position);
    }
}

std::string pad_or_cut(const std::string& text, std::size_t width) {
    std::string out = utf8_substr(text, 0, width);
    const std::size_t length = utf8_length(out);
    if (length < width)
        out.append(width - length, ' ');
    return out;
}

} // namespace

ResultArray Load_Result_Array(const HeatValues& heat) {
    ResultArray results;
    for (std::int16_t box = 1; box <= kTimedBoxes; ++box) {
        ResultRecord& r = results[static_cast<std::size_t>(box - 1)];
        r.box = box;
        r.finish = unassigned_to_no_time(heat.Velt_Heat_time(box, false));
        r.split = unassigned_to_no_time(heat.Velt_Heat_time(box, true));
        r.dog_name = heat.Velt_Dog_name(box);
        r.click = heat.Velt_Heat_Click_Time(box);
        r.dead_heat = heat.Velt_dead_heat(box);
    }
    return results;
}

void Sort_Result_Array(ResultArray& results) {
    // Exchange sort of neighbours: stable, so box order is the last tie-breaker.
    bool exchanged = true;
    while (exchanged) {
        exchanged = false;
        for (std::size_t i = 0; i + 1 < results.size(); ++i) {
            const ResultRecord& a = results[i];
            const ResultRecord& b = results[i + 1];
            if (a.finish > b.finish || (a.finish == b.finish && a.click > b.click)) {
                std::swap(results[i], results[i + 1]);
                exchanged = true;
            }
        }
    }
}

ResultDisplay Display_Result_Array(const ResultArray& results, std::int32_t box_delay) {
    ResultDisplay display;
    std::size_t p = 0;
    for_each_rank(results, [&](const ResultRecord& r, int rank) {
        ResultRow& row = display.rows[p++];
        row.dead_heat_marker = r.dead_heat;
        row.rank = std::to_string(rank);
        row.box = r.box;
        row.dog_name = r.dog_name;
        if (r.finish < no_time::kFirst) {
            row.split = split_text(r.split, box_delay);
            row.time = Display_Mill_Time(checked_add(r.finish, box_delay), true);
            return;
        }
        row.rank = "---";
        row.split = "---,---";
        row.time = r.finish == no_time::kDisqualified   ? "DSQ"
                   : r.finish == no_time::kDidNotFinish ? "DNF"
                                                        : "---,---";
    });
    if (box_delay >= 1)
        display.box_delay_label = "Box delay = " + std::to_string(box_delay) + "ms";
    return display;
}

namespace {

std::string export_text(const std::string& heat_id, const std::array<ResultRow, kTimedBoxes>& rows,
                        const ResultDistances* distances) {
    std::string text = "Heat" + heat_id + "\r\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ResultRow& row = rows[i];
        if (row.dog_name.empty())
            continue;
        text += row.rank + "\t" + row.dog_name + "\t" + row.time;
        if (!row.split.empty() && row.split != "00,00")
            text += "\t" + row.split;
        if (distances)
            text += "\t" + (*distances)[i];
        text += "\r\n";
    }
    return text;
}

} // namespace

std::string export_to_clipboard_text(const std::string& heat_id,
                                     const std::array<ResultRow, kTimedBoxes>& rows) {
    return export_text(heat_id, rows, nullptr);
}

std::string export_to_clipboard_text(const std::string& heat_id,
                                     const std::array<ResultRow, kTimedBoxes>& rows,
                                     const ResultDistances& distances) {
    return export_text(heat_id, rows, &distances);
}

std::vector<std::string> printed_result_lines(const ResultArray& results, std::int32_t box_delay,
                                              const ResultDistances* distances) {
    std::vector<std::string> lines{"  Box Dog Name                        Split Time"};
    if (distances)
        lines[0] += std::string(kPrintedTimeWidth - 4 + 1, ' ') + "Dist";
    std::size_t p = 0;
    for_each_rank(results, [&](const ResultRecord& r, int rank) {
        const std::string* distance = distances ? &(*distances)[p++] : nullptr;
        std::string time;
        switch (r.finish) {
        case no_time::kNotAssigned:
            time = "00,00";
            break;
        case no_time::kNoRank:
            time = "Notime";
            break;
        case no_time::kDisqualified:
            time = "DSQ";
            break;
        case no_time::kDidNotFinish:
            time = "DNF";
            break;
        default:
            time = Display_Mill_Time(checked_add(r.finish, box_delay), true);
        }
        std::string split = split_text(r.split, box_delay);
        if (split.size() < 5)
            split.append(5 - split.size(), ' ');
        // Columns under the heading: box in column 3, name from 6, split from 38, time from 44.
        std::string line = std::to_string(rank) + "  " + std::to_string(r.box) + "  " +
                           pad_or_cut(r.dog_name, kPrintedNameWidth) + "     " + split + " " + time;
        if (distance && !distance->empty()) {
            // The distance column lies behind the widest time ("1:02,34").
            if (time.size() < kPrintedTimeWidth)
                line.append(kPrintedTimeWidth - time.size(), ' ');
            line += " " + *distance;
        }
        if (r.dead_heat)
            line += " Dead heat";
        lines.push_back(std::move(line));
    });
    return lines;
}

std::optional<BoxTile> box_tile_colours(std::int16_t box) {
    constexpr Rgb white{255, 255, 255};
    constexpr Rgb black{0, 0, 0};
    switch (box) {
    case 1:
        return BoxTile{{181, 0, 0}, white, {}};
    case 2:
        return BoxTile{{64, 116, 202}, white, {}};
    case 3:
        return BoxTile{white, black, {}};
    case 4:
        return BoxTile{black, white, {}};
    case 5:
        return BoxTile{{231, 177, 27}, black, {}};
    case 6:
        return BoxTile{white, {255, 0, 0}, {{0.25, 0.5}, {0.75, 1.0}}};
    default:
        return std::nullopt;
    }
}

int box_tile_font_size(int tile_height, const std::function<int(int points)>& text_height) {
    int points = 64;
    while (points > 1 && static_cast<int>(0.9 * text_height(points)) >= tile_height)
        --points;
    return points;
}

} // namespace veltro
