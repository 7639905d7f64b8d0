#include "support/clocks.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

constexpr std::int32_t kHour = 3600000;

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
