#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace veltro {

// The finish-line scene of the demo race camera: a 1920 x 1080 picture of a track seen from the
// side, a vertical finish line in the centre column, six dogs in their box colours running left to
// right at different speeds, and a burned-in running clock. The race repeats every kLapMs; the moment
// each dog's nose reaches the finish column is known exactly, so recordings of it can be judged
// against the truth.
class DemoRaceScene {
public:
    static constexpr std::int32_t kWidth = 1920;
    static constexpr std::int32_t kHeight = 1080;
    static constexpr std::int32_t kFinishX = kWidth / 2;
    static constexpr std::int32_t kLapMs = 6000;
    static constexpr std::int32_t kStride = kWidth * 3;
    static constexpr std::int32_t kImageSize = kStride * kHeight;

    DemoRaceScene();

    // Draws the scene into bottom-up BGR rows of kStride bytes: rows 0, 2, 4, ... counted from the
    // top at `top_field_ms`, rows 1, 3, 5, ... at `bottom_field_ms` (the same value for a
    // progressive picture). Times are milliseconds since the race start.
    void render(std::uint8_t* bottom_up, double top_field_ms, double bottom_field_ms) const;

    // Milliseconds after the start of a lap at which the nose of the dog of `box` (1 to 6) reaches
    // the finish column: the dog covers that column from then on.
    static std::int32_t crossing_ms(int box);
    // The right-most column the dog of `box` covers at `scene_ms` is floor(nose_x).
    static double nose_x(int box, double scene_ms);
    // Rows (from the top, first and last inclusive) of the dog's head, the part that crosses first.
    static std::pair<std::int32_t, std::int32_t> head_rows(int box);

private:
    void draw_row(std::uint8_t* row, std::int32_t y, double scene_ms,
                  const std::vector<std::uint8_t>& clock) const;

    std::vector<std::uint8_t> background_; // top-down rows
};

} // namespace veltro
