#include "capture/capture_backends.h"

namespace veltro {

std::unique_ptr<CaptureComponent> CaptureBackends::make_component(const Clock& clock) const {
    std::vector<std::unique_ptr<CaptureDevice>> devices;
    for (const CaptureBackend& backend : list_) {
        for (auto& device : backend.enumerate())
            devices.push_back(std::move(device));
    }
    return make_capture_component(std::move(devices), clock);
}

} // namespace veltro
