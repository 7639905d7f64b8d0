// The review in the main window: a demo heat opened, stepped, judged by the box buttons and shown in
// the results window, which steers the window back.
#include "app/demo_heat.h"
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "demo_heat_window.h"
#include "events/ui/form_velt_results.h"
#include "fake_operator.h"
#include "read_only_as_user.h"
#include "recording/video_file_handler.h"
#include "review/review.h"
#include "review/ui/picture_box.h"
#include "review_parts.h"
#include "scoped_env.h"
#include "support/files.h"
#include "support/settings.h"
#include "temp_dir.h"
#include "timing/time_text.h"
#include "timing/ui/box_tile.h"
#include "window_parts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro {
namespace {

class ReviewInMainWindow : public testing::DemoHeatWindow {
protected:
    ReviewInMainWindow() : DemoHeatWindow("Test Event_1.px3", "0") {}

    QPushButton* button(const QString& name) { return form->findChild<QPushButton*>(name); }
    QLabel* results_label(const QString& name) { return form->results_window().findChild<QLabel*>(name); }
};

TEST_F(ReviewInMainWindow, OpensStepsAndAssignsThroughTheBoxButtons) {
    form->Handle_Open(path);
    QSlider* slider = testing::slider_play(*form);
    ASSERT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->maximum(), 2 * demo.frames); // 25 frames per second: field by field
    EXPECT_EQ(form->windowTitle().toStdString(), std::string("Veltro_HDMI ") + path);
    EXPECT_TRUE(form->findChild<QGroupBox*>("Frame_set_times")->isVisible());
    EXPECT_EQ(form->findChild<QGroupBox*>("Frame_set_times")->title(), "Set Goal times");
    EXPECT_TRUE(form->results_window().isVisible());

    // The arrow keys step the pictures; the time label follows.
    show_time(*demo.crossing_ms[3]); // box 4's dog on the line
    const int at = slider->value();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(slider->value(), at + 1);
    EXPECT_EQ(form->findChild<QLabel*>("Label_picture_number")->text(), QString::number(at + 1));
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(slider->value(), at);
    const std::int32_t time = time_on_show();
    EXPECT_EQ(form->findChild<QLabel*>("Label_heat_time")->text().toStdString(),
              Display_Mill_Time(time, false));

    // Box 4; then box 2 a dead heat with it; box 1 a hundredth later; box 6 disqualified through the
    // Notime pop-up.
    QTest::mouseClick(button("Command_box_4"), Qt::LeftButton);
    EXPECT_TRUE(button("Command_box_4")->styleSheet().contains("192, 255, 255"));
    EXPECT_FALSE(button("Command_box_1")->styleSheet().contains("192, 255, 255"));
    clock.advance(50);
    QTest::mouseClick(button("Command_deadheat"), Qt::LeftButton);
    EXPECT_TRUE(button("Command_deadheat")->styleSheet().contains("255, 255, 0"));
    QTest::mouseClick(button("Command_box_2"), Qt::LeftButton);
    EXPECT_FALSE(button("Command_deadheat")->styleSheet().contains("255, 255, 0"));
    clock.advance(50);
    QTest::mouseClick(button("Command_100"), Qt::LeftButton);
    QTest::mouseClick(button("Command_box_1"), Qt::LeftButton);
    EXPECT_FALSE(button("Command_100")->styleSheet().contains("255, 255, 0"));
    form->findChild<QAction*>("item_disqualified")->trigger();
    EXPECT_EQ(button("Command_notime")->text(), "DSQ");
    QTest::mouseClick(button("Command_notime"), Qt::LeftButton);
    QTest::mouseClick(button("Command_box_6"), Qt::LeftButton);
    EXPECT_EQ(form->focusWidget(), slider); // the arrow keys step pictures again

    cls_VideoFile_handler other;
    other.Open_File(path);
    EXPECT_EQ(other.Velt_Heat_time(4, false), time);
    EXPECT_EQ(other.Velt_Heat_time(2, false), time);
    EXPECT_TRUE(other.Velt_dead_heat(2));
    EXPECT_EQ(other.Velt_Heat_time(1, false), time + 10);
    EXPECT_EQ(other.Velt_Heat_time(6, false), no_time::kDisqualified);
    other.Close_File();

    const Form_Velt_Results& results = form->results_window();
    EXPECT_EQ(results.row(0).box, 4);
    EXPECT_EQ(results.row(1).box, 2);
    EXPECT_EQ(results.row(1).rank, "1"); // the dead heat shares the rank before it
    EXPECT_TRUE(results.row(1).dead_heat_marker);
    EXPECT_EQ(results.row(2).rank, "3");
    EXPECT_EQ(results.row(3).time, "DSQ");
    form->results_window().Export_to_Clipboard();
    EXPECT_NE(QGuiApplication::clipboard()->text().indexOf("\tDSQ"), -1);

