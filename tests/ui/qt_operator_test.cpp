// The message boxes the operator answers.
#include "support/ui/qt_operator.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace veltro {
namespace {

// Presses Enter on the question as soon as it is on screen.
void press_enter_on_the_question() {
    QTimer::singleShot(0, [] {
        if (QWidget* box = QApplication::activeModalWidget())
            QTest::keyClick(box, Qt::Key_Return);
        else
            press_enter_on_the_question();
    });
}

// Aborting a heat and clearing all results ask with OK and Cancel: Enter alone must not confirm.
TEST(QtOperator, EnterCancelsAnOkCancelQuestionAndAnswersYesToAYesNoOne) {
    QtOperator op;
    press_enter_on_the_question();
    EXPECT_FALSE(op.ask_ok_cancel("Clearing all results, are you sure?", "Veltro clearing results"));
    press_enter_on_the_question();
    EXPECT_TRUE(op.ask_yes_no("This event file already exists. Overwrite?", ""));
}

} // namespace
} // namespace veltro
