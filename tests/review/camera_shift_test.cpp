#include "capture/demo_pictures.h"
#include "review/camera_shift.h"
#include "support/veltro_error.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace veltro {
namespace {

using testing::demo_picture;
using testing::kDogsAtTheLine;
using testing::kNoDogs;

TEST(CameraShift, FindsTheMoveOfTheDemoSceneThroughNoiseAndDogsInTheBand) {
    const DemoRaceScene scene;
    for (const auto& [width, height] : {std::pair{400, 880}, std::pair{600, 1080}}) {
        const Goal_line line = Reset_Goal_Line(width, height);
        const ShiftReference reference =
            make_shift_reference(demo_picture(scene, kNoDogs, {}, width, height), line, "heat 1");
        for (const SceneShift moved :
             {SceneShift{0, 0}, SceneShift{1, 0}, SceneShift{0, -1}, SceneShift{3, 0}, SceneShift{0, 3},
              SceneShift{-3, 2}, SceneShift{1, 1}}) {
            SCOPED_TRACE(std::to_string(width) + "*" + std::to_string(height) + " moved " +
                         std::to_string(moved.dx) + "," + std::to_string(moved.dy));
            const CameraShift shift = measure_camera_shift(
                reference, demo_picture(scene, kDogsAtTheLine, moved, width, height, 12));
            ASSERT_EQ(shift.x.finding, AxisFinding::Measured);
            ASSERT_EQ(shift.y.finding, AxisFinding::Measured);
            EXPECT_EQ(shift.dx(), moved.dx);
            EXPECT_EQ(shift.dy(), moved.dy);
            EXPECT_NEAR(shift.x.pixels, moved.dx, 0.3);
            EXPECT_NEAR(shift.y.pixels, moved.dy, 0.3);
            EXPECT_EQ(shift.beyond(2), std::hypot(moved.dx, moved.dy) > 2);
        }
    }
}

TEST(CameraShift, SaysItCannotTellRatherThanGuess) {
    const DemoRaceScene scene;
    const Goal_line line = Reset_Goal_Line(400, 880);
    cDIBSection plain;
    plain.Create(400, 880);
    plain.Fill_with_RGB(0x808080);
    // A band without edges holds nothing to compare.
    const CameraShift blank = measure_camera_shift(make_shift_reference(plain, line, ""),
                                                   demo_picture(scene, kNoDogs, {}, 400, 880));
    EXPECT_EQ(blank.x.finding, AxisFinding::NoStructure);
    EXPECT_EQ(blank.y.finding, AxisFinding::NoStructure);
    EXPECT_FALSE(blank.beyond(0));
    // A covered lens, or a scene moved past the reach of the search, matches nowhere.
    const ShiftReference reference =
        make_shift_reference(demo_picture(scene, kNoDogs, {}, 400, 880), line, "");
    for (const cDIBSection& live : {plain, demo_picture(scene, kNoDogs, {40, 40}, 400, 880)}) {
        const CameraShift shift = measure_camera_shift(reference, live);
        EXPECT_EQ(shift.x.finding, AxisFinding::NoMatch);
        EXPECT_EQ(shift.y.finding, AxisFinding::NoMatch);
        EXPECT_FALSE(shift.beyond(0));
    }
}

TEST(CameraShift, ReferenceFileReadsBackAndRefusesDamage) {
    const DemoRaceScene scene;
    const Goal_line line{198, 90, 203, 790};
    const ShiftReference reference = make_shift_reference(demo_picture(scene, kNoDogs, {}, 400, 880), line,
                                                          "Cup_3_2024_05_01 19_02_11.px3");
    const std::string text = shift_reference_text(reference);
    const ShiftReference back = parse_shift_reference(text);
    EXPECT_EQ(back, reference);
    EXPECT_TRUE(reference_fits(back, line, 400, 880));
    EXPECT_FALSE(reference_fits(back, shifted_line(line, 1, 0), 400, 880));
    EXPECT_FALSE(reference_fits(back, line, 600, 1080));

    const std::size_t columns = text.find("\ncolumns ");
    const std::size_t rows = text.find("\nrows ");
    for (const std::string& damaged : std::vector<std::string>{
             text.substr(0, rows + 1), text.substr(0, text.rfind(' ')) + "\n", "Veltro camera reference 2\n",
             text.substr(0, columns) + "\ncolumns 1 2 3\n" + text.substr(rows + 1),
             text.substr(0, columns) + "\ncolumns 1 2 3 x\n" + text.substr(rows + 1),
             text.substr(0, columns) + "\ncolumns 1 1 -3\n" + text.substr(rows + 1), text + "\n",
             std::string(text).replace(text.find("line 198,"), 9, "line 198;")}) {
        try {
            (void)parse_shift_reference(damaged);
            ADD_FAILURE() << "read: " << damaged.substr(0, 80);
        } catch (const VeltroError& e) {
            EXPECT_EQ(e.number(), err::kTypeMismatch);
        }
    }
}

} // namespace
} // namespace veltro
