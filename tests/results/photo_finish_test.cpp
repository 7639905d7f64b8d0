// The photo finish: the strip of a judged demo heat with a tick for every box where its time is.
#include "app/demo_heat.h"
#include "fake_operator.h"
#include "recording/video_file_handler.h"
#include "results/photo_finish.h"
#include "review/review.h"
#include "support/settings.h"
#include "temp_dir.h"
#include "timing/heat_timing.h"
#include "timing/lengths.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(PhotoFinish, EveryTimedBoxHasATickAtItsPictureOnTheTimeScale) {
    testing::FakeOperator op;
    testing::TempDir dir;
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    DemoHeatOptions options;
    options.path = dir.file("heat.px3");
    options.fast = true;
    const DemoHeatResult demo = record_demo_heat(options);
    cls_VideoFile_handler rec;
    HeatTiming timing(system_clock());
    Review review(rec, timing, system_clock());
    ASSERT_EQ(review.open(options.path), Review::OpenResult::Opened);
    for (std::int16_t box = 1; box <= 5; ++box) { // box 6 is left without a time
        review.Goto_Time(*demo.crossing_ms[static_cast<std::size_t>(box - 1)]);
        timing.Set_Time(box, *review.frame_time(), false);
    }
    const PublishedHeat heat = publish_heat(rec, 0, kDefaultUsPerLength);
    FinishStripOptions strip_options;
    const Goal_line line = review.drawn_goal_line();
    strip_options.line = {line.x1, line.y1, line.x2, line.y2};
    strip_options.goal_compensation = timing.settings().goal_compensation; // as the review timed them
    const FinishStrip strip = build_finish_strip(options.path, strip_options);

    const PhotoFinish finish = photo_finish_of(strip, heat);
    ASSERT_EQ(finish.ticks.size(), 5u);
    EXPECT_EQ(finish.image.Height(), strip.image.Height() + kPhotoFinishBandHeight);
    for (std::int32_t y = 0; y < strip.image.Height(); ++y) // the strip itself is untouched
        ASSERT_TRUE(std::equal(strip.image.scan_line(y), strip.image.scan_line(y) + 3 * strip.image.Width(),
                               finish.image.scan_line(y)))
            << "row " << y;
    for (const PhotoFinishTick& tick : finish.ticks) {
        // Under the scale the tick's column is ink, and the scale gives that column the box's time.
        const std::uint8_t* p = finish.image.scan_line(strip.image.Height() + 2) + 3 * tick.x;
        EXPECT_LT(p[0] + p[1] + p[2], 3 * 200) << "box " << tick.box;
        const auto time = strip.times.at(static_cast<std::size_t>(strip.picture_at(tick.x) - 1));
        ASSERT_TRUE(time) << "box " << tick.box;
        EXPECT_EQ(*time, rec.Velt_Heat_time(tick.box, false)) << "box " << tick.box;
    }
    set_settings_path({});
}

} // namespace
} // namespace veltro
