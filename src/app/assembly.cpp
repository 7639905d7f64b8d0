#include "app/assembly.h"

#include "capture/backends/aravis/aravis_camera.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/backends/v4l2/v4l2_device.h"
#include "startswitch/backends/evdev/evdev_backend.h"
#include "startswitch/backends/gpio/gpio_kit.h"
#include "startswitch/backends/phidget/phidget_backend.h"
#include "startswitch/backends/serial/serial_kit.h"
#include "startswitch/backends/simulated/simulated_kit.h"
#include "startswitch/kit_config.h"
#include "support/trace.h"

#include <cstdlib>
#include <cstring>

namespace veltro {

CaptureBackends capture_backends(bool simulated_camera) {
    CaptureBackends capture;
    register_v4l2_backend(capture);
    register_aravis_backend(capture, simulated_camera);
    register_demo_backend(capture);
    return capture;
}

const ProgramBackends& program_backends() {
    static const ProgramBackends backends = [] {
        ProgramBackends b;
        const char* simulated = std::getenv("VELTRO_SIMULATED_CAMERA");
        b.capture = capture_backends(simulated != nullptr && std::strcmp(simulated, "1") == 0);
        register_evdev_backend(b.kits);
        register_serial_backend(b.kits);
        register_gpio_backend(b.kits, libgpiod_library());
        register_phidget_backend(b.kits, phidget_library_names());
        return b;
    }();
    return backends;
}

std::unique_ptr<InterfaceKit> configured_kit(const KitBackends& kits, const Clock& clock) {
    std::string error;
    std::unique_ptr<InterfaceKit> kit = kits.make_interface_kit(load_kit_config(), clock, error);
    if (!error.empty()) {
        Trace("*Start switch settings not usable: ", error);
    }
    if (!kit) {
        kit = std::make_unique<SimulatedKit>(clock);
    }
    return kit;
}

} // namespace veltro
