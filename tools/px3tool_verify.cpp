// px3tool verify: checks a recording byte by byte against the layout, independently of the reader.
#include "px3tool_commands.h"
#include "recording/capture_spool.h"
#include "recording/recording_check.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace px3tool {

namespace {

// The spool of a capture the program did not finish: its frames are not in the recording yet, so a
// recording that looks sound is still missing them. "" when there is no spool.
std::string spool_problem(const std::string& recording, std::int32_t counted) {
    const std::string path = veltro::spool_path(recording);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return {};
    }
    try {
        const veltro::SpoolReader spool(path);
        const std::int32_t waiting = std::max(0, spool.head().base_frames + spool.count() - counted);
        if (waiting == 0) {
            return "the spool " + path + " is left over (its frames are counted); px3tool recover removes it";
        }
        return std::to_string(waiting) + " frames wait in the spool " + path +
               " and are not in the recording yet; px3tool recover adds them";
    } catch (const veltro::VeltroError& e) {
        return "the spool " + path + " beside it cannot be read: " + e.description();
    }
}

} // namespace

int verify(const Args& args) {
    if (args.size() != 1) {
        throw UsageError{"verify takes one FILE"};
    }
    QuietOperator quiet;
    veltro::RecordingCheck check = veltro::check_recording(args[0]);
    if (const std::string spool = spool_problem(args[0], check.frames); !spool.empty()) {
        check.problems.push_back(spool);
    }
    for (const auto& p : check.problems) {
        std::cout << args[0] << ": " << p << '\n';
    }
    for (const auto& n : check.notes) {
        std::cout << args[0] << ": " << n << '\n';
    }
    if (check.behind.records > 0) {
        std::cout << args[0] << ": " << veltro::uncounted_records_text(check.behind) << '\n';
        return 1;
    }
    if (check.problems.empty()) {
        std::cout << args[0] << ": sound, " << check.frames << " frames\n";
        return 0;
    }
    return 1;
}

} // namespace px3tool
