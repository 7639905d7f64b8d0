#pragma once

#include "capture/capture_backends.h"
#include "startswitch/interface_kit.h"
#include "startswitch/kit_backends.h"

#include <memory>

namespace veltro {

// Every device back end of the program, each registered in the same way and all of them here: the
// windows are handed these and pick no device themselves.
struct ProgramBackends {
    // The V4L2 devices of this machine, then the demo race camera, which is filmed until the
    // operator chooses a source.
    CaptureBackends capture;
    // The kinds of start-switch hardware, in the order the settings page lists them.
    KitBackends kits;
};

const ProgramBackends& program_backends();

// The start-switch kit the settings name, its edges stamped on `clock` (not owned, outliving the
// kit); the simulated kit when they name that or theirs cannot be made (the trace says why).
std::unique_ptr<InterfaceKit> configured_kit(const KitBackends& kits, const Clock& clock);

} // namespace veltro
