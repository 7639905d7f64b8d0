#include "app/moved_camera.h"
#include "capture/demo_pictures.h"
#include "support/files.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

using Verdict = MovedCameraCheck::Verdict;

class MovedCamera : public ::testing::Test {
protected:
    cDIBSection picture(SceneShift moved) {
        return testing::demo_picture(scene, testing::kNoDogs, moved, 400, 880);
    }
    MovedCameraCheck check(SceneShift moved, const Goal_line& on) {
        return check_moved_camera(path, picture(moved), on, "Cup_" + std::to_string(++heat) + ".px3");
    }
    std::string kept() const { return read_whole_file(path).value_or(""); }

    testing::TempDir dir;
    std::string path = dir.file("Veltro_camera1_reference.txt");
    DemoRaceScene scene;
    Goal_line line = Reset_Goal_Line(400, 880);
    int heat = 0;
};

TEST_F(MovedCamera, KeepsThePictureOfTheSceneWhereItWasUntilTheOperatorMovesTheLine) {
    EXPECT_EQ(check({}, line).verdict, Verdict::NewReference);
    const std::string first = kept();
    EXPECT_NE(first.find("heat Cup_1.px3"), std::string::npos);
    // A pixel's creep is no warning, but the picture of the first heat stays the one compared with, so
    // that the creep of the next heats adds up.
    EXPECT_EQ(check({1, 0}, line).verdict, Verdict::Steady);
    EXPECT_EQ(kept(), first);
    const MovedCameraCheck moved = check({3, -1}, line);
    ASSERT_EQ(moved.verdict, Verdict::Moved);
    EXPECT_EQ(moved.moved_line, shifted_line(line, 3, -1));
    EXPECT_EQ(moved.text, "The picture has moved 3 px right and 1 px up since the last heat with this goal "
                          "line: the camera has been moved.\nMove the goal line with it?");
    // Declined (or not answered): nothing changes, and the next heat asks again.
    answer_moved_camera(path, picture({3, -1}), moved, "Cup_3.px3", false);
    EXPECT_EQ(kept(), first);
    EXPECT_EQ(check({3, -1}, line).verdict, Verdict::Moved);
    // Moved with the camera: the line and the picture go together from now on.
    answer_moved_camera(path, picture({3, -1}), moved, "Cup_4.px3", true);
    EXPECT_EQ(check({3, -1}, moved.moved_line).verdict, Verdict::Steady);
    // Covered, the picture tells nothing and the kept one stays.
    const std::string before = kept();
    cDIBSection covered;
    covered.Create(400, 880);
    const MovedCameraCheck blind = check_moved_camera(path, covered, moved.moved_line, "Cup_7.px3");
    EXPECT_EQ(blind.verdict, Verdict::CannotTell);
    EXPECT_EQ(kept(), before);
    // Another line, or a damaged file, begins anew.
    EXPECT_EQ(check({}, line).verdict, Verdict::NewReference);
    save_file_atomically(path, "Veltro camera reference 1\nheat x\n");
    EXPECT_EQ(check({}, line).verdict, Verdict::NewReference);
    EXPECT_EQ(check({}, line).verdict, Verdict::Steady);
}

} // namespace
} // namespace veltro
