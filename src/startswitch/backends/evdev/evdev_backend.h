#pragma once

#include "startswitch/kit_backends.h"

#include <string>
#include <vector>

namespace veltro {

// The input devices under `root` that have keys or buttons, for the device list: first the names
// under by-id/, which stay the same when the device is plugged in again, then every other event node
// with the device's own name in brackets. A device that cannot be read is listed with the reason.
std::vector<std::string> evdev_devices(const std::string& root = "/dev/input");

// The start-switch back end "evdev", for the program's list of back ends.
KitBackend make_evdev_backend();

} // namespace veltro
