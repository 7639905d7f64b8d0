#pragma once

#include "capture/capture_backends.h"
#include "startswitch/interface_kit.h"
#include "startswitch/kit_backends.h"

#include <memory>

namespace veltro {

// Every device back end of the program, each registered in the same way and all of them here: the
// windows are handed these and pick no device themselves.
struct ProgramBackends {
    // The V4L2 devices of this machine, its industrial cameras, then the demo race camera, which is
    // filmed until the operator chooses a source.
    CaptureBackends capture;
    // The kinds of start-switch hardware, in the order the settings page lists them.
    KitBackends kits;
};

// The program's: Aravis's simulated camera is among the sources when the environment says
// VELTRO_SIMULATED_CAMERA=1.
const ProgramBackends& program_backends();

// The capture back ends in the program's order: V4L2 devices, industrial cameras (with Aravis's
// simulated camera when `simulated_camera` is set), the demo race camera.
CaptureBackends capture_backends(bool simulated_camera);

// The start-switch kit the settings name, its edges stamped on `clock` (not owned, outliving the
// kit); the simulated kit when they name that or theirs cannot be made (the trace says why).
std::unique_ptr<InterfaceKit> configured_kit(const KitBackends& kits, const Clock& clock);

} // namespace veltro
