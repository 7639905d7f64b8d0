#include "error_number.h"
#include "fake_heat_values.h"
#include "fake_operator.h"
#include "own_settings.h"
#include "support/files.h"
#include "support/operator_name.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/veltro_error.h"
#include "temp_dir.h"
#include "timing/heat_timing.h"
#include "timing/time_text.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::error_number;

TEST(PictureTime, BeforeTheStartAndTheSecondField) {
    const std::uint32_t start = 5'000'000;
    EXPECT_EQ(picture_time(start - 1000, start, 1, 200), -1198);
    EXPECT_EQ(Display_Mill_Time(picture_time(start - 1000, start, 1, 200), false), "-00:01,20");
    EXPECT_EQ(picture_time(start + 12538, start, 1, 200), 12340);
    EXPECT_EQ(picture_time(start + 12538, start, 2, 200), 12360);
    EXPECT_EQ(picture_time(start + 12538, start, 1, 0), 12540);
}

TEST(PictureTime, AHeatAcrossTheCounterWrapTimesCorrectly) {
    // Started 3 s before the 32-bit counter wraps, crossed the line 28.5 s later.
    const std::uint32_t start = 0xFFFFFFFFu - 2999u;
    const std::uint32_t stamp = start + 28500u; // wrapped: a small number now
    ASSERT_LT(stamp, start);
    EXPECT_EQ(picture_time(stamp, start, 1, 200), 28302);
    // The same across the sign change of the counter read as a signed value (24.8 days up).
    const std::uint32_t signed_start = 0x7FFFFFFFu - 999u;
    EXPECT_EQ(picture_time(signed_start + 31000u, signed_start, 1, 200), 30802);
}

TEST(PictureTime, OnlyAResultOutside32BitsIsAnOverflow) {
    EXPECT_EQ(error_number([] { picture_time(0x7FFFFFFFu, 0, 1, 0); }), err::kOverflow);
    EXPECT_EQ(error_number([] { picture_time(0x7FFFFFFDu, 0, 2, 0); }), err::kOverflow);
    EXPECT_EQ(error_number([] { picture_time(0x80000000u, 0, 1, 200); }), err::kOverflow);
    EXPECT_EQ(picture_time(0x7FFFFFFDu, 0, 1, 0), 0x7FFFFFFF);
}

