#include "fake_heat_values.h"
#include "own_settings.h"
#include "support/settings.h"
#include "timing/lengths.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

struct Step {
    std::int32_t ms;
    const char* text;
};

// Both sides of every boundary: eighths below half a length, quarters from there, halves to even.
TEST(Lengths, EveryStepAtTheDefaultSetting) {
    const Step steps[] = {{0, "SH"},      {14, "SH"},       {15, "HD"},     {25, "HD"},     {26, "NK"},
                          {34, "NK"},     {35, "1/2"},      {50, "1/2"},    {51, "3/4"},    {69, "3/4"},
                          {70, "1"},      {90, "1"},        {91, "1 1/4"},  {109, "1 1/4"}, {110, "1 1/2"},
                          {130, "1 1/2"}, {131, "1 3/4"},   {149, "1 3/4"}, {150, "2"},     {170, "2"},
                          {171, "2 1/4"}, {1570, "19 1/2"}, {1590, "20"},   {1600, "20"},   {1601, "DIS"},
                          {600000, "DIS"}};
    for (const Step& s : steps)
        EXPECT_EQ(distance_in_lengths(s.ms, kDefaultUsPerLength), s.text) << s.ms << " ms";
}

TEST(Lengths, StepsFollowTheSetting) {
    // 0.1 s: an eighth is 12.5 ms, a quarter 25 ms.
    const Step steps[] = {{6, "SH"},   {18, "SH"},  {19, "HD"},  {31, "HD"}, {32, "NK"},   {43, "NK"},
                          {44, "1/2"}, {62, "1/2"}, {63, "3/4"}, {100, "1"}, {2000, "20"}, {2001, "DIS"}};
    for (const Step& s : steps)
        EXPECT_EQ(distance_in_lengths(s.ms, 100000), s.text) << s.ms << " ms";
}

TEST(Lengths, TheSettingIsReadAsDecimalSeconds) {
    EXPECT_EQ(parse_seconds_per_length("0.08"), 80000);
    EXPECT_EQ(parse_seconds_per_length(" .075 "), 75000);
    EXPECT_EQ(parse_seconds_per_length("1"), 1000000);
    EXPECT_EQ(parse_seconds_per_length("2."), 2000000);
    EXPECT_EQ(parse_seconds_per_length("0.1234567"), 123456);
    for (const char* bad :
         {"", ".", "0", "0.000", "0.0000004", "0,08", "-0.1", "1.2.3", "8e-2", "abc", "1234567"})
        EXPECT_EQ(parse_seconds_per_length(bad), std::nullopt) << bad;
}

class LengthsSetting : public testing::OwnSettingsTest {};

TEST_F(LengthsSetting, IsReadAtTheMomentOfUseAndFallsBackToTheDefault) {
    EXPECT_EQ(seconds_per_length_setting(), kDefaultUsPerLength);
    Write_Setting(keys::seconds_per_length, "0.1");
    EXPECT_EQ(seconds_per_length_setting(), 100000);
    for (const char* bad : {"0", "fast", "0,1"}) {
        Write_Setting(keys::seconds_per_length, bad);
        EXPECT_EQ(seconds_per_length_setting(), kDefaultUsPerLength) << bad;
    }
}

TEST(Lengths, EachDogIsMeasuredToTheDogRankedJustInFront) {
    testing::FakeHeatValues heat;
    heat.assign(1, 23450, 1);
    heat.assign(2, 23450, 2); // the same time, marked as a dead heat
    heat.box(2).dead_heat = true;
    heat.assign(3, 23500, 3);
    heat.assign(4, 25200, 4); // 1700 ms behind: a distance
    heat.assign(5, no_time::kDidNotFinish, 5);
    heat.box(5).dead_heat = true; // a mark on a dog without a time gives no distance
    // box 6 has no time
    ResultArray sorted = Load_Result_Array(heat);
    Sort_Result_Array(sorted);

    const ResultDistances d = distances_in_lengths(sorted, kDefaultUsPerLength);
    EXPECT_EQ(d, (ResultDistances{"", "DH", "1/2", "DIS", "", ""}));

    // The same times without the dead-heat mark: as close as can be, but no dead heat.
    sorted[1].dead_heat = false;
    EXPECT_EQ(distances_in_lengths(sorted, kDefaultUsPerLength)[1], "SH");
}

TEST(Lengths, TheClipboardTextKeepsItsFormAndTheToolTextAddsTheDistances) {
    std::array<ResultRow, kTimedBoxes> rows{};
    rows[0] = {"1", false, 3, "Red Comet", "23,45", "00,00"};
    rows[1] = {"2", false, 1, "Fast Lady", "23,50", "12,02"};
    rows[2] = {"---", false, 2, "Slow Joe", "DNF", "---,---"};
    const ResultDistances distances{"", "1/2", ""};
    EXPECT_EQ(
        export_to_clipboard_text("5", rows),
        "Heat5\r\n1\tRed Comet\t23,45\r\n2\tFast Lady\t23,50\t12,02\r\n---\tSlow Joe\tDNF\t---,---\r\n");
    EXPECT_EQ(export_to_clipboard_text("5", rows, distances),
              "Heat5\r\n1\tRed Comet\t23,45\t\r\n2\tFast Lady\t23,50\t12,02\t1/2\r\n"
              "---\tSlow Joe\tDNF\t---,---\t\r\n");
}

TEST(Lengths, ThePrintedTableSetsTheDistanceBehindTheTime) {
    testing::FakeHeatValues heat;
    heat.assign(1, 23450, 1);
    heat.assign(2, 23520, 2);
    heat.assign(3, 83450, 3); // a time of a minute and more is the widest
    heat.assign(4, 83450, 4);
    heat.box(4).dead_heat = true;
    heat.box(2).dog = "A name far longer than twenty-seven characters";
    ResultArray sorted = Load_Result_Array(heat);
    Sort_Result_Array(sorted);
    const ResultDistances d = distances_in_lengths(sorted, kDefaultUsPerLength);

    const std::vector<std::string> plain = printed_result_lines(sorted, 0);
    const std::vector<std::string> lines = printed_result_lines(sorted, 0, &d);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], plain[0] + "    Dist");
    EXPECT_EQ(lines[1], plain[1]); // the winner has no distance
    EXPECT_EQ(lines[2], "2  2  A name far longer than twen           23,52   1");
    EXPECT_EQ(lines[3], "3  3                                        1:23,45 DIS");
    EXPECT_EQ(lines[4], "3  4                                        1:23,45 DH Dead heat");
    EXPECT_EQ(lines[5], plain[5]);
    // Each distance stands under the heading's word.
    EXPECT_EQ(lines[0].find("Dist"), lines[2].rfind('1'));
}

} // namespace
} // namespace veltro
