#include "support/clocks.h"
#include "support/kernel_stamps.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

constexpr std::int32_t kHour = 3600000;

// Kernel stamps and the program's own clock land on the counter alike: cut to whole milliseconds
// (towards the past, before zero too), wrapping at 2^32.
TEST(SystemClock, MonotonicReadingsLandOnTheCounterAsTheProgramReadsIt) {
    EXPECT_EQ(counter_ms_at(timespec{0, 999999}), 0u);
    EXPECT_EQ(counter_ms_at(timespec{1, 999999999}), 1999u);
    EXPECT_EQ(counter_ms_at(timespec{4294967, 295999999}), 0xFFFFFFFFu);
    EXPECT_EQ(counter_ms_at(timespec{4294967, 296000000}), 0u);
    EXPECT_EQ(counter_ms_at(-1), 0xFFFFFFFFu);
    EXPECT_EQ(counter_ms_at(-1000000), 0xFFFFFFFFu);
    EXPECT_EQ(counter_ms_at(-1000001), 0xFFFFFFFEu);
    timespec before{};
    timespec after{};
    ::clock_gettime(CLOCK_MONOTONIC, &before);
    const std::uint32_t program = system_clock().millis();
    ::clock_gettime(CLOCK_MONOTONIC, &after);
    EXPECT_GE(elapsed_ms(counter_ms_at(before), program), 0);
    EXPECT_GE(elapsed_ms(program, counter_ms_at(after)), 0);
}

TEST(ManualClock, LocalTimeFollowsTheCounterThroughItsWrapAndMidnight) {
    // 23:59:59,000 one second before the counter wraps.
    const std::uint32_t tie = 0xFFFFFFFFu - 999;
    ManualClock clock(tie, 24 * kHour - 1000);
    clock.advance(500);
    EXPECT_EQ(clock.local_ms(), 24 * kHour - 500);
    clock.advance(1500);
    EXPECT_EQ(clock.millis(), 1000u);
    EXPECT_EQ(clock.local_ms(), 1000);
    // Set back before the tie, the local time goes back with it.
    clock.set_millis(tie - 1000);
    EXPECT_EQ(clock.local_ms(), 24 * kHour - 2000);

    // A new tie: the local time moves on from there.
    clock.set_local_ms(12 * kHour);
    clock.advance(2);
    EXPECT_EQ(clock.local_ms(), 12 * kHour + 2);
}

} // namespace
} // namespace veltro
