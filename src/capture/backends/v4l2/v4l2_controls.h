#pragma once

#include "capture/backends/v4l2/v4l2_io.h"
#include "capture/capture_controls.h"

#include <optional>
#include <string>

namespace veltro {

// Exposure and gain of a V4L2 device on its open descriptor `fd`. Exposure is the absolute exposure
// time (V4L2_CID_EXPOSURE_ABSOLUTE, in steps of 100 µs, offered in µs); gain is V4L2_CID_GAIN, or the
// analogue gain of a sensor driver that has no other, in the driver's own steps. None when the device
// lacks the control or has it disabled.
std::optional<ControlRange> v4l2_query_control(V4L2Io& io, int fd, ControlKind kind);

// Sets the choice on the device: manual exposure mode, then the exposure time (rounded to its
// steps); automatic gain off, then the gain. A value the device has no control for is left out.
// Returns what was set as controls_text() writes it, read back from the device; `error` says why a
// control the device has refused its value (the rest is then not set).
std::string v4l2_apply_controls(V4L2Io& io, int fd, const ControlChoice& choice, std::string& error);

} // namespace veltro
