#include "app/demo_heat.h"
#include "capture/backends/demo/demo_race_scene.h"
#include "capture/hdmi_crop.h"
#include "recording/finish_estimator.h"
#include "recording/finish_strip.h"
#include "recording/video_file_handler.h"
#include "support/files.h"
#include "support/settings.h"
#include "temp_dir.h"
#include "timing/heat_timing.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace veltro {
namespace {

struct Case {
    std::size_t format; // 0 = 25 interlaced (fields), 1 = 50 progressive
    std::int16_t crop_w, crop_h;
};

class FinishEstimateAccuracy : public ::testing::TestWithParam<Case> {
protected:
    FinishEstimateAccuracy() { set_settings_path(dir_.file("Veltro_HDMI.ini")); }
    ~FinishEstimateAccuracy() override { set_settings_path({}); }
    testing::TempDir dir_;
};

// Every box given the first picture at or past its true crossing, as the judge gives it: the estimate
// between that picture and the one before lies within 5 ms of the truth the demo scene knows. The
// pictures' own times are up to a period (20 ms) plus the rule's 2 ms late.
TEST_P(FinishEstimateAccuracy, EachDogsCrossingWithinFiveMillisecondsOfTheTruth) {
    const Case c = GetParam();
    DemoHeatOptions o;
    o.path = dir_.file("demo.px3");
    o.capture_ms = 2600;
    o.format = c.format;
    o.crop_width = c.crop_w;
    o.crop_height = c.crop_h;
    o.fast = true;
    const DemoHeatResult result = record_demo_heat(o);

    const CropOrigin origin = hdmi_crop_origin(1920, 1080, c.crop_w, c.crop_h);
    const std::int32_t x = DemoRaceScene::kFinishX - origin.x0;
    const StripLine line{x, c.crop_h / 10, x, c.crop_h * 9 / 10};
    FinishStripOptions strip_options;
    strip_options.line = line;
    const FinishStrip strip = build_finish_strip(o.path, strip_options);

    BoxPositions given{};
    for (int box = 1; box <= 6; ++box) {
        const auto truth = result.crossing_ms[static_cast<std::size_t>(box - 1)];
        ASSERT_TRUE(truth);
        const auto at = std::find_if(strip.times.begin(), strip.times.end(),
                                     [&](const auto& t) { return t && *t >= *truth; });
        given[static_cast<std::size_t>(box)] = static_cast<std::int16_t>(at - strip.times.begin() + 1);
    }
    FinishEstimator estimator(o.path, TimingSettings{}.goal_compensation);
    const BoxEstimates estimates = estimator.estimate(given, line);
    for (int box = 1; box <= 6; ++box) {
        const auto& e = estimates[static_cast<std::size_t>(box)];
        ASSERT_TRUE(e) << "box " << box;
        EXPECT_NEAR(e->ms, *result.crossing_ms[static_cast<std::size_t>(box - 1)], 5) << "box " << box;
        EXPECT_GE(e->uncertainty_ms, 1);
        EXPECT_LE(e->uncertainty_ms, 6);
    }

    // Where the line cannot tell which nose is whose, or no nose crosses, nothing is said: the first
    // picture, a picture long before any dog came (a hidden dog looks the same), two boxes given the
    // picture of one crossing, a line lying across the track.
    BoxPositions unsure{};
    unsure[1] = 1;
    unsure[2] = 8;
    unsure[3] = given[5];
    unsure[5] = given[5];
    for (const auto& e : estimator.estimate(unsure, line)) {
        EXPECT_FALSE(e);
    }
    for (const auto& e : estimator.estimate(given, StripLine{0, 300, c.crop_w - 1, 310})) {
        EXPECT_FALSE(e);
    }

    // The times given and stored, px3tool's JSON carries the same estimates beside them.
    {
        cls_VideoFile_handler rec;
        rec.Open_File(o.path);
        rec.Velt_Goal_Finish(std::to_string(x) + "," + std::to_string(line.y1) + "," + std::to_string(x) +
                             "," + std::to_string(line.y2));
        for (std::int16_t box = 1; box <= 6; ++box) {
            const std::int16_t p = given[static_cast<std::size_t>(box)];
            rec.Velt_Dog_name(box, "Dog " + std::to_string(box));
            rec.Velt_Heat_time(box, false, *strip.times[static_cast<std::size_t>(p - 1)]);
            rec.Velt_heat_frame(box, p);
        }
        rec.Write_XML_header();
    }
    const std::string out = dir_.file("results.json");
    ASSERT_EQ(
        std::system(
            (std::string(PX3TOOL_PATH) + " results --format json '" + o.path + "' >'" + out + "'").c_str()),
        0);
    const auto json = nlohmann::json::parse(read_whole_file(out).value_or("{}"));
    ASSERT_EQ(json["results"].size(), 6u);
    for (const auto& row : json["results"]) {
        const int box = row["box"].get<int>();
        EXPECT_EQ(row["estimate_ms"].get<int>(), estimates[static_cast<std::size_t>(box)]->ms)
            << "box " << box;
        EXPECT_EQ(row["estimate_uncertainty_ms"].get<int>(),
                  estimates[static_cast<std::size_t>(box)]->uncertainty_ms);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FinishEstimateAccuracy,
                         ::testing::Values(Case{0, 400, 880}, Case{1, 400, 880}, Case{0, 600, 1080},
                                           Case{1, 600, 1080}),
                         [](const ::testing::TestParamInfo<Case>& c) {
                             return "format" + std::to_string(c.param.format) + "_" +
                                    std::to_string(c.param.crop_w) + "x" + std::to_string(c.param.crop_h);
                         });

} // namespace
} // namespace veltro
