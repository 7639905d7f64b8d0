#include "capture/capture_trace.h"

#include "support/trace.h"

#include <utility>

namespace veltro {

namespace {
CaptureTraceSink& sink() {
    static CaptureTraceSink s;
    return s;
}
} // namespace

void set_capture_trace(CaptureTraceSink s) {
    sink() = std::move(s);
}

void capture_trace(const std::string& line) {
    if (sink()) {
        sink()(line);
    } else {
        Trace(line);
    }
}

} // namespace veltro
