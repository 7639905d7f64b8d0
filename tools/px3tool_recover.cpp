// px3tool recover: appends the frames of a capture the program did not finish (its spool beside the
// recording), as the program does at its next start.
#include "px3tool_commands.h"
#include "recording/capture_spool.h"

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
    const veltro::SpoolRecovery r = veltro::Recover_Spool(recording);
    if (r.frames > 0 || r.spool_removed) {
        std::cout << r.message << '\n';
        return 0;
    }
    std::cerr << "px3tool recover: " << r.message << '\n';
    return 1;
}

} // namespace px3tool
