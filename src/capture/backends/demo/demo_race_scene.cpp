#include "capture/backends/demo/demo_race_scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace veltro {

namespace {

struct Dog {
    double speed;       // pixels per millisecond
    std::int32_t cross; // ms after the lap start
    std::uint8_t bgr[3];
};

// Jackets in the box colours; speeds and crossing moments chosen so that every dog starts off the
// left edge, crosses between 1.9 and 2.3 s after the start and has left the picture before the lap
// ends. The crossing moments are not multiples of any frame period.
constexpr Dog kDogs[6] = {
    {0.95, 2143, {0, 0, 181}}, {1.05, 2037, {202, 116, 64}}, {0.88, 2291, {255, 255, 255}},
    {1.00, 2089, {0, 0, 0}},   {0.92, 2186, {27, 177, 231}}, {1.10, 1987, {255, 255, 255}},
};

constexpr std::int32_t kLaneTop = 240;
constexpr std::int32_t kLaneHeight = 108;
constexpr std::int32_t kLanesBottom = kLaneTop + 6 * kLaneHeight; // first row below the last lane
constexpr std::int32_t kDogLength = 170;
constexpr std::int32_t kHeadLength = 34;
constexpr std::int32_t kHeadFirst = 28; // head rows within the lane
constexpr std::int32_t kHeadLast = 51;
// Dark heads on a white line: the nose shows on every dog whatever its jacket colour.
constexpr std::uint8_t kHeadBgr[3] = {40, 52, 70};
constexpr std::uint8_t kBandBgr[3] = {160, 160, 160};

// Running clock: "mm:ss,cc" in a 5 x 7 font enlarged 4 times, right of the finish line, inside every
// crop window.
constexpr std::int32_t kGlyphScale = 4;
constexpr std::int32_t kClockX = 972;
constexpr std::int32_t kClockY = 190;
constexpr std::int32_t kGlyphAdvance = 22;
constexpr std::int32_t kClockChars = 8;

// Rows of each glyph, the high bit of 5 on the left: digits 0-9, then ':' and ','.
constexpr std::uint8_t kGlyphs[12][7] = {
    {14, 17, 19, 21, 25, 17, 14}, {4, 12, 4, 4, 4, 4, 14},   {14, 17, 1, 2, 4, 8, 31},
    {31, 2, 4, 2, 1, 17, 14},     {2, 6, 10, 18, 31, 2, 2},  {31, 16, 30, 1, 1, 17, 14},
    {6, 8, 16, 30, 17, 17, 14},   {31, 1, 2, 4, 8, 8, 8},    {14, 17, 17, 14, 17, 17, 14},
    {14, 17, 17, 15, 1, 2, 12},   {0, 12, 12, 0, 12, 12, 0}, {0, 0, 0, 0, 12, 4, 8},
};

std::uint32_t grain(std::uint32_t x, std::uint32_t y) {
    std::uint32_t h = x * 374761393u + y * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return (h ^ (h >> 16)) & 15u;
}

void put(std::uint8_t* row, std::int32_t x, const std::uint8_t bgr[3]) {
    std::memcpy(row + 3 * x, bgr, 3);
}

void span(std::uint8_t* row, std::int64_t from, std::int64_t to, const std::uint8_t bgr[3]) {
    from = std::max<std::int64_t>(from, 0);
    to = std::min<std::int64_t>(to, DemoRaceScene::kWidth - 1);
    for (std::int64_t x = from; x <= to; ++x) {
        put(row, static_cast<std::int32_t>(x), bgr);
    }
}

// Glyph indices of the clock text at `ms`: minutes, ':', seconds, ',', hundredths (cut, not rounded,
// as a running clock shows them).
void clock_glyphs(double ms, std::uint8_t out[kClockChars]) {
    const std::int64_t t = ms < 0 ? 0 : static_cast<std::int64_t>(std::floor(ms));
    const std::int64_t minutes = (t / 60000) % 100;
    const std::int64_t seconds = (t / 1000) % 60;
    const std::int64_t hundredths = (t % 1000) / 10;
    const std::int64_t values[3] = {minutes, seconds, hundredths};
    for (int i = 0; i < 3; ++i) {
        out[3 * i] = static_cast<std::uint8_t>(values[i] / 10);
        out[3 * i + 1] = static_cast<std::uint8_t>(values[i] % 10);
    }
    out[2] = 10;
    out[5] = 11;
}

} // namespace

