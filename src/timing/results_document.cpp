#include "timing/results_document.h"

#include <regex>

namespace veltro {

ResultsDocument results_document_of(const PublishedHeat& heat, const std::vector<std::string>& warnings,
                                    const std::string& sha256) {
    ResultsDocument d;
    d.title = heat.event.empty() ? "Results" : heat.event;
    // A start stored as "YYYY-MM-DD hh:mm:ss" names the meeting's date; any other form is shown whole.
    static const std::regex kIso(R"((\d{4}-\d\d-\d\d)[ T](.+))");
    std::smatch m;
    if (std::regex_match(heat.start, m, kIso)) {
        d.heading.push_back("Meeting date: " + m[1].str());
        d.heading.push_back("Heat " + heat.heat_id + (heat.heat_name.empty() ? "" : " " + heat.heat_name));
        d.heading.push_back("Start: " + m[2].str());
    } else {
        d.heading.push_back("Heat " + heat.heat_id + (heat.heat_name.empty() ? "" : " " + heat.heat_name));
        d.heading.push_back("Start: " + heat.start);
    }
    if (!heat.official.empty())
        d.heading.push_back("Official: " + heat.official);
    if (heat.box_delay_ms > 0)
        d.heading.push_back("Box delay: " + std::to_string(heat.box_delay_ms) + " ms");
    d.table.push_back({"Rank", "Box", "Dog", "Split", "Time", "Dist", ""});
    for (const PublishedRow& row : heat.rows)
        d.table.push_back({row.rank ? std::to_string(*row.rank) : "-", std::to_string(row.box), row.dog_name,
                           row.split, row.finish, row.distance, row.dead_heat ? "Dead heat" : ""});
    d.warnings = warnings;
    d.footer = "File: " + heat.recording +
               "  SHA-256: " + (sha256.empty() ? "cannot be read" : sha256.substr(0, 16));
    return d;
}

std::string page_footer(const ResultsDocument& document, int page, int pages) {
    return document.footer + "  Page " + std::to_string(page) + " of " + std::to_string(pages);
}

} // namespace veltro
