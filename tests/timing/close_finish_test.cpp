#include "fake_heat_values.h"
#include "timing/close_finish.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(PicturePeriod, FieldsUpToFortyFramesASecondFramesAbove) {
    struct Case {
        std::int32_t fps;
        std::int32_t us;
        bool field_mode;
        const char* text;
    };
    const Case cases[] = {{0, 20000, true, "20 ms"},   {-3, 20000, true, "20 ms"}, // never measured
                          {25, 20000, true, "20 ms"},  {30, 16667, true, "17 ms"},
                          {40, 12500, true, "12 ms"},  {41, 24390, false, "24 ms"},
                          {50, 20000, false, "20 ms"}, {60, 16667, false, "17 ms"}};
    for (const Case& c : cases) {
        const PicturePeriod p = picture_period_for_rate(c.fps);
        EXPECT_EQ(p.us, c.us) << c.fps;
        EXPECT_EQ(p.field_mode, c.field_mode) << c.fps;
        EXPECT_EQ(period_text(p), c.text) << c.fps;
    }
    EXPECT_EQ(finish_time_meaning(picture_period_for_rate(25)),
              "first picture at or after the line: the nose crossed within the 20 ms before");
}

class CloseFinishTest : public ::testing::Test {
protected:
    testing::FakeHeatValues heat;
    const PicturePeriod period = picture_period_for_rate(25);
    BoxEstimates estimates{};

    void give(std::int16_t box, std::int32_t time, std::int16_t frame, bool dead_heat = false) {
        heat.assign(box, time, box * 10);
        heat.box(box).frame = frame;
        heat.box(box).dead_heat = dead_heat;
    }
    std::vector<std::string> warnings() {
        ResultArray sorted = Load_Result_Array(heat);
        Sort_Result_Array(sorted);
        std::vector<std::string> texts;
        for (const CloseFinish& w : close_finish_warnings(sorted, heat, period, estimates))
            texts.push_back(w.text);
        return texts;
    }
};

TEST_F(CloseFinishTest, SamePictureAndLessThanOnePeriodApartAreWarned) {
    give(5, 23450, 101);
    give(2, 23470, 101); // the same picture, even 20 ms apart
    give(4, 24000, 130);
    give(1, 24019, 131); // 19 ms: less than one picture
    give(3, 25000, 180);
    give(6, 25020, 181); // exactly one picture apart: the pictures tell them apart
    EXPECT_EQ(warnings(),
              (std::vector<std::string>{
                  "Boxes 2 and 5 were given the same picture: check for a dead heat",
                  "Boxes 1 and 4 are less than one picture (20 ms) apart: check for a dead heat"}));
}

// Where both boxes have an estimate of their crossing, the estimates decide: 19 ms apart by the
// pictures but 12 ms by the estimates (+-3 each) is told apart; 5 ms is not. A pair of which only one
// has an estimate keeps the pictures' rule.
TEST_F(CloseFinishTest, EstimatesOfBothBoxesDecideInPlaceOfThePictures) {
    give(4, 24000, 130);
    give(1, 24019, 131);
    give(3, 25000, 180);
    give(6, 25019, 181);
    give(2, 26000, 230);
    give(5, 26010, 231);
    estimates[4] = FinishEstimate{23990, 3};
    estimates[1] = FinishEstimate{24002, 3};
    estimates[3] = FinishEstimate{25001, 3};
    estimates[6] = FinishEstimate{25006, 3};
    estimates[2] = FinishEstimate{25995, 3};
    EXPECT_EQ(warnings(),
              (std::vector<std::string>{
                  "Boxes 3 and 6 crossed 5 ms apart by the estimates (\xc2\xb1"
                  "3 and \xc2\xb1"
                  "3 ms): check for a "
                  "dead heat",
                  "Boxes 2 and 5 are less than one picture (20 ms) apart: check for a dead heat"}));
}

TEST_F(CloseFinishTest, DeadHeatsAndBoxesWithoutATimeAreNotWarned) {
    give(1, 23450, 101);
    give(2, 23450, 101, true); // already a dead heat
    give(3, no_time::kDidNotFinish, 101);
    give(4, no_time::kDisqualified, 101);
    // boxes 5 and 6 have neither time nor picture
    EXPECT_TRUE(warnings().empty());
}

TEST_F(CloseFinishTest, ADogCloseToADeadHeatIsWarnedAgainstEachOfIt) {
    give(1, 23450, 101);
    give(2, 23455, 102, true); // shares rank 1 with box 1
    give(3, 23460, 103);       // 10 ms behind box 1, 5 behind box 2
    give(4, 23465, 104, true); // shares rank 3 with box 3
    const std::vector<std::string> w = warnings();
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0], "Boxes 1 and 3 are less than one picture (20 ms) apart: check for a dead heat");
    EXPECT_EQ(w[1], "Boxes 1 and 4 are less than one picture (20 ms) apart: check for a dead heat");
    EXPECT_EQ(w[2], "Boxes 2 and 3 are less than one picture (20 ms) apart: check for a dead heat");
    EXPECT_EQ(w[3], "Boxes 2 and 4 are less than one picture (20 ms) apart: check for a dead heat");
}

} // namespace
} // namespace veltro
