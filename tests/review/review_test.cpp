#include "own_settings.h"
#include "recording/recording_fixture.h"
#include "review/review.h"
#include "support/settings.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::CapturedFrames;

// A finished heat: frames captured 40 ms apart from 20000 ms on the PC counter, started at 8000, so
// picture k of frame f has the heat time 12000 + 40 (f - 1) + 2 (+ 20 for a second field) - 200.
void record_heat(const std::string& path, std::int16_t fps, std::int32_t frames, std::int32_t w = 64,
                 std::int32_t h = 48) {
    cls_VideoFile_handler rec;
    rec.File_name(path);
    rec.RGB_interlaced(fps <= 30);
    rec.Cropped_X(w);
    rec.Cropped_Y(h);
    rec.Initiate_PX3_File();
    rec.Measured_fps(fps);
    rec.Velt_event("Test Event");
    rec.Velt_Heat_ID("4");
    rec.Velt_start_PC_mill("8000");
    rec.Velt_Goal_Finish("10,20,30,40");
    rec.Write_XML_header();
    rec.Close_File();
    const CapturedFrames captured(w, h, frames, 20000);
    Append_Test_Frames(rec, captured);
}

class ReviewTest : public testing::OwnSettingsTest {
protected:
    std::string heat(std::int16_t fps, std::int32_t frames, const std::string& name = "heat.px3") {
        const std::string path = dir.file(name);
        record_heat(path, fps, frames);
        return path;
    }

    ManualClock clock{100000};
    cls_VideoFile_handler rec;
    HeatTiming timing{clock};
    Review review{rec, timing, clock};
};

TEST_F(ReviewTest, TwentyFiveFramesOpenInFieldModeAndFiftyInFrameMode) {
    ASSERT_EQ(review.open(heat(25, 10)), Review::OpenResult::Opened);
    EXPECT_TRUE(review.field_mode());
    EXPECT_EQ(review.slider_max(), 20);
    EXPECT_EQ(review.play_position(), 1);
    EXPECT_EQ(review.frame_time(), 11802);
    review.step(+1); // the second field of frame 1, 20 ms later
    EXPECT_EQ(review.frame_time(), 11822);
    EXPECT_EQ(timing.current_frame_time(), 11822);
    EXPECT_EQ(timing.play_position(), 2);
    EXPECT_EQ(Read_Setting(keys::last_folder), dir.path().string());

    ASSERT_EQ(review.open(heat(50, 10, "fifty.px3")), Review::OpenResult::Opened);
    EXPECT_FALSE(review.field_mode());
    EXPECT_EQ(review.slider_max(), 10);
    review.step(+1);
    EXPECT_EQ(review.frame_time(), 11842);
    EXPECT_EQ(rec.Field_To_Show(), 99);
}

TEST_F(ReviewTest, StepsAndJumpsStopWhereTheyMust) {
    ASSERT_EQ(review.open(heat(25, 12)), Review::OpenResult::Opened);
    int shown = 0;
    review.picture_shown = [&] { ++shown; };
    EXPECT_FALSE(review.step(-1)); // already on the first picture
    review.Goto_Goal();            // 1, 5, 9, 13: field 13 (frame 7, first field) is at 12042 ms
    EXPECT_EQ(review.play_position(), 13);
    EXPECT_EQ(review.frame_time(), 12042);
    EXPECT_EQ(shown, 4); // every picture passed is drawn
    review.Goto_Time(11862);
    EXPECT_EQ(review.play_position(), 4);
    review.Goto_Time(999999); // no picture reaches it: the last one
    EXPECT_EQ(review.play_position(), 24);
    EXPECT_FALSE(review.step(+1));
    review.Goto_Split();
    EXPECT_EQ(review.play_position(), 1);
}

TEST_F(ReviewTest, GotoGoalOnAShortHeatEndsOnTheLastPictureReached) {
    ASSERT_EQ(review.open(heat(25, 3)), Review::OpenResult::Opened);
    review.Goto_Goal();
    EXPECT_EQ(review.play_position(), 5);
}

TEST_F(ReviewTest, OpenFailuresLeaveNothingOpen) {
    EXPECT_EQ(review.open(dir.file("missing.px3")), Review::OpenResult::Failed);
    EXPECT_EQ(op.last_message(), "File open failed");
    EXPECT_FALSE(review.is_open());

    // A heat that was armed but never captured.
    cls_VideoFile_handler armed;
    Arm_Test_Recording(armed, dir.file("empty.px3"), 64, 48);
    EXPECT_EQ(review.open(dir.file("empty.px3")), Review::OpenResult::NoVideo);
    EXPECT_EQ(op.last_message(), "No video in this file!");
    EXPECT_FALSE(rec.File_open());
    EXPECT_FALSE(review.set_position(1));
}

