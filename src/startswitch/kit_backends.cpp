#include "startswitch/kit_backends.h"

#include "startswitch/backends/device_kit.h"
#include "startswitch/backends/evdev/evdev_backend.h"
#include "startswitch/backends/gpio/gpio_kit.h"
#include "startswitch/backends/phidget/phidget_backend.h"
#include "startswitch/backends/serial/serial_kit.h"

namespace veltro {

const std::vector<KitBackend>& kit_backends() {
    static const std::vector<KitBackend> list = [] {
        std::vector<KitBackend> out;
        out.push_back(make_evdev_backend());
        out.push_back(make_serial_backend());
        out.push_back(make_gpio_backend());
        out.push_back(make_phidget_backend());
        return out;
    }();
    return list;
}

const KitBackend* find_kit_backend(const std::string& id) {
    for (const KitBackend& b : kit_backends()) {
        if (b.id == id) {
            return &b;
        }
    }
    return nullptr;
}

std::unique_ptr<InterfaceKit> make_interface_kit(const KitConfig& config, std::string& error) {
    error.clear();
    const KitBackend* backend = find_kit_backend(config.backend);
    if (!backend) {
        if (config.backend != "simulated") {
            error = "Unknown start switch back end \"" + config.backend + "\"";
        }
        return nullptr;
    }
    std::unique_ptr<KitDriver> driver = backend->make_driver(config, error);
    if (!driver) {
        return nullptr;
    }
    DeviceKit::Options options;
    options.inverted = config.inverted;
    options.debounce_ms = config.debounce_ms;
    return std::make_unique<DeviceKit>(std::move(driver), options);
}

} // namespace veltro
