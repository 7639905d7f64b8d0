#include "fake_operator.h"
#include "own_settings.h"
#include "review/goal_line.h"
#include "support/files.h"
#include "support/settings.h"
#include "support/veltro_error.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(GoalLineHitTest, ReachesTwelveRightAndBelowButSixLeftAndAbove) {
    const Goal_line line{200, 88, 200, 792};
    EXPECT_EQ(Check_Within_Selection_Boxes(line, 210, 88), 1); // 10 right of the handle grabs it
    EXPECT_EQ(Check_Within_Selection_Boxes(line, 190, 88), 0); // 10 left does not
    EXPECT_EQ(Check_Within_Selection_Boxes(line, 200, 99), 1);
    EXPECT_EQ(Check_Within_Selection_Boxes(line, 200, 82), 0); // the edge itself is outside
    EXPECT_EQ(Check_Within_Selection_Boxes(line, 211.5f, 87), 1);
    EXPECT_EQ(Check_Within_Selection_Boxes(line, 212, 87), 0);
    EXPECT_EQ(Check_Within_Selection_Boxes(line, 205, 800), 2);
    // Where both hit areas overlap the first handle wins.
    EXPECT_EQ(Check_Within_Selection_Boxes(Goal_line{10, 10, 12, 12}, 11, 11), 1);
}

TEST(GoalLineDrag, MovesOnlyTheGrabbedHandleAndStaysInsideThePicture) {
    Goal_line line{200, 88, 200, 792};
    GoalLineDrag drag;
    ASSERT_EQ(drag.press(line, 203, 90), 1);
    EXPECT_TRUE(drag.move(line, 208, 87, 400, 880));
    EXPECT_EQ(line, (Goal_line{205, 85, 200, 792}));
    // Row 0, or beyond the right edge, is not taken: the line stays where it last was.
    EXPECT_FALSE(drag.move(line, 203, 2, 400, 880));
    EXPECT_FALSE(drag.move(line, 403, 90, 400, 880));
    EXPECT_EQ(line, (Goal_line{205, 85, 200, 792}));
    EXPECT_TRUE(drag.move(line, 203 + 199, 90, 400, 880)); // x = 399, the last column
    EXPECT_EQ(line.x1, 399);
    EXPECT_TRUE(drag.release());
    EXPECT_FALSE(drag.dragging());

    // A press that grabs nothing never moves anything and asks for no save.
    const Goal_line before = line;
    EXPECT_EQ(drag.press(line, 50, 50), 0);
    EXPECT_FALSE(drag.move(line, 60, 60, 400, 880));
    EXPECT_EQ(line, before);
    EXPECT_FALSE(drag.release());
}

TEST(GoalLineReset, VerticalInTheMiddleRoundedHalfToEven) {
    EXPECT_EQ(Reset_Goal_Line(400, 880), (Goal_line{200, 88, 200, 792}));
    // 25/2 = 12.5 -> 12; 45/10 = 4.5 -> 4; 405/10 = 40.5 -> 40.
    EXPECT_EQ(Reset_Goal_Line(25, 45), (Goal_line{12, 4, 12, 40}));
    EXPECT_EQ(Reset_Goal_Line(27, 55), (Goal_line{14, 6, 14, 50})); // 13.5 -> 14, 5.5 -> 6, 49.5 -> 50
}

TEST(GoalLineText, ParsesWhatItWritesAndRejectsOtherText) {
    const Goal_line line{-3, 88, 200, 792};
    EXPECT_EQ(goal_line_text(line), "-3,88,200,792");
    EXPECT_EQ(parse_goal_line(goal_line_text(line)), line);
    EXPECT_EQ(parse_goal_line("N/A"), std::nullopt);
    EXPECT_EQ(parse_goal_line("1,2,3,"), std::nullopt); // six characters or fewer hold no line
    for (const char* bad : {"1,2,3,4,5", "10,20,30", "1,2,x,4", "1,2,,3,4", "99999999999,1,1,1"}) {
        EXPECT_THROW(parse_goal_line(bad), VeltroError) << bad;
    }
}

class GoalLineSettings : public testing::OwnSettingsTest {};

TEST_F(GoalLineSettings, SavedLinesReadBackWithKeysInAnyCase) {
    Save_Goal_line(kSplitCamera, Goal_line{5, 6, 7, 8});
    std::array<Goal_line, 2> lines{Goal_line{1, 1, 1, 1}, Goal_line{}};
    Read_Goal_Lines(lines);
    EXPECT_EQ(lines[0], (Goal_line{1, 1, 1, 1})); // "N/A": the built-in line stays
    EXPECT_EQ(lines[1], (Goal_line{5, 6, 7, 8}));
    const std::string text = read_whole_file(dir.file("Veltro_HDMI.ini")).value_or("");
    EXPECT_NE(text.find("Goal_line2=5,6,7,8"), std::string::npos) << text;

    // The same values read under the section and key names as another writer spells them.
    Write_Setting("GOAL_LINES", "goal_LINE1", "11,22,33,44");
    Read_Goal_Lines(lines);
    EXPECT_EQ(lines[0], (Goal_line{11, 22, 33, 44}));
}

TEST_F(GoalLineSettings, AnUnreadableStoredLineKeepsTheLineOnShow) {
    Write_Setting(keys::goal_line_1, "12,abc,3,4");
    std::array<Goal_line, 2> lines{Goal_line{1, 2, 3, 4}, Goal_line{5, 6, 7, 8}};
    Read_Goal_Lines(lines);
    EXPECT_EQ(lines[0], (Goal_line{1, 2, 3, 4}));
}

TEST(GoalOffset, StepsAndStopsAtTheEndsOfAnInteger) {
    EXPECT_EQ(step_goal_offset(0, -1), -1);
    EXPECT_EQ(step_goal_offset(32767, 1), 32767);
    EXPECT_EQ(step_goal_offset(-32768, -1), -32768);
    EXPECT_EQ(displaced(Goal_line{10, 20, 30, 40}, -4), (Goal_line{6, 20, 26, 40}));
}

} // namespace
} // namespace veltro
