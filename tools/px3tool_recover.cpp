// px3tool recover: appends the frames of a capture the program did not finish (its spool beside the
// recording), as the program does at its next start; without a spool, counts the whole records a
// pass left behind the counted frames when it was killed before its header write.
#include "px3tool_commands.h"
#include "recording/capture_spool.h"
#include "recording/uncounted_records.h"

#include <filesystem>
#include <iostream>

namespace px3tool {

int recover(const Args& args) {
    if (args.size() != 1) {
        throw UsageError{"recover takes one FILE"};
    }
    // The spool itself may be named as well as its recording.
    std::string recording = args[0];
    const std::string suffix = ".spool";
    if (recording.size() > suffix.size() && recording.ends_with(suffix)) {
        recording.resize(recording.size() - suffix.size());
    }
    QuietOperator quiet;
    std::error_code ec;
    if (!std::filesystem::exists(veltro::spool_path(recording), ec)) {
        // No spool: the frames of a pass killed before it counted them are in the recording itself.
        const veltro::RecordsRecovery counted = veltro::recover_uncounted_records(recording);
        (counted.frames > 0 ? std::cout : std::cerr)
            << (counted.frames > 0 ? "" : "px3tool recover: ") << counted.message << '\n';
        return counted.frames > 0 ? 0 : 1;
    }
    const veltro::SpoolRecovery r = veltro::recover_spool(recording);
    if (r.frames > 0 || r.spool_removed) {
        std::cout << r.message << '\n';
        return 0;
    }
    std::cerr << "px3tool recover: " << r.message << '\n';
    return 1;
}

} // namespace px3tool
