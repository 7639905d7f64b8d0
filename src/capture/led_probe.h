#pragma once

#include "picture/dib_section.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// The box the operator drew around the start kit's LED on the live picture, in pixels of the cropped
// picture counted from its top left corner.
struct LedBox {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// A box is kept small so that measuring it costs the capture thread next to nothing.
inline constexpr std::int32_t kMaxLedBoxSide = 32;

// "x,y,w,h" as the settings keep it; std::nullopt for anything else, and for a box with a side below
// 2 or above kMaxLedBoxSide pixels.
std::optional<LedBox> parse_led_box(const std::string& text);
std::string led_box_text(const LedBox& box);
// Whether the box lies wholly inside a picture of `width` x `height` pixels.
bool led_box_inside(const LedBox& box, std::int32_t width, std::int32_t height);

// The brightness of the box in one picture: the mean of blue + green + red (0 to 765) over the rows of
// `field` (0: the first field, the even rows counted from the top; 1: the second; -1: every row). The
// box must lie inside the picture.
double led_box_level(const cDIBSection& picture, const LedBox& box, int field);

// The LED box's brightness in one picture, as the capture delay measurement reads it.
struct LedSample {
    std::uint32_t arrival = 0; // the frame's arrival stamp on the PC counter
    bool second_field = false; // the second field of an interlaced frame: half a frame period later
    double level = 0;
};

// Measures the LED box of every cropped frame on the capture thread (one sample per frame, or one per
// field when interlaced) and keeps the samples for the window thread. take() costs a few microseconds
// and never waits for more than the hand-over of the samples.
class LedProbe {
public:
    LedProbe(LedBox box, bool interlaced);

    // The capture thread: the frame that arrived at `arrival`. A picture the box does not fit is skipped.
    void take(const cDIBSection& picture, std::uint32_t arrival);
    // The window thread: the samples since the last call, oldest first.
    std::vector<LedSample> take_samples();

private:
    LedBox box_;
    bool interlaced_;
    std::mutex mutex_;
    std::vector<LedSample> samples_;
};

} // namespace veltro
