#include "timing/time_text.h"

#include <gtest/gtest.h>
#include <limits>

namespace veltro {
namespace {

struct Example {
    std::int32_t ms;
    const char* untrimmed;
    const char* trimmed;
};

TEST(DisplayMillTime, TheExamplesInBothForms) {
    const Example examples[] = {
        {0, " 00:00,00", "0,00"},          {5232, " 00:05,23", "5,23"},
        {15232, " 00:15,23", "15,23"},     {65232, " 01:05,23", "1:05,23"},
        {600000, " 10:00,00", "10:00,00"}, {3723452, " 1:02:03,45", "1:02:03,45"},
        {-1502, "-00:01,50", "-1,50"},     {-1198, "-00:01,20", "-1,20"},
    };
    for (const Example& e : examples) {
        EXPECT_EQ(Display_Mill_Time(e.ms, false), e.untrimmed) << e.ms;
        EXPECT_EQ(Display_Mill_Time(e.ms, true), e.trimmed) << e.ms;
    }
}

TEST(DisplayMillTime, HundredthsRoundHalfToEven) {
    EXPECT_EQ(Display_Mill_Time(125, false), " 00:00,12");
    EXPECT_EQ(Display_Mill_Time(135, false), " 00:00,14");
    EXPECT_EQ(Display_Mill_Time(12344, true), "12,34");
    EXPECT_EQ(Display_Mill_Time(12346, true), "12,35");
    EXPECT_EQ(Display_Mill_Time(-125, true), "-0,12");
}

TEST(DisplayMillTime, RoundedHundredthsCarryIntoSecondsMinutesAndHours) {
    EXPECT_EQ(Display_Mill_Time(12995, false), " 00:13,00");
    EXPECT_EQ(Display_Mill_Time(12999, true), "13,00");
    EXPECT_EQ(Display_Mill_Time(59996, false), " 01:00,00");
    EXPECT_EQ(Display_Mill_Time(3599996, false), " 1:00:00,00");
    EXPECT_EQ(Display_Mill_Time(-995, false), "-00:01,00");
}

TEST(DisplayMillTime, WholeDaysAreDroppedAndExtremesDoNotBreak) {
    EXPECT_EQ(Display_Mill_Time(86400000 + 5232, false), " 00:05,23");
    EXPECT_EQ(Display_Mill_Time(86399996, false), " 00:00,00");
    EXPECT_EQ(Display_Mill_Time(std::numeric_limits<std::int32_t>::min(), false), "-20:31:23,65");
    EXPECT_EQ(Display_Mill_Time(std::numeric_limits<std::int32_t>::max(), true), "20:31:23,65");
}

} // namespace
} // namespace veltro
