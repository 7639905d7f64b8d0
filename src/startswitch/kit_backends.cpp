#include "startswitch/kit_backends.h"

#include "startswitch/backends/device_kit.h"

namespace veltro {

const KitBackend* KitBackends::find(const std::string& id) const {
    for (const KitBackend& b : list_) {
        if (b.id == id) {
            return &b;
        }
    }
    return nullptr;
}

std::unique_ptr<InterfaceKit> KitBackends::make_interface_kit(const KitConfig& config, const Clock& clock,
                                                              std::string& error) const {
    error.clear();
    const KitBackend* backend = find(config.backend);
    if (!backend) {
        if (config.backend != "simulated") {
            error = "Unknown start switch back end \"" + config.backend + "\"";
        }
        return nullptr;
    }
    std::unique_ptr<KitDriver> driver = backend->make_driver(config, clock, error);
    if (!driver) {
        return nullptr;
    }
    DeviceKit::Options options;
    options.inverted = config.inverted;
    options.debounce_ms = config.debounce_ms;
    return std::make_unique<DeviceKit>(std::move(driver), options, clock);
}

} // namespace veltro