TEST(StartReference, AcceptsBothCounterFormsAndRefusesAHeatNeverStarted) {
    EXPECT_EQ(parse_start_pc_mill("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(parse_start_pc_mill("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(parse_start_pc_mill("123456"), 123456u);
    EXPECT_EQ(error_number([] { parse_start_pc_mill("velt_start_PC_mill"); }), err::kTypeMismatch);
    EXPECT_EQ(error_number([] { parse_start_pc_mill("4294967296"); }), err::kOverflow);
    EXPECT_EQ(error_number([] { parse_start_pc_mill("99999999999999999999999"); }), err::kOverflow);
}

TEST(TimingSettings, DefaultsCaseInsensitiveKeysAndTheFailureRule) {
    testing::TempDir dir;
    testing::FakeOperator op;
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    HeatTiming timing(system_clock());
    timing.Load_Compensations();
    EXPECT_EQ(timing.settings().goal_compensation, 200);
    EXPECT_EQ(timing.settings().split_compensation, 200);
    EXPECT_EQ(timing.settings().box_delay, 0);

    Write_Setting("Settings", "Box_delay", "30");
    Write_Setting("Settings", "goal_compensation", "150");
    timing.Load_Compensations();
    EXPECT_EQ(timing.settings().box_delay, 30);
    EXPECT_EQ(timing.settings().goal_compensation, 150);

    Write_Setting("Settings", "split_compensation", "fast");
    EXPECT_EQ(error_number([&] { timing.Load_Compensations(); }), err::kTypeMismatch);
    EXPECT_EQ(timing.settings().goal_compensation, 150) << "a failed load takes nothing";
}

TEST(TimingSettings, AStoredDelayLongerThanTheWindowTakesReadsAsTheDefaultWithOneTraceLine) {
    testing::TempDir dir;
    testing::FakeOperator op;
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    set_trace_file(dir.file("trace.txt"));
    Write_Setting("Settings", "goal_compensation", "123456");
    Write_Setting("Settings", "Box_delay", "99999999999999999999");
    Write_Setting("Settings", "split_compensation", "99999");
    HeatTiming timing(system_clock());
    timing.Load_Compensations();
    EXPECT_EQ(timing.settings().goal_compensation, 200);
    EXPECT_EQ(timing.settings().box_delay, 0);
    EXPECT_EQ(timing.settings().split_compensation, 99999);
    trace_flush();
    const std::string trace = read_whole_file(dir.file("trace.txt")).value_or("");
    set_trace_file("");
    EXPECT_NE(trace.find("goal_compensation = 123456 does not fit, the default 200 is used"),
              std::string::npos)
        << trace;
    std::size_t lines = 0;
    for (std::size_t at = trace.find("does not fit"); at != std::string::npos;
         at = trace.find("does not fit", at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u);
}

// The mechanics of each assignment; the question before a judged time is replaced is off here and
// tested on its own.
class TimeAssignment : public testing::OwnSettingsTest {
protected:
    TimeAssignment() : timing(clock) {
        timing.set_recording(&rec);
        timing.show_picture(57, 12340);
    }
    void SetUp() override {
        OwnSettingsTest::SetUp();
        Write_Setting(keys::replace_without_asking, "1");
    }
    // The name given here must not name the changes of later tests.
    void TearDown() override {
        forget_session_operator_name();
        OwnSettingsTest::TearDown();
    }

    ManualClock clock{1001};
    testing::FakeHeatValues rec;
    HeatTiming timing;
};

TEST_F(TimeAssignment, AJudgedTimeIsReplacedFurtherThanOnePictureOnlyAfterOK) {
    Write_Setting(keys::replace_without_asking, "0");
    forget_session_operator_name();
    op.inputs = {"Anna"};
    timing.picture_period_ms = 20;
    rec.box(2).time = 12320;
    rec.box(4).time = no_time::kDidNotFinish;
    ASSERT_TRUE(timing.box_click(2)); // one picture on: a correction
    EXPECT_EQ(op.questions.size(), 1u) << "only the operator's name, asked once";
    EXPECT_EQ(rec.box(2).time, 12340);
    EXPECT_EQ(rec.change_by, "Anna");
    op.questions.clear();

    timing.show_picture(60, 12400);
    EXPECT_FALSE(timing.box_click(2));
    timing.current_box = 4;
    EXPECT_FALSE(timing.assign(HeatTiming::Assign::SetTime));
    EXPECT_EQ(op.questions,
              (std::vector<std::string>{"Box 2 has the time 12,34 already.\nReplace it with 12,40?",
                                        "Box 4 has the time DNF already.\nReplace it with 12,40?"}));
    EXPECT_EQ(rec.box(2).time, 12340);
    EXPECT_EQ(rec.box(4).time, no_time::kDidNotFinish);
    EXPECT_EQ(rec.writes, 1);

    op.answers = {true};
    EXPECT_TRUE(timing.box_click(2));
    EXPECT_EQ(rec.box(2).time, 12400);
}

TEST_F(TimeAssignment, EqualTimesKeepTheOrderOfTheirClicks) {
    ASSERT_TRUE(timing.box_click(4));
    clock.advance(1);
    ASSERT_TRUE(timing.box_click(2));
    EXPECT_EQ(rec.box(4).time, rec.box(2).time);
    EXPECT_LT(rec.box(4).click, rec.box(2).click);
    EXPECT_EQ(rec.box(2).frame, 57);
    EXPECT_EQ(rec.writes, 2) << "every assignment is on disk";
}

TEST_F(TimeAssignment, DeadHeatToggleMarksAndAPlainAssignmentClearsTheMark) {
    timing.dead_heat = true;
    timing.box_click(3);
    EXPECT_TRUE(rec.box(3).dead_heat);
    EXPECT_FALSE(timing.dead_heat);
    timing.box_click(3);
    EXPECT_FALSE(rec.box(3).dead_heat);
}

TEST_F(TimeAssignment, NoTimeCodesReplaceTheTimeButKeepFrameAndClick) {
    int repaints = 0;
    timing.toggles_changed = [&] { ++repaints; };
    timing.no_time = true;
    timing.no_time_caption = "DSQ";
    timing.box_click(1);
    EXPECT_EQ(rec.box(1).time, 888887);
    EXPECT_EQ(rec.box(1).frame, 57);
    EXPECT_EQ(rec.box(1).click, 1001);
    EXPECT_FALSE(timing.no_time);
    EXPECT_EQ(repaints, 1);

    for (auto [caption, code] : {std::pair{"DNF", 888886}, {"No Rnk", 888888}, {"No Time", 888888}}) {
        timing.no_time = true;
        timing.no_time_caption = caption;
        timing.box_click(5);
        EXPECT_EQ(rec.box(5).time, code) << caption;
    }
    timing.box_click(5);
    EXPECT_EQ(rec.box(5).time, 12340) << "the toggle was used up";
}

TEST_F(TimeAssignment, SplitModeStoresOnlySplitValuesAndLeavesTheToggles) {
    rec.box(2).time = 15000;
    timing.split_mode = true;
    timing.no_time = true;
    timing.dead_heat = true;
    timing.show_picture(31, 6120);
    timing.box_click(2);
    EXPECT_EQ(rec.box(2).split, 6120);
    EXPECT_EQ(rec.box(2).split_frame, 31);
    EXPECT_EQ(rec.box(2).time, 15000);
    EXPECT_EQ(rec.box(2).frame, 0);
    EXPECT_EQ(rec.box(2).click, 0);
    EXPECT_TRUE(timing.no_time);
    EXPECT_TRUE(timing.dead_heat);
    EXPECT_TRUE(timing.box_has_time(2));
    EXPECT_FALSE(timing.box_has_time(3));
}

TEST_F(TimeAssignment, PlusOneHundredthAddsTenMillisecondsOnce) {
    timing.plus_hundredth = true;
    timing.box_click(6);
    EXPECT_EQ(rec.box(6).time, 12350);
    EXPECT_FALSE(timing.plus_hundredth);
    timing.box_click(6);
    EXPECT_EQ(rec.box(6).time, 12340);
}

TEST_F(TimeAssignment, ReadOnlyRecordingsRefuseEveryChange) {
    rec.box(1).time = 9000;
    rec.read_only = true;
    timing.plus_hundredth = true;
    EXPECT_FALSE(timing.box_click(1));
    EXPECT_FALSE(timing.Clear_all_Results());
    timing.current_box = 1;
    EXPECT_FALSE(timing.assign(HeatTiming::Assign::SetTime));
    EXPECT_EQ(rec.box(1).time, 9000);
    EXPECT_EQ(rec.writes, 0);
    EXPECT_TRUE(timing.plus_hundredth);
    ASSERT_EQ(op.messages.size(), 3u);
    EXPECT_EQ(op.messages[0].text, "File is read only!");
}

TEST_F(TimeAssignment, ClearAllResultsResetsAllEightBoxesInOneWrite) {
    for (std::int16_t b = 1; b <= 8; ++b) {
        rec.box(b) = {1000 + b, 500 + b, 7, 3, 2, true, "Rex"};
    }
    EXPECT_TRUE(timing.Clear_all_Results());
    for (std::int16_t b = 1; b <= 8; ++b) {
        EXPECT_EQ(rec.box(b).time, 0);
        EXPECT_EQ(rec.box(b).split, 0);
        EXPECT_EQ(rec.box(b).click, 0);
        EXPECT_EQ(rec.box(b).frame, 0);
        EXPECT_FALSE(rec.box(b).dead_heat);
        EXPECT_EQ(rec.box(b).dog, "Rex") << "names are not results";
    }
    EXPECT_EQ(rec.writes, 1);
}

TEST_F(TimeAssignment, AssignTimesMenu) {
    EXPECT_FALSE(timing.assign(HeatTiming::Assign::SetTime));
    EXPECT_EQ(op.beeps, 1) << "no box held down";
    EXPECT_EQ(rec.writes, 0);

    timing.current_box = 2;
    EXPECT_TRUE(timing.assign(HeatTiming::Assign::SetTime));
    EXPECT_EQ(timing.last_assigned_time(), 12340);
    timing.show_picture(60, 12500);
    EXPECT_TRUE(timing.assign(HeatTiming::Assign::SetTimePlus));
    EXPECT_EQ(rec.box(2).time, 12510);
    EXPECT_EQ(timing.last_assigned_time(), 12340);

    timing.current_box = 3;
    EXPECT_FALSE(timing.assign(HeatTiming::Assign::DeadHeat));
    EXPECT_EQ(rec.box(3).time, 12340);
    EXPECT_TRUE(rec.box(3).dead_heat);
    EXPECT_FALSE(timing.dead_heat);

    EXPECT_FALSE(timing.assign(HeatTiming::Assign::SetSplitPlus));
    EXPECT_EQ(rec.box(3).split, 12510);
    EXPECT_FALSE(timing.assign(HeatTiming::Assign::NoTime));
    EXPECT_EQ(rec.box(3).time, 888888);
}

TEST_F(TimeAssignment, BoxOutsideTheRecordFailsBeforeChangingAnything) {
    EXPECT_EQ(error_number([&] { timing.Set_Time(9, 100, false); }), err::kSubscriptOutOfRange);
    EXPECT_EQ(error_number([&] { timing.Set_Time(0, 100, true); }), err::kSubscriptOutOfRange);
    EXPECT_EQ(rec.writes, 0);
}

} // namespace
} // namespace veltro
