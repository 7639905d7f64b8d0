#include "app/capture_backends.h"

#include "capture/backends/demo/demo_camera.h"
#include "capture/backends/v4l2/v4l2_device.h"

namespace veltro {

const CaptureBackends& system_capture_backends() {
    static const CaptureBackends backends = [] {
        CaptureBackends b;
        register_v4l2_backend(b);
        register_demo_backend(b);
        return b;
    }();
    return backends;
}

std::unique_ptr<CaptureComponent> make_system_capture_component() {
    return system_capture_backends().make_component();
}

} // namespace veltro
