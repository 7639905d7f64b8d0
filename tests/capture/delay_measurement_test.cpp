#include "capture/delay_measurement.h"
#include "capture/led_probe.h"
#include "own_settings.h"
#include "support/clocks.h"

#include <cmath>
#include <gtest/gtest.h>
#include <set>

namespace veltro {
namespace {

// A camera without pictures: the LED as an interlaced source 40 ms a frame would show it, each field
// arriving `delay_ms` after the moment it shows; with `flicker` something bright passes through the box
// in every third field.
std::vector<LedSample> filmed(const std::vector<LedSwitch>& switches, std::uint32_t first_frame,
                              std::uint32_t until, std::int32_t delay_ms, bool flicker) {
    const auto lit = [&](std::uint32_t moment) {
        bool on = false;
        for (const LedSwitch& s : switches) {
            if (elapsed_ms(s.stamp, moment) >= 0) {
                on = s.on;
            }
        }
        return on;
    };
    std::vector<LedSample> samples;
    int field = 0;
    for (std::uint32_t m = first_frame; elapsed_ms(m, until) > 0; m += 40) {
        for (const bool second : {false, true}) {
            const bool disturbed = flicker && ++field % 3 == 0;
            const double level = disturbed ? 900.0 : lit(second ? m + 20 : m) ? 600.0 : 150.0;
            samples.push_back({m + static_cast<std::uint32_t>(delay_ms), second, level});
        }
    }
    return samples;
}

TEST(DelayMeasurement, FlashesCoverThePicturePeriodEvenlyAndTheDelayIsFoundAcrossTheCounterWrap) {
    // Each flash in its own slice of the picture period, long enough, and far enough from the next that
    // the longest delay cannot be taken for the next flash's.
    for (const double period : {20.0, 40.0}) {
        const std::vector<PlannedSwitch> plan = plan_led_switches(20, period, 7);
        ASSERT_EQ(plan.size(), 41u);
        std::set<int> slices;
        for (std::size_t i = 1; i < plan.size(); i += 2) {
            ASSERT_TRUE(plan[i].on && !plan[i + 1].on);
            EXPECT_EQ(plan[i + 1].at - plan[i].at, kDelayOnMs);
            const double phase = std::fmod(plan[i].at + 0.5, period);
            slices.insert(static_cast<int>(phase / period * 20));
            if (i + 2 < plan.size()) {
                EXPECT_GT(plan[i + 2].at - plan[i].at, kMaxCaptureDelayMs + period);
            }
        }
        EXPECT_EQ(slices.size(), 20u) << "period " << period;
    }

    // The run on a counter that wraps in the middle, pictures 7 ms off the run's begin.
    DelayMeasurement run(20, 40, true, 3);
    const std::uint32_t begin = 0xFFFFFFFFu - 5000;
    run.begin(begin);
    std::uint32_t now = begin;
    std::vector<LedSwitch> made;
    while (!run.finished(now)) {
        if (const auto on = run.due(now)) {
            run.switched(*on, now);
            made.push_back({now, *on});
            continue;
        }
        now += static_cast<std::uint32_t>(std::max(run.wait_ms(now), 1));
    }
    ASSERT_EQ(made.size(), 41u);
    run.add(filmed(made, begin - 33, now, 137, false));
    const DelayResult r = run.result();
    ASSERT_EQ(r.outcome, DelayResult::Outcome::Measured) << delay_result_text(r);
    EXPECT_EQ(r.flashes, 20);
    EXPECT_NEAR(r.delay_ms, 137, 1.0);
    // The flashes spread over the 20 ms field period: a third of it.
    EXPECT_NEAR(r.spread_ms, 20 / std::sqrt(12.0), 1.0);

    // Something else that changes in the box spoils the measurement rather than giving a delay.
    const DelayResult disturbed =
        analyse_capture_delay(made, filmed(made, begin - 33, now, 137, true), 20, 40);
    EXPECT_EQ(disturbed.outcome, DelayResult::Outcome::Unsteady);
    // Nothing in the box: no change.
    const DelayResult blind = analyse_capture_delay(made, filmed({}, begin - 33, now, 137, false), 20, 40);
    EXPECT_EQ(blind.outcome, DelayResult::Outcome::NoChange);
    EXPECT_EQ(delay_result_text(blind), "no change found");
    DelayResult shown;
    shown.outcome = DelayResult::Outcome::Measured;
    shown.delay_ms = 200.44;
    shown.spread_ms = 1.24;
    shown.flashes = 20;
    EXPECT_EQ(delay_result_text(shown), "capture delay 200.4 ms \u00b1 1.2 ms (20 flashes)");
}

TEST(LedProbe, ReadsEachFieldOfTheBoxAndSkipsAPictureTheBoxDoesNotFit) {
    cDIBSection picture;
    picture.Create(40, 30);
    // Rows 10 to 15 of columns 20 to 23 white on the even rows (the first field), black elsewhere.
    for (int y = 10; y < 16; y += 2) {
        std::fill_n(picture.scan_line(y) + 3 * 20, 12, std::uint8_t{255});
    }
    const LedBox box{20, 10, 4, 6};
    LedProbe fields(box, true);
    fields.take(picture, 1000);
    const std::vector<LedSample> two = fields.take_samples();
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].arrival, 1000u);
    EXPECT_FALSE(two[0].second_field);
    EXPECT_DOUBLE_EQ(two[0].level, 765);
    EXPECT_TRUE(two[1].second_field);
    EXPECT_DOUBLE_EQ(two[1].level, 0);
    // A box starting on an odd row still takes the even rows as the first field.
    EXPECT_DOUBLE_EQ(led_box_level(picture, {20, 11, 4, 4}, 0), 765);

    LedProbe frames(box, false);
    frames.take(picture, 1040);
    cDIBSection small;
    small.Create(22, 30);
    frames.take(small, 1080);
    const std::vector<LedSample> one = frames.take_samples();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_DOUBLE_EQ(one[0].level, 765.0 / 2);
    EXPECT_TRUE(frames.take_samples().empty());

    EXPECT_EQ(led_box_text(*parse_led_box("36,112,12,12")), "36,112,12,12");
    for (const char* bad : {"", "N/A", "1,2,3", "1,2,3,4,5", "1,2,33,4", "1,2,1,4", "-1,2,3,4", "1, 2,3,4"}) {
        EXPECT_FALSE(parse_led_box(bad)) << bad;
    }
}

class DelayRecordTest : public testing::OwnSettingsTest {};

TEST_F(DelayRecordTest, ARecordingCarriesTheLastMeasurementOnlyForItsOwnSourceAndFormat) {
    EXPECT_EQ(stored_delay_record_for("Grabber", "1920*1080/25"), "");
    const DelayRecord record{"2024-05-01 10:11:12", "Grabber", "1920*1080/25",
                             "capture delay 181.5 ms \u00b1 5.8 ms (20 flashes)"};
    store_delay_record(record);
    const std::string text = stored_delay_record_for("Grabber", "1920*1080/25");
    EXPECT_EQ(
        text,
        "2024-05-01 10:11:12; Grabber; 1920*1080/25; capture delay 181.5 ms \u00b1 5.8 ms (20 flashes)");
    EXPECT_EQ(parse_delay_record(text)->result, record.result);
    EXPECT_EQ(stored_delay_record_for("Grabber", "1920*1080/50"), "");
    EXPECT_EQ(stored_delay_record_for("Other grabber", "1920*1080/25"), "");
}

} // namespace
} // namespace veltro
