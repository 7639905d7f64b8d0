#pragma once

#include "capture/backends/demo/demo_race_scene.h"
#include "capture/backends/demo/demo_scene_shift.h"
#include "capture/hdmi_crop.h"
#include "picture/dib_section.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace veltro::testing {

// Boxes 1, 2, 4 and 5 have their noses within the band around the finish line then.
inline constexpr double kDogsAtTheLine = 2120;
// Every dog is still off the picture then.
inline constexpr double kNoDogs = 400;

// The demo race at `scene_ms`, its scene moved by `shift`, cut out as the capture cuts it, with
// sensor noise of up to `noise` on every channel.
inline cDIBSection demo_picture(const DemoRaceScene& scene, double scene_ms, SceneShift shift,
                                std::int32_t width, std::int32_t height, int noise = 0) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(DemoRaceScene::kImageSize));
    scene.render(frame.data(), scene_ms, scene_ms);
    shift_scene(frame.data(), DemoRaceScene::kWidth, DemoRaceScene::kHeight, DemoRaceScene::kStride, shift);
    cDIBSection picture;
    if (!crop_frame(frame.data(), DemoRaceScene::kImageSize, DemoRaceScene::kWidth, DemoRaceScene::kHeight,
                    width, height, picture))
        throw std::invalid_argument("no such crop");
    std::uint32_t seed = 12345;
    for (std::int32_t y = 0; noise > 0 && y < height; ++y) {
        std::uint8_t* p = picture.scan_line(y);
        for (std::int32_t i = 0; i < 3 * width; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const int v =
                p[i] + static_cast<int>((seed >> 16) % static_cast<std::uint32_t>(2 * noise + 1)) - noise;
            p[i] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
        }
    }
    return picture;
}

} // namespace veltro::testing
