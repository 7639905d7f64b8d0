// The message boxes the operator answers, and the documents handed to the desktop.
#include "support/ui/qt_operator.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace veltro {

// Stands in for the desktop's browser: takes the file URLs the program opens.
class DocumentCatcher : public QObject {
    Q_OBJECT
public:
    DocumentCatcher() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~DocumentCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

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

// A path with a space and a letter beyond ASCII reaches the desktop as the same file.
TEST(QtOperator, ADocumentGoesToTheDesktopAsAFileUrlOfItsPath) {
    DocumentCatcher browser;
    QtOperator op;
    const std::string path = "/opt/veltro/share/doc/veltro/guide/Gr\xc3\xb6\xc3\x9f"
                             "e Seite.html";
    EXPECT_TRUE(op.open_document(path));
    ASSERT_EQ(browser.urls.size(), 1);
    EXPECT_TRUE(browser.urls.front().isLocalFile());
    EXPECT_EQ(browser.urls.front().toLocalFile().toStdString(), path);
}

} // namespace
} // namespace veltro

#include "qt_operator_test.moc"
