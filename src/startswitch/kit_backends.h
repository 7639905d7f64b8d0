#pragma once

#include "startswitch/kit_config.h"
#include "startswitch/kit_driver.h"
#include "support/clocks.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltro {

// One kind of start-switch hardware the program can use, as the settings page offers it.
struct KitBackend {
    std::string id;    // stored in the settings ("evdev")
    std::string label; // shown ("USB encoder, foot switch or keyboard (input device)")
    // How the back end names a device and a line, shown beside the fields.
    std::string device_hint;
    std::string line_hint;
    // The wiring a new choice of this back end starts from.
    std::function<KitConfig()> defaults;
    // The devices of this kind on this machine now, for the device list.
    std::function<std::vector<std::string>()> devices;
    // A driver for `config`, stamping on `clock` (not owned) what the device gives no stamp of its
    // own; empty and `error` set when the configuration cannot work (a line that does not exist, two
    // inputs on one line).
    std::function<std::unique_ptr<KitDriver>(const KitConfig& config, const Clock& clock, std::string& error)>
        make_driver;
};

// The kit back ends the program is composed with, in the order the settings page lists them. Each
// back end registers itself (register_*_backend), as the capture back ends do; the program's
// assembly decides which. The simulated kit ("simulated") is not among them: it has no driver and is
// always there.
class KitBackends {
public:
    void add(KitBackend backend) { list_.push_back(std::move(backend)); }
    const std::vector<KitBackend>& list() const { return list_; }
    const KitBackend* find(const std::string& id) const;

    // The kit `config` asks for, its edges stamped on `clock` (not owned, outliving the kit); the
    // simulated kit (nullptr) for "simulated" or an unknown back end. `error` tells why a real back
    // end could not be made.
    std::unique_ptr<InterfaceKit> make_interface_kit(const KitConfig& config, const Clock& clock,
                                                     std::string& error) const;

private:
    std::vector<KitBackend> list_;
};

} // namespace veltro
