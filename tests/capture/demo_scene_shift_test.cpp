#include "capture/backends/demo/demo_camera.h"
#include "capture/backends/demo/demo_scene_shift.h"
#include "own_settings.h"
#include "support/veltro_error.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(DemoSceneShift, MovesThePictureRightAndDownAndRepeatsTheEdgeItLeaves) {
    // 3 x 3 pixels, bottom-up rows of 12 bytes; each pixel's blue byte is 10 * row from the top + column.
    constexpr std::int32_t kStride = 12;
    std::vector<std::uint8_t> picture(3 * kStride);
    const auto blue = [&picture](std::int32_t x, std::int32_t y) -> std::uint8_t& {
        return picture[static_cast<std::size_t>((2 - y) * kStride + 3 * x)];
    };
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 3; ++x)
            blue(x, y) = static_cast<std::uint8_t>(10 * y + x);
    shift_scene(picture.data(), 3, 3, kStride, {1, 1});
    EXPECT_EQ(blue(1, 1), 0);
    EXPECT_EQ(blue(2, 2), 11);
    EXPECT_EQ(blue(0, 0), 0); // the corner the scene left
    EXPECT_EQ(blue(2, 0), 1);
    shift_scene(picture.data(), 3, 3, kStride, {-1, -1});
    EXPECT_EQ(blue(0, 0), 0);
    EXPECT_EQ(blue(1, 1), 11);
    EXPECT_EQ(blue(2, 2), 11);
}

class DemoCameraShiftSetting : public testing::OwnSettingsTest {};

TEST_F(DemoCameraShiftSetting, IsReadAtStartAndRefusedWhenItIsNoShift) {
    EXPECT_EQ(parse_scene_shift("N/A"), SceneShift{});
    EXPECT_EQ(parse_scene_shift(" 3,-64 "), (SceneShift{3, -64}));
    for (const char* bad : {"3", "3,", "a,1", "65,0", "1,2,3"}) {
        try {
            (void)parse_scene_shift(bad);
            ADD_FAILURE() << bad;
        } catch (const VeltroError& e) {
            EXPECT_EQ(e.number(), err::kTypeMismatch) << bad;
        }
    }
    ManualClock clock(1000);
    DemoCamera camera(clock);
    Write_Setting(keys::demo_camera_shift, "3;1");
    EXPECT_NE(camera.start(0).find("\"3;1\" is not two whole numbers"), std::string::npos);
    Write_Setting(keys::demo_camera_shift, "3,1");
    EXPECT_EQ(camera.start(0), "");
}

} // namespace
} // namespace veltro
