#pragma once

#include "capture/capture_backends.h"

#include <memory>

namespace veltro {

// The capture back ends of this program: the V4L2 devices of this machine, then the demo race
// camera, which is filmed until the operator chooses a source.
const CaptureBackends& system_capture_backends();

// A fresh capture component over the sources of the program's back ends.
std::unique_ptr<CaptureComponent> make_system_capture_component();

} // namespace veltro
