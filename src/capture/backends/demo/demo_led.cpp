#include "capture/backends/demo/demo_led.h"

#include "capture/backends/demo/demo_race_scene.h"
#include "capture/hdmi_crop.h"
#include "support/clocks.h"

#include <cstring>

namespace veltro {

namespace {
// Switches kept: far more than a measurement needs to look back over a capture delay.
constexpr std::size_t kKept = 256;
constexpr std::int32_t kRim = 4; // the lamp's dark housing around it
constexpr std::uint8_t kHousingBgr[3] = {38, 38, 38};
constexpr std::uint8_t kDarkBgr[3] = {20, 24, 70};
constexpr std::uint8_t kLitBgr[3] = {120, 140, 255};
} // namespace

void DemoLed::switched(bool on, std::uint32_t stamp) {
    std::lock_guard lock(mutex_);
    switches_.push_back({stamp, on});
    if (switches_.size() > kKept) {
        switches_.pop_front();
    }
}

bool DemoLed::lit_at(std::uint32_t moment) const {
    std::lock_guard lock(mutex_);
    for (auto s = switches_.rbegin(); s != switches_.rend(); ++s) {
        if (elapsed_ms(s->stamp, moment) >= 0) {
            return s->on;
        }
    }
    return false;
}

void DemoLed::clear() {
    std::lock_guard lock(mutex_);
    switches_.clear();
}

DemoLed& demo_led() {
    static DemoLed led;
    return led;
}

void draw_demo_led(std::uint8_t* bottom_up, bool first_lit, bool second_lit) {
    for (std::int32_t y = DemoLed::kY - kRim; y < DemoLed::kY + DemoLed::kSize + kRim; ++y) {
        std::uint8_t* row = bottom_up + static_cast<std::size_t>(DemoRaceScene::kHeight - 1 - y) *
                                            static_cast<std::size_t>(DemoRaceScene::kStride);
        const bool lamp_row = y >= DemoLed::kY && y < DemoLed::kY + DemoLed::kSize;
        const std::uint8_t* lamp = (y % 2 == 0 ? first_lit : second_lit) ? kLitBgr : kDarkBgr;
        for (std::int32_t x = DemoLed::kX - kRim; x < DemoLed::kX + DemoLed::kSize + kRim; ++x) {
            const bool lamp_column = x >= DemoLed::kX && x < DemoLed::kX + DemoLed::kSize;
            std::memcpy(row + 3 * x, lamp_row && lamp_column ? lamp : kHousingBgr, 3);
        }
    }
}

LedBox demo_led_box(std::int32_t crop_width, std::int32_t crop_height) {
    const CropOrigin origin =
        hdmi_crop_origin(DemoRaceScene::kWidth, DemoRaceScene::kHeight, crop_width, crop_height);
    return {DemoLed::kX - origin.x0, DemoLed::kY - origin.y0, DemoLed::kSize, DemoLed::kSize};
}

} // namespace veltro
