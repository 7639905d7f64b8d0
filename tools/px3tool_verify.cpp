// px3tool verify: checks a recording byte by byte against the layout, independently of the reader.
#include "px3tool_commands.h"
#include "recording/recording_check.h"

#include <iostream>

namespace px3tool {

int verify(const Args& args) {
    if (args.size() != 1) {
        throw UsageError{"verify takes one FILE"};
    }
    QuietOperator quiet;
    const veltro::RecordingCheck check = veltro::Check_Recording(args[0]);
    for (const auto& p : check.problems) {
        std::cout << args[0] << ": " << p << '\n';
    }
    if (check.behind.records > 0) {
        std::cout << args[0] << ": " << veltro::Uncounted_Records_Text(check.behind) << '\n';
        return 1;
    }
    if (check.problems.empty()) {
        std::cout << args[0] << ": sound, " << check.frames << " frames\n";
        return 0;
    }
    return 1;
}

} // namespace px3tool
