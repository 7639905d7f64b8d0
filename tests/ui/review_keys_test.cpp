// Judging from the keyboard in the main window: the digits click the box buttons, Page Down / Page Up
// jump between the marks on the play slider, and the marks follow every assignment.
#include "app/ui/form_veltro.h"
#include "demo_heat_window.h"
#include "events/ui/form_velt_results.h"
#include "read_only_as_user.h"
#include "recording/video_file_handler.h"
#include "review/slider_marks.h"
#include "review/ui/marked_slider.h"
#include "support/files.h"
#include "timing/time_text.h"
#include "window_parts.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro {
namespace {

class ReviewKeys : public testing::DemoHeatWindow {
protected:
    ReviewKeys() : DemoHeatWindow("Test Event_1.px3", "0") {}

    QPushButton* button(const QString& name) { return form->findChild<QPushButton*>(name); }
    MarkedSlider* slider() { return static_cast<MarkedSlider*>(testing::slider_play(*form)); }
    std::vector<std::int16_t> marked_boxes() {
        std::vector<std::int16_t> boxes;
        for (const SliderMark& m : slider()->marks())
            if (m.kind == SliderMarkKind::Box)
                boxes.push_back(m.box);
        return boxes;
    }
    bool toggle_lit(const char* name) { return button(name)->styleSheet().contains("255, 255, 0"); }
};

TEST_F(ReviewKeys, TheDigitsAssignAsTheBoxButtonsDo) {
    open();
    show_time(*demo.crossing_ms[2]);
    const int at = slider()->value();
    const std::int32_t time = time_on_show();

    // Box 3 from the top row and box 5 by the mouse, each with +1/100 and Dead heat on.
    for (const int box : {3, 5}) {
        QTest::mouseClick(button("Command_100"), Qt::LeftButton);
        QTest::mouseClick(button("Command_deadheat"), Qt::LeftButton);
        ASSERT_TRUE(toggle_lit("Command_100") && toggle_lit("Command_deadheat"));
        clock.advance(100);
        if (box == 3) {
            slider()->setFocus();
            key(Qt::Key_3);
        } else {
            QTest::mouseClick(button("Command_box_5"), Qt::LeftButton);
        }
        EXPECT_FALSE(toggle_lit("Command_100")) << box;
        EXPECT_FALSE(toggle_lit("Command_deadheat")) << box;
        EXPECT_EQ(QApplication::focusWidget(), slider()) << box;
        EXPECT_TRUE(button(QString("Command_box_%1").arg(box))->styleSheet().contains("192, 255, 255"))
            << box;
        // Released again: "Set time" from the menu has no box to go to.
        const int beeps = op.beeps;
        form->findChild<QAction*>("item_set_time")->trigger();
        EXPECT_EQ(op.beeps, beeps + 1) << box;
    }
    // The keypad's 6 with "DSQ" chosen and the No-time toggle on.
    form->findChild<QAction*>("item_disqualified")->trigger();
    QTest::mouseClick(button("Command_notime"), Qt::LeftButton);
    slider()->setFocus();
    key(Qt::Key_6, Qt::KeypadModifier);
    EXPECT_FALSE(toggle_lit("Command_notime"));

    cls_VideoFile_handler other;
    other.Open_File(path);
    for (const std::int16_t box : {3, 5}) {
        EXPECT_EQ(other.Velt_Heat_time(box, false), time + 10) << box;
        EXPECT_EQ(other.Velt_heat_frame(box), at) << box;
        EXPECT_TRUE(other.Velt_dead_heat(box)) << box;
    }
    EXPECT_LT(other.Velt_Heat_Click_Time(3), other.Velt_Heat_Click_Time(5));
    EXPECT_EQ(other.Velt_Heat_time(6, false), no_time::kDisqualified);
    EXPECT_EQ(other.Velt_heat_frame(6), at);
    other.Close_File();

    // The results window was refreshed by the key as by the mouse.
    const Form_Velt_Results& results = form->results_window();
    EXPECT_EQ(results.row(0).box, 3);
    EXPECT_EQ(results.row(0).time, Display_Mill_Time(time + 10, true));
    EXPECT_EQ(results.row(1).box, 5);
    EXPECT_EQ(results.row(2).time, "DSQ");
    EXPECT_EQ(marked_boxes(), (std::vector<std::int16_t>{3, 5, 6}));
}

// The superuser may write any file, so the test drops to another user while the file is open.
TEST_F(ReviewKeys, AReadOnlyRecordingRefusesTheKeyAsItRefusesTheButton) {
    testing::ReadOnlyAsUser read_only(path, dir.path());
    if (!read_only.ok())
        GTEST_SKIP() << "cannot act as another user";
    const std::string before = read_whole_file(path).value_or("");
    open();
    testing::slider_play(*form)->setValue(20);
    QTest::mouseClick(button("Command_100"), Qt::LeftButton);
    slider()->setFocus();
    const auto before_key = op.messages.size();
    key(Qt::Key_1);
    const auto said = op.messages.size() - before_key;
    const std::string refusal = op.last_message();
    const bool toggle_kept = toggle_lit("Command_100");
    const auto boxes = marked_boxes();
    form->findChild<QAction*>("item_close_file")->trigger();
    if (!read_only.back())
        FAIL() << "cannot return to the superuser";
    EXPECT_EQ(said, 1u);
    EXPECT_EQ(refusal, "File is read only!");
    EXPECT_TRUE(toggle_kept); // nothing was assigned, so nothing was used up
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(read_whole_file(path).value_or(""), before);
}

TEST_F(ReviewKeys, MarksFollowAssignmentsClearingAndClosing) {
    open();
    // One capture pass: its first picture is marked, in grey.
    ASSERT_EQ(slider()->marks().size(), 1u);
    EXPECT_EQ(slider()->marks()[0].position, 1);
    EXPECT_EQ(slider()->marks()[0].fill, kPassMarkColour);

    show_time(*demo.crossing_ms[1]);
    const int at = slider()->value();
    key(Qt::Key_2);
    ASSERT_EQ(marked_boxes(), (std::vector<std::int16_t>{2}));
    EXPECT_EQ(slider()->marks()[1].position, at);
    EXPECT_EQ(slider()->marks()[1].fill, box_tile_colours(2)->background);
    // Box 2 judged again later: its mark moves with it.
    QTest::keyClick(slider(), Qt::Key_Right);
    key(Qt::Key_2);
    EXPECT_EQ(slider()->marks()[1].position, at + 1);

    op.answers.push_back(true);
    form->results_window().findChild<QAction*>("item_clear_results")->trigger();
    EXPECT_TRUE(marked_boxes().empty());
    EXPECT_EQ(slider()->marks().size(), 1u);

    key(Qt::Key_4);
    form->findChild<QAction*>("item_close_file")->trigger();
    EXPECT_TRUE(slider()->marks().empty());
    // Opened again, the heat shows its pass and box 4 at once.
    open();
    EXPECT_EQ(marked_boxes(), (std::vector<std::int16_t>{4}));
}

TEST_F(ReviewKeys, PageDownAndPageUpLandOnTheMarks) {
    open();
    show_time(*demo.crossing_ms[3]);
    const int first = slider()->value();
    key(Qt::Key_4);
    const int second = first + 10;
    slider()->setValue(second);
    key(Qt::Key_1);
    key(Qt::Key_5); // a second mark on the same picture

    slider()->setValue(slider()->minimum());
    key(Qt::Key_PageDown);
    EXPECT_EQ(slider()->value(), first);
    EXPECT_EQ(testing::picture_number(*form), first); // the picture itself, not only the handle
    EXPECT_EQ(testing::heat_time_text(*form), Display_Mill_Time(time_on_show(), false));
    key(Qt::Key_PageDown);
    EXPECT_EQ(testing::picture_number(*form), second);
    key(Qt::Key_PageDown); // nothing after the last mark
    EXPECT_EQ(testing::picture_number(*form), second);
    EXPECT_EQ(op.beeps, 1);
    key(Qt::Key_PageUp);
    EXPECT_EQ(testing::picture_number(*form), first);
    key(Qt::Key_PageUp);
    EXPECT_EQ(testing::picture_number(*form), 1); // the start of the capture pass
    key(Qt::Key_PageUp);
    EXPECT_EQ(op.beeps, 2);

    // From anywhere in the window, not only the slider; the slider takes the keys again.
    button("Command_split_goal")->setFocus();
    key(Qt::Key_PageDown);
    EXPECT_EQ(testing::picture_number(*form), first);
    EXPECT_EQ(QApplication::focusWidget(), slider());
}

TEST_F(ReviewKeys, DigitsInATextFieldOrAnotherWindowAssignNothing) {
    open();
    testing::slider_play(*form)->setValue(30);
    auto* heat = form->findChild<QSpinBox*>("UpDown_heat");
    heat->setFocus();
    heat->selectAll();
    key(Qt::Key_3);
    EXPECT_EQ(heat->value(), 3);
    form->findChild<QLineEdit*>("Text_file_name")->setFocus();
    key(Qt::Key_2);
    heat->setFocus();
    key(Qt::Key_PageDown); // the spin box's own page step
    EXPECT_EQ(testing::slider_play(*form)->value(), 30);

    Form_Velt_Results& results = form->results_window();
    results.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&results));
    QTest::keyClick(&results, Qt::Key_4);
    // And the digit keys do nothing without a recording under review.
    form->findChild<QAction*>("item_close_file")->trigger();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    button("Command_split_goal")->setFocus();
    key(Qt::Key_1);
    EXPECT_TRUE(op.messages.empty());

    cls_VideoFile_handler other;
    other.Open_File(path);
    for (std::int16_t box = 1; box <= 6; ++box)
        EXPECT_EQ(other.Velt_Heat_time(box, false), 0) << box;
    EXPECT_EQ(other.Velt_heat_frame(1), 0);
}