    // A click on the first rank shows that box's picture again.
    slider->setValue(1);
    QTest::mouseClick(results_label("Label_rank_0"), Qt::LeftButton);
    EXPECT_EQ(slider->value(), at);

    // Split mode: the split camera's captions; a second press within 300 ms is ignored.
    QTest::mouseClick(button("Command_split_goal"), Qt::LeftButton);
    EXPECT_EQ(button("Command_split_goal")->text(), "Goal");
    EXPECT_EQ(form->findChild<QGroupBox*>("Frame_set_times")->title(), "Set Split times");
    EXPECT_FALSE(button("Command_deadheat")->isVisible());
    QTest::mouseClick(button("Command_split_goal"), Qt::LeftButton);
    EXPECT_EQ(button("Command_split_goal")->text(), "Goal");
    clock.advance(300);
    QTest::mouseClick(button("Command_split_goal"), Qt::LeftButton);
    EXPECT_EQ(button("Command_split_goal")->text(), "Split");

    // "Close Veltro file" empties the results and stops the slider.
    form->findChild<QAction*>("item_close_file")->trigger();
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_TRUE(form->results_window().row(0).dog_name.empty());
}

TEST_F(ReviewInMainWindow, TheHandleIsDraggedThroughThePictureAndStored) {
    form->Handle_Open(path);
    PictureBox* picture = testing::picture_live(*form);
    const Goal_line line = pictures().opened_goal_line();
    const QColor goal = bgr_colour(Display_Goal_times().colour);
    const double middle = (line.y1 + line.y2) / 2.0;
    const QTransform to_widget = picture->picture_transform();
    auto at = [&](double x, double y) { return to_widget.map(QPointF(x, y)).toPoint(); };
    // A press 10 picture pixels left of the first handle grabs nothing: the drag moves no line.
    QTest::mousePress(picture, Qt::LeftButton, {}, at(line.x1 - 10, line.y1));
    QMouseEvent nothing(QEvent::MouseMove, QPointF(at(line.x1 - 5, line.y1 - 3)),
                        picture->mapToGlobal(QPointF(at(line.x1 - 5, line.y1 - 3))), Qt::NoButton,
                        Qt::LeftButton, {});
    QApplication::sendEvent(picture, &nothing);
    QTest::mouseRelease(picture, Qt::LeftButton, {}, at(line.x1 - 5, line.y1 - 3));
    EXPECT_NEAR(testing::drawn_line_x(*picture, middle, goal).value_or(-1), line.x1, 0.5);
    EXPECT_EQ(Read_Setting(keys::goal_line_1), "N/A");
    // A press 10 picture pixels right of the first handle grabs it.
    const QPoint press = at(line.x1 + 10, line.y1);
    QTest::mousePress(picture, Qt::LeftButton, {}, press);
    const QPointF target = to_widget.inverted().map(QPointF(press)) + QPointF(5, -3);
    QMouseEvent move(QEvent::MouseMove, to_widget.map(target), picture->mapToGlobal(to_widget.map(target)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(picture, &move);
    QTest::mouseRelease(picture, Qt::LeftButton, {}, to_widget.map(target).toPoint());
    // Stored (the live view takes its line from there when the camera starts), and drawn where stored.
    const Goal_line moved = parse_goal_line(Read_Setting(keys::goal_line_1)).value_or(Goal_line{});
    EXPECT_NEAR(moved.x1, line.x1 + 5, 1);
    EXPECT_NEAR(moved.y1, line.y1 - 3, 1);
    EXPECT_EQ(moved.x2, line.x2);
    EXPECT_EQ(moved.y2, line.y2);
    const double drawn_at = moved.x1 + (moved.x2 - moved.x1) * (middle - moved.y1) / (moved.y2 - moved.y1);
    EXPECT_NEAR(testing::drawn_line_x(*picture, middle, goal).value_or(-1), drawn_at, 0.5);
}

// The superuser may write any file, so the test drops to another user while the file is open.
TEST_F(ReviewInMainWindow, AReadOnlyRecordingSaysSoAndStaysUnchanged) {
    testing::ReadOnlyAsUser read_only(path, dir.path());
    if (!read_only.ok())
        GTEST_SKIP() << "cannot act as another user";
    const std::string before = read_whole_file(path).value_or("");
    form->Handle_Open(path);
    const QString title = form->windowTitle();
    testing::slider_play(*form)->setValue(20);
    QTest::mouseClick(button("Command_box_1"), Qt::LeftButton);
    const std::string refusal = op.last_message();
    op.inputs.push_back("Other Dog");
    QTest::mouseClick(results_label("Label_name_0"), Qt::RightButton);
    const std::string rename_refusal = op.last_message();
    form->findChild<QAction*>("item_close_file")->trigger();
    if (!read_only.back())
        FAIL() << "cannot return to the superuser";
    EXPECT_TRUE(title.endsWith("(read-only)"));
    EXPECT_EQ(refusal, "File is read only!");
    EXPECT_EQ(rename_refusal, "File is Read Only!\r\nThis file can't be changed");
    EXPECT_EQ(read_whole_file(path).value_or(""), before);
}

TEST_F(ReviewInMainWindow, DisplaceGoallineNudgesTheDrawnLineWithTheKeys) {
    form->Handle_Open(path);
    const Goal_line line = pictures().opened_goal_line();
    auto drawn_x = [&] {
        return testing::drawn_line_x(*testing::picture_live(*form), (line.y1 + line.y2) / 2.0,
                                     bgr_colour(Display_Goal_times().colour))
            .value_or(-1);
    };
    QAction* displace = form->findChild<QAction*>("item_displace_goalline");
    displace->trigger();
    EXPECT_TRUE(displace->isChecked());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QSlider* slider = testing::slider_play(*form);
    slider->setFocus();
    const int at = slider->value();
    // Alt+Right as the keyboard sends it once Alt is down; keys closer than 150 ms count once.
    for (int i = 0; i < 2; ++i) {
        clock.advance(200);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::AltModifier);
        QApplication::sendEvent(slider, &press);
    }
    EXPECT_NEAR(drawn_x(), line.x1 + 2, 0.5);
    EXPECT_EQ(Read_Setting(keys::goal_line_1), "N/A"); // the stored line stays
    EXPECT_EQ(slider->value(), at);                    // and the picture too
    displace->trigger();
    EXPECT_NEAR(drawn_x(), line.x1, 0.5);
}

TEST_F(ReviewInMainWindow, AClickInTheResultsWindowGivesTheKeysBackToTheSlider) {
    form->Handle_Open(path);
    QCoreApplication::processEvents(); // the open's own activations
    QSlider* slider = testing::slider_play(*form);
    Form_Velt_Results& results = form->results_window();
    for (const char* name : {"Label_time_2", "Label_rank_0", "Picture_box_1"}) {
        results.activateWindow();
        QCoreApplication::processEvents();
        ASSERT_EQ(QApplication::activeWindow(), &results);
        QTest::mouseClick(results_label(name), Qt::LeftButton);
        QCoreApplication::processEvents();
        EXPECT_EQ(QApplication::activeWindow(), form.get()) << name;
        EXPECT_EQ(QApplication::focusWidget(), slider) << name;
    }
    // So the next arrow key, sent where the keyboard is, steps the picture.
    const int at = slider->value();
    clock.advance(200);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_EQ(slider->value(), at + 1);
}

TEST_F(ReviewInMainWindow, TheKeypadStepsAndTypesUnlessDisplaceGoallineIsOn) {
    form->Handle_Open(path);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QSlider* slider = testing::slider_play(*form);
    slider->setFocus();
    const int at = slider->value();
    // NumLock off: the keypad's 6 and 4 come as arrows.
    clock.advance(200);
    QTest::keyClick(slider, Qt::Key_Right, Qt::KeypadModifier);
    EXPECT_EQ(slider->value(), at + 1);
    clock.advance(200);
    QTest::keyClick(slider, Qt::Key_Left, Qt::KeypadModifier);
    EXPECT_EQ(slider->value(), at);

    auto* heat = form->findChild<QSpinBox*>("UpDown_heat");
    heat->setFocus();
    heat->selectAll();
    clock.advance(200);
    QTest::keyClick(heat, Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(heat->value(), 4);

    // With "Displace goalline" on the same keys nudge the line and leave the picture.
    form->findChild<QAction*>("item_displace_goalline")->trigger();
    slider->setFocus();
    clock.advance(200);
    QTest::keyClick(slider, Qt::Key_Right, Qt::KeypadModifier);
    clock.advance(200);
    QTest::keyClick(slider, Qt::Key_6, Qt::KeypadModifier);
    const Goal_line line = pictures().opened_goal_line();
    EXPECT_NEAR(testing::drawn_line_x(*testing::picture_live(*form), (line.y1 + line.y2) / 2.0,
                                      bgr_colour(Display_Goal_times().colour))
                    .value_or(-1),
                line.x1 + 2, 0.5);
    EXPECT_EQ(slider->value(), at);
}

TEST_F(ReviewInMainWindow, CropAndStretchMenusAndAFileThatDoesNotOpen) {
    EXPECT_TRUE(form->findChild<QAction*>("item_crop_400*880")->isChecked()); // the stored crop
    form->findChild<QAction*>("item_crop_600*1080")->trigger();
    EXPECT_EQ(Read_Setting(keys::lastcrop), "600*1080");
    EXPECT_EQ(testing::picture_live(*form)->picture_size(), QSize(600, 1080)); // the picture takes the crop
    EXPECT_FALSE(form->findChild<QAction*>("item_crop_400*880")->isChecked());
    form->findChild<QAction*>("item_x_stretch_2")->trigger();
    EXPECT_DOUBLE_EQ(testing::picture_live(*form)->x_stretch(), 0.5);

    form->Handle_Open(dir.file("missing.px3"));
    EXPECT_EQ(op.last_message(), "File open failed");
    EXPECT_FALSE(testing::slider_play(*form)->isEnabled());
}

// A heat cut short opens with the frames it holds and says how many are missing; a picture that
// cannot be read gives no time; a failed open leaves nothing of the heat before on show.
TEST_F(ReviewInMainWindow, ACutShortHeatSaysSoAndAFailedOpenClearsTheHeatBefore) {
    std::int32_t sample_size = 0;
    {
        cls_VideoFile_handler reader;
        reader.Open_File(path);
        sample_size = reader.sample_size();
    }
    const std::string cut = dir.file("Test Event_2.px3");
    std::filesystem::copy_file(path, cut);
    std::filesystem::resize_file(cut, static_cast<std::uintmax_t>(32016 + 24LL * sample_size + 1000));
    {
        // Frame 10's record damaged as well.
        std::fstream f(cut, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(32016 + 9LL * sample_size);
        f.write("XXXX", 4);
    }
    form->Handle_Open(cut);
    EXPECT_EQ(op.last_message(), "This recording is cut short: " + std::to_string(demo.frames - 24) + " of " +
                                     std::to_string(demo.frames) + " frames are missing.");
    QSlider* slider = testing::slider_play(*form);
    ASSERT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->maximum(), 2 * 24);
    slider->setValue(48);
    EXPECT_FALSE(form->findChild<QLabel*>("Label_heat_time")->text().isEmpty());

    // Field 19 belongs to frame 10: the "Corrupted video" picture, no time, and a click only beeps.
    slider->setValue(19);
    testing::RecordedPictures cut_pictures(cut);
    const QImage corrupted = cut_pictures.picture(19);
    ASSERT_TRUE(cut_pictures.file().frame_corrupted());
    EXPECT_EQ(testing::picture_live(*form)->image().convertToFormat(corrupted.format()), corrupted);
    EXPECT_TRUE(form->findChild<QLabel*>("Label_heat_time")->text().isEmpty());
    const int beeps = op.beeps;
    QTest::mouseClick(button("Command_box_3"), Qt::LeftButton);
    EXPECT_EQ(op.beeps, beeps + 1);
    {
        cls_VideoFile_handler other;
        other.Open_File(cut);
        EXPECT_EQ(other.Velt_Heat_time(3, false), 0);
    }

    // A good heat, then one that does not open: its picture, clock, caption and results go.
    form->Handle_Open(path);
    slider->setValue(30);
    ASSERT_FALSE(testing::picture_live(*form)->empty());
    ASSERT_FALSE(form->results_window().row(0).dog_name.empty());
    form->Handle_Open(dir.file("missing.px3"));
    EXPECT_EQ(op.last_message(), "File open failed");
    EXPECT_TRUE(testing::picture_live(*form)->empty());
    EXPECT_EQ(form->findChild<QLabel*>("Label_heat_time")->text(), "00:00,00");
    EXPECT_EQ(form->windowTitle(), "Veltro_HDMI");
    EXPECT_TRUE(form->results_window().row(0).dog_name.empty());
    EXPECT_FALSE(slider->isEnabled());
}

// The heat was recorded with goal compensation 0; the setting in force applies to its review, and
// the window says so while the two differ.
TEST_F(ReviewInMainWindow, AGoalCompensationOtherThanTheHeatsOwnIsShownWithBothValues) {
    QLabel* note = form->findChild<QLabel*>("Label_compensation");
    Write_Setting(keys::goal_compensation, "200");
    form->Load_Compensations();
    form->Handle_Open(path);
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), "Goal compensation 200 ms in use; this heat was recorded with 0 ms");
    Write_Setting(keys::goal_compensation, "0");
    form->Load_Compensations();
    EXPECT_FALSE(note->isVisible());
    Write_Setting(keys::goal_compensation, "150");
    form->Load_Compensations();
    EXPECT_TRUE(note->isVisible());
    form->Do_Close();
    EXPECT_FALSE(note->isVisible());
}

} // namespace
} // namespace veltro
