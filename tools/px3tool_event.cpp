// px3tool event-results: the results of every heat of an event folder as one CSV and one web page.
#include "px3tool_commands.h"
#include "results/event_results.h"
#include "support/text.h"
#include "timing/lengths.h"

#include <iostream>

namespace px3tool {

int event_results(const Args& in) {
    Args args = in;
    const std::string out = take_option(args, "-o");
    const bool pictures = !take_flag(args, "--no-pictures");
    if (args.size() != 1 || out.empty()) {
        throw UsageError{"event-results takes FOLDER and -o OUT"};
    }
    const veltro::EventResults results =
        veltro::read_event_results(args[0], veltro::seconds_per_length_setting(), pictures);
    const auto [csv, html] = veltro::write_event_results(results, out, veltro::now_iso_datetime());
    std::size_t bad = 0;
    for (const veltro::EventHeat& h : results.heats) {
        if (!h.heat) {
            ++bad;
            std::cerr << "px3tool event-results: " << h.file_name << " cannot be read: " << h.problem << '\n';
        }
    }
    std::cout << csv << '\n'
              << html << '\n'
              << results.heats.size() << " recordings, " << bad << " cannot be read\n";
    return 0;
}

} // namespace px3tool
