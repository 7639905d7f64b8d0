#include "app/demo_heat.h"
#include "capture/backends/demo/demo_race_scene.h"
#include "capture/hdmi_crop.h"
#include "fake_operator.h"
#include "recording/finish_strip.h"
#include "support/settings.h"
#include "temp_dir.h"
#include "timing/heat_timing.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace veltro {
namespace {

struct Case {
    std::size_t format;
    std::int16_t crop_w, crop_h;
};

class FinishStripOfADemoHeat : public ::testing::TestWithParam<Case> {
protected:
    FinishStripOfADemoHeat() { set_settings_path(dir_.file("Veltro_HDMI.ini")); }
    ~FinishStripOfADemoHeat() override { set_settings_path({}); }
    testing::TempDir dir_;
    testing::FakeOperator op_;
};

// Whether the strip column at x shows the dark head of the dog of `box` over the white finish line:
// the median brightness of its head rows (strip rows, as the line starts at the crop's top).
bool head_at(const Finish_strip& strip, std::int32_t x, int box, CropOrigin origin) {
    const auto [first, last] = DemoRaceScene::Head_Rows(box);
    std::vector<int> luma;
    for (std::int32_t y = first; y <= last; ++y) {
        const std::uint8_t* p = strip.image.ScanLine(y - origin.y0) + 3 * x;
        luma.push_back((p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8);
    }
    std::nth_element(luma.begin(), luma.begin() + static_cast<long>(luma.size() / 2), luma.end());
    return luma[luma.size() / 2] < 150;
}

// One look at the strip judges the heat: each dog's head reaches the finish line in the column of
// the first picture at or after its true crossing time, or the next one, and not in the column before.
TEST_P(FinishStripOfADemoHeat, EachDogReachesTheLineInTheColumnOfItsCrossingTime) {
    const Case c = GetParam();
    DemoHeatOptions options;
    options.path = dir_.file("demo.px3");
    options.capture_ms = 2600;
    options.format = c.format;
    options.crop_width = c.crop_w;
    options.crop_height = c.crop_h;
    options.fast = true;
    const DemoHeatResult result = Record_Demo_Heat(options);

    const CropOrigin origin = HDMI_Crop_Origin(1920, 1080, c.crop_w, c.crop_h);
    Finish_strip_options strip_options;
    const std::int32_t x = DemoRaceScene::kFinishX - origin.x0;
    strip_options.line = {x, 0, x, c.crop_h - 1};
    strip_options.goal_compensation = TimingSettings{}.goal_compensation;
    const Finish_strip strip = Build_Finish_Strip(options.path, strip_options);
    EXPECT_EQ(strip.field_mode, c.format == 0);
    ASSERT_EQ(strip.Pictures(), c.format == 0 ? 2 * result.frames : result.frames);
    ASSERT_EQ(strip.strip_height, c.crop_h);

    for (int box = 1; box <= 6; ++box) {
        const auto truth = result.crossing_ms[static_cast<std::size_t>(box - 1)];
        ASSERT_TRUE(truth) << "box " << box;
        const auto at_or_after = std::find_if(strip.times.begin(), strip.times.end(),
                                              [&](const auto& t) { return t && *t >= *truth; });
        ASSERT_NE(at_or_after, strip.times.end()) << "box " << box;
        const auto position = static_cast<std::int16_t>(at_or_after - strip.times.begin() + 1);
        ASSERT_GT(position, 1);
        auto head = [&](std::int32_t p) {
            return head_at(strip, strip.Column_of(static_cast<std::int16_t>(p)), box, origin);
        };
        EXPECT_FALSE(head(position - 1)) << "box " << box << " at picture " << position - 1;
        EXPECT_TRUE(head(position) || head(position + 1)) << "box " << box << " at picture " << position;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FinishStripOfADemoHeat,
                         ::testing::Values(Case{0, 600, 1080}, Case{1, 600, 1080}, Case{0, 400, 880},
                                           Case{1, 400, 880}));

} // namespace
} // namespace veltro
