// Guarding judged times in the main window: the question before a key replaces one, Ctrl+Z, the
// official mark, and the operator's name in the History.
#include "app/ui/form_veltro.h"
#include "demo_heat_window.h"
#include "events/ui/form_velt_results.h"
#include "recording/result_history.h"
#include "recording/video_file_handler.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/ui/qt_operator.h"
#include "timing/time_text.h"
#include "window_parts.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace veltro {
namespace {

// Clicks Cancel on the real question box as soon as it is on screen.
void cancel_when_asked(int tries = 1000) {
    QTimer::singleShot(0, [tries] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Cancel)->click();
        else if (tries > 0)
            cancel_when_asked(tries - 1);
    });
}

class OfficialResult : public testing::DemoHeatWindow {
protected:
    OfficialResult() : DemoHeatWindow("Test Event_1.px3", "0") {}

    // Box 3 judged at its dog's crossing: the time assigned.
    std::int32_t judge_box_3() {
        show_time(*demo.crossing_ms[2]);
        key(Qt::Key_3);
        return on_disk(3);
    }
    // The play slider moved `count` pictures on.
    void step(int count) {
        QSlider* slider = testing::slider_play(*form);
        slider->setValue(slider->value() + count);
    }
    std::int32_t on_disk(std::int16_t box) {
        cls_VideoFile_handler other;
        other.Open_File(path);
        return other.Velt_Heat_time(box, false);
    }
    void menu(const char* name) { form->findChild<QAction*>(name)->trigger(); }
    std::string history() { return result_history_text(path); }
};

TEST_F(OfficialResult, AStrayKeyOverAJudgedTimeAsksAndCancelKeepsIt) {
    open();
    op.inputs = {"Anna"};
    const std::int32_t judged = judge_box_3();
    ASSERT_GT(judged, 0);
    // One picture on is a correction: no question.
    step(1);
    key(Qt::Key_3);
    const std::int32_t corrected = on_disk(3);
    EXPECT_NE(corrected, judged);
    EXPECT_EQ(op.questions,
              std::vector<std::string>{"Operator's name (written with every change of a result)"});

    step(10);
    key(Qt::Key_3); // the fake answers Cancel
    ASSERT_EQ(op.questions.size(), 2u);
    EXPECT_EQ(op.questions.back().rfind("Box 3 has the time " + Display_Mill_Time(corrected, true), 0), 0u)
        << op.questions.back();
    EXPECT_EQ(on_disk(3), corrected);

    // Through a real box, which takes the window's focus while it asks: Cancel keeps the time, and
    // the next key judges again.
    QtOperator real;
    Operator* fake = install_operator(&real);
    cancel_when_asked();
    key(Qt::Key_3);
    install_operator(fake);
    EXPECT_EQ(on_disk(3), corrected);
    op.answers = {true};
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    key(Qt::Key_3);
    EXPECT_EQ(on_disk(3), time_on_show());

    // The option turns the question off.
    Write_Setting(keys::replace_without_asking, "1");
    step(10);
    key(Qt::Key_3);
    EXPECT_EQ(op.questions.size(), 3u);
    EXPECT_EQ(on_disk(3), time_on_show());
}

TEST_F(OfficialResult, CtrlZRestoresThePreviousValueAndTheHistoryShowsBoth) {
    open();
    op.inputs = {"Anna"};
    const std::int32_t first = judge_box_3();
    step(10);
    op.answers = {true};
    key(Qt::Key_3);
    const std::int32_t second = on_disk(3);
    ASSERT_NE(second, first);
    testing::slider_play(*form)->setFocus();
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(on_disk(3), first);
    const ResultRow shown = form->results_window().row(0);
    EXPECT_EQ(shown.box, 3);
    EXPECT_EQ(shown.time, Display_Mill_Time(first, true));
    const std::string h = history();
    const std::string set = "box 3 finish time " + Display_Mill_Time(first, true) + " -> " +
                            Display_Mill_Time(second, true) + "  by Anna";
    const std::string undone = "box 3 finish time " + Display_Mill_Time(second, true) + " -> " +
                               Display_Mill_Time(first, true) + " (undo)  by Anna";
    EXPECT_NE(h.find(set), std::string::npos) << h;
    EXPECT_NE(h.find(undone), std::string::npos) << h;
    // Undoing again goes back past the first judgement; then there is nothing left.
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(on_disk(3), 0);
    const int beeps = op.beeps;
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(op.beeps, beeps + 1);
    EXPECT_EQ(on_disk(3), 0);
}

TEST_F(OfficialResult, AnOfficialHeatRefusesChangesUntilWithdrawnWithAReason) {
    open();
    op.inputs = {"Anna"};
    const std::int32_t judged = judge_box_3();
    menu("item_declare_official");
    auto* label = form->results_window().findChild<QLabel*>("Label_official");
    EXPECT_EQ(label->text().toStdString().rfind("Official: Anna, ", 0), 0u) << label->text().toStdString();
    EXPECT_FALSE(label->isHidden());

    step(10);
    key(Qt::Key_3);
    key(Qt::Key_Z, Qt::ControlModifier);
    menu("item_undo");
    EXPECT_EQ(op.last_message(), kOfficialRefusal);
    EXPECT_EQ(on_disk(3), judged);

    // Withdrawing without a reason changes nothing.
    op.inputs = {std::string()};
    menu("item_withdraw_official");
    cls_VideoFile_handler other;
    other.Open_File(path);
    EXPECT_FALSE(other.velt_official().empty());

    op.inputs = {"wrong dog in box 3"};
    menu("item_withdraw_official");
    EXPECT_TRUE(label->isHidden());
    op.answers = {true};
    key(Qt::Key_3);
    EXPECT_EQ(on_disk(3), time_on_show());
    const std::string h = history();
    EXPECT_NE(h.find("result declared official  by Anna"), std::string::npos) << h;
    EXPECT_NE(h.find("official withdrawn (reason: wrong dog in box 3)  by Anna"), std::string::npos) << h;
}

} // namespace
} // namespace veltro
