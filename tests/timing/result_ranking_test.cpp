#include "fake_heat_values.h"
#include "timing/result_ranking.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

std::vector<int> boxes_of(const ResultArray& results) {
    std::vector<int> boxes;
    for (const auto& r : results)
        boxes.push_back(r.box);
    return boxes;
}

ResultArray ranked(const HeatValues& heat) {
    ResultArray results = Load_Result_Array(heat);
    Sort_Result_Array(results);
    return results;
}

std::vector<std::string> ranks_of(const ResultDisplay& d) {
    std::vector<std::string> ranks;
    for (const auto& row : d.rows)
        ranks.push_back(row.rank);
    return ranks;
}

TEST(ResultRanking, EqualTimesGoByTheMomentTheyWereAssigned) {
    testing::FakeHeatValues heat;
    heat.assign(1, 15230, 2000);
    heat.assign(2, 15230, 1000); // box 2 was assigned first
    heat.assign(3, 15100, 3000);
    heat.Velt_Dog_name(2, "Second");
    heat.Velt_Heat_time(2, true, 7000);

    const ResultArray results = ranked(heat);
    // Unassigned boxes keep box order behind the timed ones.
    EXPECT_EQ(boxes_of(results), (std::vector<int>{3, 2, 1, 4, 5, 6}));
    // Every field travels with its record.
    EXPECT_EQ(results[1].dog_name, "Second");
    EXPECT_EQ(results[1].split, 7000);
    EXPECT_EQ(results[1].click, 1000);
    EXPECT_EQ(results[0].split, no_time::kNotAssigned);
    EXPECT_EQ(results[3].finish, no_time::kNotAssigned);
}

TEST(ResultRanking, NoTimeCodesSortLastInTheirOrder) {
    testing::FakeHeatValues heat;
    heat.assign(1, 0, 0);
    heat.assign(2, no_time::kNoRank, 10);
    heat.assign(3, no_time::kDisqualified, 10);
    heat.assign(4, no_time::kDidNotFinish, 50);
    heat.assign(5, 20000, 10);
    heat.assign(6, no_time::kDidNotFinish, 20); // the same code: the earlier assignment first

    const ResultArray results = ranked(heat);
    EXPECT_EQ(boxes_of(results), (std::vector<int>{5, 6, 4, 3, 2, 1}));

    const ResultDisplay d = Display_Result_Array(results, 0);
    EXPECT_EQ(ranks_of(d), (std::vector<std::string>{"1", "---", "---", "---", "---", "---"}));
    const std::vector<std::string> times{d.rows[1].time, d.rows[2].time, d.rows[3].time, d.rows[4].time,
                                         d.rows[5].time};
    EXPECT_EQ(times, (std::vector<std::string>{"DNF", "DNF", "DSQ", "---,---", "---,---"}));
    for (std::size_t i = 1; i < 6; ++i)
        EXPECT_EQ(d.rows[i].split, "---,---");
    EXPECT_EQ(d.rows[0].time, "20,00");
    EXPECT_EQ(d.rows[0].split, ""); // none given
}

TEST(ResultRanking, DeadHeatsRepeatTheLastRankGiven) {
    testing::FakeHeatValues heat;
    heat.assign(1, 10000, 1);
    heat.assign(2, 10000, 2);
    heat.Velt_dead_heat(2, true);
    heat.assign(3, 11000, 3);
    heat.assign(4, 12000, 4);
    heat.assign(5, 12000, 5);
    heat.assign(6, 12000, 6);
    heat.Velt_dead_heat(5, true);
    heat.Velt_dead_heat(6, true);

    ResultDisplay d = Display_Result_Array(ranked(heat), 0);
    EXPECT_EQ(ranks_of(d), (std::vector<std::string>{"1", "1", "3", "4", "4", "4"}));
    EXPECT_FALSE(d.rows[0].dead_heat_marker);
    EXPECT_TRUE(d.rows[1].dead_heat_marker);

    // A dead-heat mark on the winner shows the rank it shares.
    heat.Velt_dead_heat(1, true);
    heat.Velt_dead_heat(2, false);
    d = Display_Result_Array(ranked(heat), 0);
    EXPECT_EQ(d.rows[0].rank, "1");
    EXPECT_EQ(d.rows[1].rank, "2");
}

