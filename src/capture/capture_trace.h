#pragma once

#include <functional>
#include <string>

namespace veltro {

// Trace lines of the capture side (start, stop, source scan, crop size). They go to the sink set
// here; the program points it at its trace log, tests at a list. Without a sink they are dropped.
using CaptureTraceSink = std::function<void(const std::string& line)>;
void set_capture_trace(CaptureTraceSink sink);
void capture_trace(const std::string& line);

} // namespace veltro