TEST_F(ReviewTest, SplitGoalButtonIgnoresASecondPressWithin300Ms) {
    EXPECT_EQ(review.switch_camera(), Review::SwitchResult::NoRecording);
    EXPECT_EQ(op.beeps, 1);
    ASSERT_EQ(review.open(heat(25, 4)), Review::OpenResult::Opened);
    EXPECT_EQ(review.camera().button_caption, "Split");
    EXPECT_FALSE(timing.split_mode);

    EXPECT_EQ(review.switch_camera(), Review::SwitchResult::Switched);
    EXPECT_EQ(review.camera_on_show(), kSplitCamera);
    EXPECT_EQ(review.camera().camera_name, "Split");
    EXPECT_EQ(review.camera().button_caption, "Goal");
    EXPECT_EQ(review.camera().frame_caption, "Set Split times");
    EXPECT_FALSE(review.camera().toggles_shown);
    EXPECT_EQ(review.camera().colour, 0x00FFFFu);
    EXPECT_TRUE(timing.split_mode);

    clock.advance(299);
    EXPECT_EQ(review.switch_camera(), Review::SwitchResult::Ignored);
    EXPECT_TRUE(timing.split_mode);
    clock.advance(1);
    EXPECT_EQ(review.switch_camera(), Review::SwitchResult::Switched);
    EXPECT_FALSE(timing.split_mode);
    EXPECT_EQ(review.camera().colour, 0x80FF80u);
}

TEST_F(ReviewTest, AssignedTimesAreOnDiskAndLeadBackToTheirPictures) {
    const std::string path = heat(25, 12);
    ASSERT_EQ(review.open(path), Review::OpenResult::Opened);
    review.set_position(7); // frame 4, first field: 12120 - 198 = 11922
    timing.plus_hundredth = true;
    ASSERT_TRUE(timing.box_click(3));
    review.set_position(9); // frame 5, first field: 11962
    ASSERT_TRUE(timing.box_click(1));
    timing.dead_heat = true;
    ASSERT_TRUE(timing.box_click(5));
    timing.no_time = true;
    timing.no_time_caption = "DSQ";
    review.set_position(3);
    ASSERT_TRUE(timing.box_click(2));

    cls_VideoFile_handler other; // what another program reading the file now finds
    other.Open_File(path);
    ASSERT_TRUE(other.File_open());
    EXPECT_EQ(other.Velt_Heat_time(3, false), 11932);
    EXPECT_EQ(other.Velt_heat_frame(3), 7);
    EXPECT_EQ(other.Velt_Heat_time(1, false), 11962);
    EXPECT_EQ(other.Velt_Heat_time(5, false), 11962);
    EXPECT_TRUE(other.Velt_dead_heat(5));
    EXPECT_EQ(other.Velt_Heat_time(2, false), no_time::kDisqualified);

    ResultArray results = Load_Result_Array(rec);
    Sort_Result_Array(results);
    ASSERT_EQ(results[0].box, 3);
    EXPECT_TRUE(review.GoTo_rank(results, 1));
    EXPECT_EQ(review.play_position(), 7);
    EXPECT_FALSE(review.GoTo_rank(results, 6)); // box 6 has no picture
    EXPECT_EQ(op.beeps, 1);
    EXPECT_FALSE(review.Goto_SplitTime(results, 1)); // no split time
    EXPECT_EQ(op.beeps, 2);

    review.switch_camera();
    review.set_position(4);
    ASSERT_TRUE(timing.box_click(3)); // split mode: the split time only
    ResultArray again = Load_Result_Array(rec);
    Sort_Result_Array(again);
    review.Goto_Split();
    EXPECT_TRUE(review.Goto_SplitTime(again, 1));
    EXPECT_EQ(review.play_position(), 4);
}

TEST_F(ReviewTest, GoalLinesComeFromTheRecordingAndTheOffsetOnlyMovesTheDrawnLine) {
    ASSERT_EQ(review.open(heat(25, 4)), Review::OpenResult::Opened);
    EXPECT_EQ(review.goal_line(kGoalCamera), (Goal_line{10, 20, 30, 40}));
    // The recording holds no split line ("N/A"): the middle of the picture.
    EXPECT_EQ(review.goal_line(kSplitCamera), Reset_Goal_Line(64, 48));

    EXPECT_FALSE(review.Handle_Goal_Offset(+1)); // "Displace goalline" is off
    review.displace_on(true);
    review.Handle_Goal_Offset(-1);
    review.Handle_Goal_Offset(-1);
    EXPECT_EQ(review.drawn_goal_line(), (Goal_line{8, 20, 28, 40}));
    EXPECT_EQ(review.goal_line(kGoalCamera), (Goal_line{10, 20, 30, 40}));
    ASSERT_EQ(review.open(heat(25, 4, "again.px3")), Review::OpenResult::Opened);
    EXPECT_FALSE(review.displace_on());
    EXPECT_EQ(review.goal_offset(), 0);
}

TEST(ReviewOverlays, SampleDataNamesTheRecordsOnShow) {
    cls_VideoFile_handler rec;
    const auto lines = sample_data_lines(rec);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines.front().rfind("Creation date = ", 0), 0u);
    EXPECT_EQ(lines.back().rfind("RGB checksum =  ", 0), 0u);
    EXPECT_EQ(hd_frame_data_lines(rec).size(), 4u);
}

} // namespace
} // namespace veltro
