#pragma once

#include "startswitch/kit_backends.h"

#include <string>
#include <vector>

namespace veltro {

// The input devices under `root` that have keys or buttons, for the device list: first the names
// under by-id/, which stay the same when the device is plugged in again, then every other event node
// with the device's own name in brackets. A device that cannot be read is listed with the reason.
std::vector<std::string> evdev_devices(const std::string& root);

// The start-switch back end "evdev": keys and buttons of input devices under /dev/input.
void register_evdev_backend(KitBackends& backends);

} // namespace veltro
