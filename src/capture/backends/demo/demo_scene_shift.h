#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace veltro {

// The demo camera knocked aside: its whole scene moved in the picture, to try the moved-camera warning
// without a camera to move. The finish line moves with the dogs, so the moment a nose reaches the
// painted line is unchanged, but not the moment it reaches a fixed column of the picture.
struct SceneShift {
    std::int32_t dx = 0; // right positive
    std::int32_t dy = 0; // down positive
    friend constexpr bool operator==(const SceneShift&, const SceneShift&) = default;
};

// The farthest the scene may be moved either way.
inline constexpr std::int32_t kMaxSceneShift = 64;

// The setting's "dx,dy" in whole pixels; an empty value (or "N/A") is no shift. Anything else that
// is not two whole numbers within kMaxSceneShift fails with error 13 (Type mismatch).
SceneShift parse_scene_shift(const std::string& text);

// Moves a picture of bottom-up BGR rows `stride` bytes apart by `shift` in place; the edge the scene
// leaves is filled with the scene's last row or column.
void shift_scene(std::uint8_t* bottom_up, std::int32_t width, std::int32_t height, std::int32_t stride,
                 SceneShift shift);

} // namespace veltro
