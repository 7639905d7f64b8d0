#pragma once

#include "capture/delay_measurement.h"
#include "capture/led_probe.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace veltro {

// The capture delay measured on the demo race camera through the same path as on a real camera: the
// capture source crops every frame and the LED probe reads the LED box on the capture thread, while the
// caller's thread switches the demo LED as planned. Runs on a manual clock, so it takes a second or
// two instead of the measurement's twenty.
struct DemoDelayOptions {
    std::size_t format = 0; // as for the demo heat: 0 = 1920*1080/25 interlaced, then /50 ... /200
    int flashes = kDefaultFlashes;
    std::int16_t crop_width = 400; // 400*880, 600*1080 or 576*720
    std::int16_t crop_height = 880;
    // Where the LED box is; none: around the demo LED.
    std::optional<LedBox> box;
    std::uint32_t seed = 1;
};

// Fails with VeltroError for options out of range, a box outside the picture, or a camera that does not
// start.
DelayResult measure_demo_delay(const DemoDelayOptions& options);

} // namespace veltro
