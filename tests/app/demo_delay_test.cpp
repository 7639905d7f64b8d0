#include "app/demo_delay.h"
#include "support/veltro_error.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(DemoDelay, TheDemoCamerasDelayIsMeasuredThroughItsLedInEveryFormatAndCrop) {
    struct Case {
        std::size_t format;
        std::int16_t width, height;
    };
    for (const Case c : {Case{0, 400, 880}, Case{1, 576, 720}, Case{0, 600, 1080}}) {
        DemoDelayOptions options;
        options.format = c.format;
        options.crop_width = c.width;
        options.crop_height = c.height;
        options.seed = static_cast<std::uint32_t>(c.width);
        const DelayResult r = measure_demo_delay(options);
        const std::string what = std::to_string(c.format) + " " + std::to_string(c.width);
        ASSERT_EQ(r.outcome, DelayResult::Outcome::Measured) << what << ": " << delay_result_text(r);
        EXPECT_EQ(r.flashes, 20) << what;
        EXPECT_NEAR(r.delay_ms, 200, 2) << what;
    }

    // Grass beside the LED, and a lane the dogs run through: nothing there follows the LED.
    for (const LedBox box : {LedBox{10, 10, 12, 12}, LedBox{180, 300, 20, 20}}) {
        DemoDelayOptions options;
        options.format = 1;
        options.box = box;
        EXPECT_EQ(measure_demo_delay(options).outcome, DelayResult::Outcome::NoChange) << led_box_text(box);
    }
    DemoDelayOptions outside;
    outside.box = LedBox{390, 10, 12, 12};
    EXPECT_THROW(measure_demo_delay(outside), VeltroError);
}

} // namespace
} // namespace veltro
