#pragma once

#include "capture/led_probe.h"

#include <cstdint>
#include <deque>
#include <mutex>

namespace veltro {

// The start kit's LED as the demo race camera films it: a small lamp in the grass above the track,
// left of the finish line, inside every crop window. It follows the switches of the kit's LED output
// (the window's, and the capture delay command's own), each kept with its stamp on the PC counter: a
// field shows the lamp lit when the last switch at or before the field's scene moment was "on". Its
// pictures come the demo camera's capture delay later, so the delay can be measured through it.
class DemoLed {
public:
    // The lamp in the full 1920 x 1080 frame, rows from the top.
    static constexpr std::int32_t kX = 800;
    static constexpr std::int32_t kY = 216;
    static constexpr std::int32_t kSize = 12;

    // Safe from any thread.
    void switched(bool on, std::uint32_t stamp);
    bool lit_at(std::uint32_t moment) const;
    // Forgets every switch: the lamp is off.
    void clear();

private:
    struct Switch {
        std::uint32_t stamp;
        bool on;
    };
    mutable std::mutex mutex_;
    std::deque<Switch> switches_; // in the order made
};

// The process's demo LED.
DemoLed& demo_led();

// Draws the lamp into a full demo frame (bottom-up rows of DemoRaceScene::kStride bytes): the rows of
// the first field lit or dark as `first_lit` says, those of the second field as `second_lit`.
void draw_demo_led(std::uint8_t* bottom_up, bool first_lit, bool second_lit);

// The lamp in a crop window of `crop_width` x `crop_height` centred on the frame.
LedBox demo_led_box(std::int32_t crop_width, std::int32_t crop_height);

} // namespace veltro
