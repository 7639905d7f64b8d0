#include "timing/published_results.h"

#include "support/numbers.h"
#include "support/spreadsheet_cell.h"
#include "timing/lengths.h"

#include <nlohmann/json.hpp>

namespace veltro {
namespace {

std::string no_time_code(std::int32_t finish) {
    switch (finish) {
    case no_time::kDidNotFinish:
        return "DNF";
    case no_time::kDisqualified:
        return "DSQ";
    case no_time::kNoRank:
        return "NoRnk";
    case no_time::kNotAssigned:
        return "none";
    default:
        return finish >= no_time::kFirst ? "none" : "";
    }
}

template <typename T>
std::string optional_text(const std::optional<T>& value) {
    return value ? std::to_string(*value) : std::string();
}

template <typename T>
nlohmann::ordered_json optional_json(const std::optional<T>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

// One CSV field, safe for spreadsheets, quoted when it holds a comma, a quote, CR or LF.
std::string csv_field(const std::string& cell) {
    const std::string text = spreadsheet_safe(cell);
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

void append_line(std::string& out, const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        out += (i ? "," : "") + csv_field(fields[i]);
    out += "\r\n";
}

} // namespace

const char* const kResultsCsvHeading =
    "recording,event,heat,heat_name,start,box_delay_ms,position,rank,box,dog,finish_ms,finish,split_ms,"
    "split,dead_heat,no_time,distance,problem,estimate_ms,estimate_uncertainty_ms";

PublishedHeat publish_heat(const HeatValues& heat, std::int32_t box_delay, std::int64_t us_per_length) {
    PublishedHeat out;
    out.event = heat.Velt_event();
    out.heat_id = heat.Velt_Heat_ID();
    out.heat_name = heat.Velt_Heat_Name();
    out.start = heat.Velt_start_DateTime();
    out.official = heat.velt_official();
    out.box_delay_ms = box_delay;

    ResultArray sorted = Load_Result_Array(heat);
    Sort_Result_Array(sorted);
    const ResultDisplay shown = Display_Result_Array(sorted, box_delay);
    const ResultDistances distances = distances_in_lengths(sorted, us_per_length);
    out.text = export_to_clipboard_text(out.heat_id, shown.rows);
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const ResultRecord& r = sorted[i];
        const ResultRow& row = shown.rows[i];
        if (row.dog_name.empty())
            continue;
        PublishedRow p;
        p.position = static_cast<int>(i) + 1;
        if (row.rank != "---")
            p.rank = std::stoi(row.rank);
        p.box = r.box;
        p.dog_name = row.dog_name;
        p.finish = row.time;
        p.split = row.split == "00,00" ? std::string() : row.split;
        p.dead_heat = r.dead_heat;
        p.no_time = no_time_code(r.finish);
        p.distance = distances[i];
        if (r.finish < no_time::kFirst) {
            p.finish_ms = checked_add(r.finish, box_delay);
            p.finish_frame = heat.Velt_heat_frame(r.box);
            if (r.split < no_time::kFirst)
                p.split_ms = checked_add(r.split, box_delay);
        }
        out.rows.push_back(std::move(p));
    }
    return out;
}

void add_estimates(PublishedHeat& heat, const BoxEstimates& estimates) {
    for (PublishedRow& row : heat.rows) {
        if (row.box < 1 || row.box > kTimedBoxes)
            continue;
        const auto& e = estimates[static_cast<std::size_t>(row.box)];
        if (row.finish_ms && e) {
            row.estimate = FinishEstimate{checked_add(e->ms, heat.box_delay_ms), e->uncertainty_ms};
        }
    }
}

std::string results_csv(const std::vector<CsvHeat>& heats) {
    std::string out = std::string(kResultsCsvHeading) + "\r\n";
    for (const CsvHeat& h : heats) {
        const PublishedHeat& heat = *h.heat;
        if (!h.problem.empty()) {
            std::vector<std::string> fields(20);
            fields[0] = heat.recording;
            fields[17] = h.problem;
            append_line(out, fields);
            continue;
        }
        for (const PublishedRow& row : heat.rows) {
            append_line(out, {heat.recording,
                              heat.event,
                              heat.heat_id,
                              heat.heat_name,
                              heat.start,
                              std::to_string(heat.box_delay_ms),
                              std::to_string(row.position),
                              optional_text(row.rank),
                              std::to_string(row.box),
                              row.dog_name,
                              optional_text(row.finish_ms),
                              row.finish,
                              optional_text(row.split_ms),
                              row.split,
                              row.dead_heat ? "1" : "0",
                              row.no_time,
                              row.distance,
                              "",
                              row.estimate ? std::to_string(row.estimate->ms) : "",
                              row.estimate ? std::to_string(row.estimate->uncertainty_ms) : ""});
        }
    }
    return out;
}

std::string results_csv(const PublishedHeat& heat) {
    return results_csv(std::vector<CsvHeat>{{&heat, {}}});
}

std::string results_json(const PublishedHeat& heat) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const PublishedRow& row : heat.rows) {
        rows.push_back({{"position", row.position},
                        {"rank", optional_json(row.rank)},
                        {"box", row.box},
                        {"dog", row.dog_name},
                        {"finish_ms", optional_json(row.finish_ms)},
                        {"finish", row.finish},
                        {"split_ms", optional_json(row.split_ms)},
                        {"split", row.split},
                        {"dead_heat", row.dead_heat},
                        {"no_time", row.no_time.empty() ? nlohmann::ordered_json(nullptr)
                                                        : nlohmann::ordered_json(row.no_time)},
                        {"distance", row.distance},
                        {"estimate_ms", row.estimate ? nlohmann::ordered_json(row.estimate->ms) : nullptr},
                        {"estimate_uncertainty_ms",
                         row.estimate ? nlohmann::ordered_json(row.estimate->uncertainty_ms) : nullptr}});
    }
    const nlohmann::ordered_json doc = {{"version", 1},
                                        {"recording", heat.recording},
                                        {"event", heat.event},
                                        {"heat", heat.heat_id},
                                        {"heat_name", heat.heat_name},
                                        {"start", heat.start},
                                        {"box_delay_ms", heat.box_delay_ms},
                                        {"official", heat.official.empty()
                                                         ? nlohmann::ordered_json(nullptr)
                                                         : nlohmann::ordered_json(heat.official)},
                                        {"results", rows}};
    // Names that are not valid UTF-8 are written with the replacement character rather than failing.
    return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

} // namespace veltro
