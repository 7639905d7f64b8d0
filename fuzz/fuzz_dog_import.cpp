// Dog-name lists are text files from other programs: any bytes must import, stop or fail with a
// VeltroError, never crash or write outside the event skeleton.
#include "events/dog_import.h"
#include "events/event_session.h"
#include "support/operator.h"
#include "support/veltro_error.h"

#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static veltro::QuietOperator quiet;
    quiet.messages.clear();
    // One session for every input, as in a long editing session; it never touches the disk.
    static veltro::EventSession session("/nonexistent/Veltro Event Files");

    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        veltro::Import_Dogs(in, session);
    } catch (const veltro::VeltroError&) {
    }
    return 0;
}
