#pragma once

#include <functional>
#include <string>

namespace veltro {

// Trace lines of the capture side (start, stop, source scan, crop size). They go to the program's
// trace log, or to the sink set here (tests collect them in a list).
using CaptureTraceSink = std::function<void(const std::string& line)>;
void set_capture_trace(CaptureTraceSink sink);
void capture_trace(const std::string& line);

} // namespace veltro
