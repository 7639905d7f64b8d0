// What a printed frame page says and which pictures a goal or split photo series prints, in which order.
#include "results/frame_print.h"
#include "timing/fake_heat_values.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

ResultArray ranked(const HeatValues& heat) {
    ResultArray results = Load_Result_Array(heat);
    Sort_Result_Array(results);
    return results;
}

std::vector<std::int16_t> boxes_of(const std::vector<SeriesPicture>& pictures) {
    std::vector<std::int16_t> boxes;
    for (const SeriesPicture& p : pictures)
        boxes.push_back(p.box);
    return boxes;
}

TEST(FrameSeries, PicturesInFinishingOrderOfTheBoxesWithATime) {
    testing::FakeHeatValues heat;
    heat.assign(5, 15100, 2);
    heat.Velt_heat_frame(5, 310);
    heat.assign(2, 15900, 1);
    heat.Velt_heat_frame(2, 322);
    heat.assign(3, no_time::kDidNotFinish, 3); // no finishing picture
    heat.Velt_heat_frame(3, 400);
    heat.Velt_Heat_time(4, true, 7000); // a split time only
    heat.Velt_split_frame(4, 90);

    const auto goal = series_pictures(ranked(heat), heat, false);
    EXPECT_EQ(boxes_of(goal), (std::vector<std::int16_t>{5, 2}));
    ASSERT_EQ(goal.size(), 2u);
    EXPECT_EQ(goal[0].position, 1);
    EXPECT_EQ(goal[0].frame, 310);
    EXPECT_EQ(goal[1].frame, 322);

    const auto split = series_pictures(ranked(heat), heat, true);
    ASSERT_EQ(split.size(), 1u);
    EXPECT_EQ(split[0].box, 4);
    EXPECT_EQ(split[0].frame, 90);
    // Split photos keep the finishing order: box 4 has no finish time and comes after the timed boxes.
    EXPECT_GT(split[0].position, 3);
}

TEST(FrameSeries, ATimeWithoutItsPictureIsLeftOutAndSixPicturesTakeTwoPages) {
    testing::FakeHeatValues heat;
    for (std::int16_t box = 1; box <= 6; ++box) {
        heat.assign(box, 16000 - box * 100, box);
        heat.Velt_heat_frame(box, static_cast<std::int16_t>(box == 4 ? 0 : 300 + box));
    }
    const auto pictures = series_pictures(ranked(heat), heat, false);
    EXPECT_EQ(boxes_of(pictures), (std::vector<std::int16_t>{6, 5, 3, 2, 1}));
    const auto pages = series_pages(pictures);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(boxes_of(pages[0]), (std::vector<std::int16_t>{6, 5, 3}));
    EXPECT_EQ(boxes_of(pages[1]), (std::vector<std::int16_t>{2, 1}));
    EXPECT_TRUE(series_pages({}).empty());
}

TEST(FramePage, TextsTopToBottomAndTheDogLine) {
    testing::FakeHeatValues heat;
    heat.assign(2, 15230, 1);
    heat.Velt_Dog_name(2, "Abcdefghijklmnopqrstuvwxyz0123"); // 30 characters
    FramePageFacts facts;
    facts.heat_id = "3";
    facts.heat_name = "Final";
    facts.start_date_time = "07.12.2026 14:03:10";
    facts.split = true;
    facts.sorted = ranked(heat);
    facts.box_delay = 30;
    facts.elapsed_time = "00:15,26";
    facts.recording_path = "/data/heats/Cup_3_140310.px3";
    facts.version = "1.2.3";
    facts.printed_at = "07.12.2026 15:00";
    facts.printer_name = "Office";
    const FramePageTexts t = frame_page(facts);
    EXPECT_EQ(t.header, "Heat: 3 Final at: 07.12.2026 14:03:10");
    EXPECT_EQ(t.title, "Split photos");
    ASSERT_EQ(t.table.size(), 7u);
    EXPECT_EQ(t.table[1], "1  2  Abcdefghijklmnopqrstuvwxyz0           15,26");
    EXPECT_EQ(t.box_delay, "Box delay = 30 ms");
    EXPECT_EQ(t.elapsed, "Elapsed time : 00:15,26");
    EXPECT_EQ(t.file_name, "File name: Cup_3_140310.px3");
    ASSERT_EQ(t.footer.size(), 2u);
    EXPECT_EQ(t.footer[1], "Printed by Veltro_HDMI version 1.2.3 at: 07.12.2026 15:00 printer: Office");
    facts.split = false;
    facts.official = "Anna, 07.12.2026 14:10";
    facts.web_address = "greyhounds.example.org";
    EXPECT_EQ(frame_page(facts).title, "Goal photos");
    EXPECT_EQ(frame_page(facts).footer.back(), "greyhounds.example.org");
    EXPECT_EQ(frame_page(facts).header,
              "Heat: 3 Final at: 07.12.2026 14:03:10   Official: Anna, 07.12.2026 14:10");

    EXPECT_EQ(box_time_lines(2, 5, "", "Rex"), (std::vector<std::string>{"2     Dog:5", "Rex"}));
    EXPECT_EQ(box_time_lines(2, 5, "Lucky Star", "Rex"), (std::vector<std::string>{"Lucky Star"}));
}

} // namespace
} // namespace veltro