// Every command with a key shows it; no two take the same key, and none takes a key of the review.
TEST_F(ReviewKeys, MenuShortcutsAreShownDistinctAndLeaveTheReviewKeys) {
    std::vector<QAction*> actions;
    std::function<void(const QList<QAction*>&)> collect = [&](const QList<QAction*>& list) {
        for (QAction* a : list) {
            if (a->menu())
                collect(a->menu()->actions());
            else if (!a->shortcut().isEmpty())
                actions.push_back(a);
        }
    };
    collect(form->menuBar()->actions());
    std::set<QString> seen;
    std::set<QString> review_keys;
    for (const Qt::Key k : {Qt::Key_Left, Qt::Key_Right, Qt::Key_PageUp, Qt::Key_PageDown})
        review_keys.insert(QKeySequence(k).toString());
    for (int k = Qt::Key_1; k <= Qt::Key_6; ++k)
        review_keys.insert(QKeySequence(k).toString());
    for (QAction* a : actions) {
        const QString keys = a->shortcut().toString();
        EXPECT_TRUE(seen.insert(keys).second) << keys.toStdString();
        // Page Down / Page Up are only shown: they act while the menu itself has the keyboard.
        EXPECT_TRUE(!review_keys.count(keys) || a->shortcutContext() == Qt::WidgetShortcut)
            << a->objectName().toStdString();
    }
    EXPECT_EQ(form->findChild<QAction*>("item_next_mark")->shortcut(), QKeySequence(Qt::Key_PageDown));
    EXPECT_EQ(form->findChild<QAction*>("item_open_file")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));

    // A shortcut works from the window: Ctrl+R brings the results window back.
    open();
    form->results_window().hide();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(form->results_window().isVisible());
}

} // namespace
} // namespace veltro