DemoRaceScene::DemoRaceScene() : background_(static_cast<std::size_t>(kImageSize)) {
    for (std::int32_t y = 0; y < kHeight; ++y) {
        std::uint8_t* row = background_.data() + static_cast<std::size_t>(y) * kStride;
        const bool track = y >= kLaneTop && y < kLanesBottom + 2;
        const bool lane_line = track && ((y - kLaneTop) % kLaneHeight < 2 || y >= kLanesBottom);
        for (std::int32_t x = 0; x < kWidth; ++x) {
            const int n =
                static_cast<int>(grain(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)));
            std::uint8_t bgr[3];
            if (!track) {
                bgr[0] = static_cast<std::uint8_t>(45 + n); // grass
                bgr[1] = static_cast<std::uint8_t>(115 + n);
                bgr[2] = static_cast<std::uint8_t>(60 + n);
            } else if (lane_line || (x >= kFinishX - 1 && x <= kFinishX + 1)) {
                bgr[0] = bgr[1] = bgr[2] = 245;
            } else {
                bgr[0] = static_cast<std::uint8_t>(105 + n); // sand, lighter towards the camera
                bgr[1] = static_cast<std::uint8_t>(150 + n + (y - kLaneTop) / 40);
                bgr[2] = static_cast<std::uint8_t>(190 + n + (y - kLaneTop) / 40);
            }
            put(row, x, bgr);
        }
    }
    // Dark panel behind the clock.
    const std::uint8_t panel[3] = {30, 30, 30};
    for (std::int32_t y = kClockY - 6; y < kClockY + 7 * kGlyphScale + 6; ++y) {
        std::uint8_t* row = background_.data() + static_cast<std::size_t>(y) * kStride;
        span(row, kClockX - 6, kClockX + kClockChars * kGlyphAdvance + 4, panel);
    }
}

std::int32_t DemoRaceScene::crossing_ms(int box) {
    return kDogs[box - 1].cross;
}

double DemoRaceScene::nose_x(int box, double scene_ms) {
    const Dog& d = kDogs[box - 1];
    return kFinishX + d.speed * (scene_ms - d.cross);
}

std::pair<std::int32_t, std::int32_t> DemoRaceScene::head_rows(int box) {
    const std::int32_t top = kLaneTop + (box - 1) * kLaneHeight;
    return {top + kHeadFirst, top + kHeadLast};
}

void DemoRaceScene::render(std::uint8_t* bottom_up, double top_field_ms, double bottom_field_ms) const {
    std::vector<std::uint8_t> clock_top(kClockChars);
    std::vector<std::uint8_t> clock_bottom(kClockChars);
    clock_glyphs(top_field_ms, clock_top.data());
    clock_glyphs(bottom_field_ms, clock_bottom.data());
    for (std::int32_t y = 0; y < kHeight; ++y) {
        std::uint8_t* row = bottom_up + static_cast<std::size_t>(kHeight - 1 - y) * kStride;
        std::memcpy(row, background_.data() + static_cast<std::size_t>(y) * kStride, kStride);
        const bool top = y % 2 == 0;
        draw_row(row, y, top ? top_field_ms : bottom_field_ms, top ? clock_top : clock_bottom);
    }
}

void DemoRaceScene::draw_row(std::uint8_t* row, std::int32_t y, double scene_ms,
                             const std::vector<std::uint8_t>& clock) const {
    if (y >= kClockY && y < kClockY + 7 * kGlyphScale) {
        const std::int32_t glyph_row = (y - kClockY) / kGlyphScale;
        const std::uint8_t white[3] = {235, 235, 235};
        for (std::int32_t c = 0; c < kClockChars; ++c) {
            const std::uint8_t bits = kGlyphs[clock[static_cast<std::size_t>(c)]][glyph_row];
            for (std::int32_t b = 0; b < 5; ++b) {
                if (bits & (16 >> b)) {
                    const std::int32_t x = kClockX + c * kGlyphAdvance + b * kGlyphScale;
                    span(row, x, x + kGlyphScale - 1, white);
                }
            }
        }
        return;
    }
    if (y < kLaneTop || y >= kLanesBottom) {
        return;
    }
    const int box = (y - kLaneTop) / kLaneHeight + 1;
    const std::int32_t r = (y - kLaneTop) % kLaneHeight;
    const Dog& d = kDogs[box - 1];
    const double lap_ms = std::fmod(scene_ms, static_cast<double>(kLapMs));
    const std::int64_t nose =
        static_cast<std::int64_t>(std::floor(nose_x(box, lap_ms < 0 ? lap_ms + kLapMs : lap_ms)));
    if (nose < -60 || nose - kDogLength - 30 > kWidth) {
        return;
    }
    if (r >= kHeadFirst && r <= kHeadLast) {
        span(row, nose - kHeadLength + 1, nose, kHeadBgr);
    }
    if (r >= 40 && r < 80) {
        const bool band = box == 6 && ((r >= 50 && r < 60) || r >= 70);
        span(row, nose - kDogLength + 1, nose - kHeadLength, band ? kBandBgr : d.bgr);
    }
    if (r >= 44 && r < 48) {
        span(row, nose - kDogLength - 28, nose - kDogLength, kHeadBgr); // tail
    }
    if (r >= 80 && r < 100) {
        // Legs swing with the stride.
        const std::int64_t swing =
            static_cast<std::int64_t>(std::lround(8.0 * std::sin(scene_ms / 45.0) * (r - 80) / 20.0));
        for (const std::int64_t at : {150, 126, 66, 44}) {
            const std::int64_t x = nose - at + ((at > 100) ? -swing : swing);
            span(row, x, x + 6, kHeadBgr);
        }
    }
}

} // namespace veltro
