#pragma once

#include "startswitch/backends/phidget/phidget_kit_driver.h"
#include "startswitch/kit_backends.h"

namespace veltro {

// The start-switch back end "phidget": a kit of the vendor's, through its own library. `library`:
// where to load that library from (phidget_library_names(); tests give a stand-in by path).
void register_phidget_backend(KitBackends& backends, std::vector<std::string> library);

// The wiring `config` describes: a serial number (empty or "any": any kit), input numbers 0..15 each
// used once, an output number 0..15 for the LED. Empty, with `error` set, when it cannot work.
std::optional<PhidgetWiring> phidget_wiring(const KitConfig& config, std::string& error);

} // namespace veltro