TEST(ResultRanking, BoxDelayIsAddedToShownTimes) {
    testing::FakeHeatValues heat;
    heat.assign(1, 15230, 1);
    heat.Velt_Heat_time(1, true, 7000);
    heat.assign(2, 61000, 2);

    ResultDisplay d = Display_Result_Array(ranked(heat), 30);
    EXPECT_EQ(d.rows[0].time, "15,26");
    EXPECT_EQ(d.rows[0].split, "7,03");
    EXPECT_EQ(d.rows[1].time, "1:01,03");
    EXPECT_EQ(d.rows[1].split, ""); // no split assigned
    EXPECT_EQ(d.box_delay_label, "Box delay = 30ms");

    d = Display_Result_Array(ranked(heat), 0);
    EXPECT_EQ(d.rows[0].time, "15,23");
    EXPECT_FALSE(d.box_delay_label.has_value());

    // A delay that would overflow the time fails instead of showing a wrong time.
    EXPECT_THROW(Display_Result_Array(ranked(heat), INT32_MAX), VeltroError);
}

TEST(ResultTexts, ClipboardTextOfTheExample) {
    std::array<ResultRow, kTimedBoxes> rows;
    rows[0] = {"1", false, 3, "Fast Lady", "26,41", "12,02"};
    rows[1] = {"2", false, 1, "Slow Joe", "27,10", "00,00"};
    for (std::size_t i = 2; i < rows.size(); ++i)
        rows[i] = {"", false, 0, "", "00,00", "00,00"};
    EXPECT_EQ(export_to_clipboard_text("5", rows),
              "Heat5\r\n1\tFast Lady\t26,41\t12,02\r\n2\tSlow Joe\t27,10\r\n");

    for (auto& row : rows)
        row.dog_name.clear();
    EXPECT_EQ(export_to_clipboard_text("5", rows), "Heat5\r\n");
}

TEST(ResultTexts, PrintedTableLines) {
    testing::FakeHeatValues heat;
    heat.assign(1, 15230, 1);
    heat.Velt_Heat_time(1, true, 7000);
    heat.Velt_Dog_name(1, "Ölander's Extraordinarily Long Name");
    heat.assign(2, 15230, 2);
    heat.Velt_dead_heat(2, true);
    heat.Velt_Dog_name(2, "Rex");
    heat.assign(3, no_time::kNoRank, 3);
    heat.assign(4, no_time::kDisqualified, 4);
    heat.assign(5, no_time::kDidNotFinish, 5);

    const auto lines = printed_result_lines(ranked(heat), 30);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "  Box Dog Name                        Split Time");
    EXPECT_EQ(lines[1], "1  1  Ölander's Extraordinarily L     7,03  15,26");
    // No split given: blank, not a time of nought.
    EXPECT_EQ(lines[2], "1  2  Rex                                   15,26 Dead heat");
    EXPECT_EQ(lines[3], "3  5                                        DNF");
    EXPECT_EQ(lines[4], "4  4                                        DSQ");
    EXPECT_EQ(lines[5], "5  3                                        Notime");
    EXPECT_EQ(lines[6], "6  6                                        00,00");
    // The time starts under its heading.
    EXPECT_EQ(lines[2].find("15,26"), lines[0].find("Time"));
}

TEST(BoxTile, ColoursOfEveryBox) {
    const Rgb white{255, 255, 255}, black{0, 0, 0};
    EXPECT_EQ(box_tile_colours(1)->background.bgr(), 0x0000B5u);
    EXPECT_EQ(box_tile_colours(1)->number, white);
    EXPECT_EQ(box_tile_colours(2)->background, (Rgb{64, 116, 202}));
    EXPECT_EQ(box_tile_colours(3)->number, black);
    EXPECT_EQ(box_tile_colours(4)->background, black);
    EXPECT_EQ(box_tile_colours(5)->background.bgr(), 0x1BB1E7u);
    const BoxTile six = *box_tile_colours(6);
    EXPECT_EQ(six.background, white);
    EXPECT_EQ(six.number, (Rgb{255, 0, 0}));
    ASSERT_EQ(six.button_shadow_bands.size(), 2u);
    EXPECT_DOUBLE_EQ(six.button_shadow_bands[0].from, 0.25);
    EXPECT_DOUBLE_EQ(six.button_shadow_bands[1].to, 1.0);
    for (std::int16_t box : {0, 7, 8, -1})
        EXPECT_FALSE(box_tile_colours(box).has_value()) << box;
    for (std::int16_t box = 1; box <= 5; ++box)
        EXPECT_TRUE(box_tile_colours(box)->button_shadow_bands.empty());
}

TEST(BoxTile, FontShrinksUntilTheDigitFits) {
    // Text height 1.5 units per point: 0.9 * 1.5 * p < 40 first holds at p = 29.
    EXPECT_EQ(box_tile_font_size(40, [](int p) { return p * 3 / 2; }), 29);
    EXPECT_EQ(box_tile_font_size(1000, [](int p) { return p; }), 64);
    EXPECT_EQ(box_tile_font_size(0, [](int p) { return p; }), 1);
}

} // namespace
} // namespace veltro
