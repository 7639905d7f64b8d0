#include "fake_operator.h"
#include "scoped_env.h"
#include "support/error_report.h"
#include "support/files.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/pxv_error_form.h"
#include "support/ui/run_trapped.h"
#include "support/ui/user_folders.h"
#include "support/veltro_error.h"
#include "temp_dir.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTest>
#include <QUrlQuery>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltro {

// Receives the URLs the program hands to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    explicit UrlCatcher(const QString& scheme) : scheme_(scheme) {
        QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(scheme_); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }

private:
    QString scheme_;
};

namespace {

using ::testing::HasSubstr;

class ErrorFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        set_settings_path(dir.file("Veltro_HDMI.ini"));
        set_trace_file(dir.file("trace.txt"));
        install_error_form();
        PXV_error_form::set_exit_action([this] { ++exits; });
    }
    void TearDown() override {
        delete error_form();
        install_error_report_view(nullptr);
        set_trace_file("");
    }
    QPushButton* button(const char* name) { return error_form()->findChild<QPushButton*>(name); }
    void click(const char* name) {
        ASSERT_TRUE(button(name)) << name;
        QTest::mouseClick(button(name), Qt::LeftButton);
    }
    void fail_once() {
        run_trapped("Set_Time of Form Form_Veltro", [] { throw VeltroError(11, "Division by zero"); });
        ASSERT_TRUE(error_form());
    }

    testing::TempDir dir;
    testing::ScopedEnv data_dir{"VELTRO_DATA_DIR", dir.path().string()};
    testing::FakeOperator op;
    int exits = 0;
};

TEST_F(ErrorFormTest, AThrowingHandlerShowsTheFormWithItsLocationAndTheProgramGoesOn) {
    QPushButton source("Set time");
    int later_slots = 0;
    QObject::connect(&source, &QPushButton::clicked,
                     trapped("Command_set_time_Click of Form Form_Veltro",
                             [](bool) { throw VeltroError(13, "Type mismatch"); }));
    QObject::connect(&source, &QPushButton::clicked, [&] { ++later_slots; });
    QTest::mouseClick(&source, Qt::LeftButton);

    EXPECT_EQ(later_slots, 1);
    PXV_error_form* form = error_form();
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form->windowTitle(), "Veltro_HDMI error");
    EXPECT_THAT(form->report_text().toStdString(), HasSubstr("error description: 13, Type mismatch\n"));
    EXPECT_THAT(form->report_text().toStdString(),
                HasSubstr("Location of error: Command_set_time_Click of Form Form_Veltro, line: "));

    // "Continue" hides it; the next failure reuses the same form with only the new report.
    click("Command_continue");
    EXPECT_FALSE(form->isVisible());
    const int result = run_trapped("Count_Processes of Module mSysinfo", []() -> int {
        throw std::out_of_range("process table");
        return 5;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(error_form(), form);
    EXPECT_TRUE(form->isVisible());
    EXPECT_THAT(form->report_text().toStdString(), HasSubstr("error description: 9, process table\n"));
    EXPECT_THAT(form->report_text().toStdString(), ::testing::Not(HasSubstr("Type mismatch")));
}

TEST_F(ErrorFormTest, DevelopmentRunsLetFailuresThrough) {
    set_debug_run(true);
    EXPECT_THROW(run_trapped("X of Form Y", [] { throw VeltroError(5, "Invalid procedure call"); }),
                 VeltroError);
    set_debug_run(false);
    EXPECT_EQ(error_form(), nullptr);
}

TEST_F(ErrorFormTest, SaveInLogFileAppendsReportAndComment) {
    fail_once();
    error_form()->set_comment("box 3 clicked twice");
    click("Command_save_log");
    const std::string path = dir.file("Veltro_errlog.txt");
    EXPECT_EQ(op.last_message(), "Error info appended to file: " + path);
    const std::string log = read_whole_file(path).value_or("");
    EXPECT_THAT(log, HasSubstr("error description: 11, Division by zero\n"));
    EXPECT_THAT(log, ::testing::EndsWith("\nbox 3 clicked twice\n" + std::string(44, '*') + "\n"));

    // A log that cannot be written is said so, and the report stays on the form.
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    click("Command_save_log");
    EXPECT_EQ(op.messages.back().icon, MsgIcon::Critical);
    EXPECT_THAT(op.last_message(), HasSubstr(path));
    EXPECT_THAT(error_form()->report_text().toStdString(), HasSubstr("Division by zero"));
}

TEST_F(ErrorFormTest, SendMailHandsTheReportToTheMailProgram) {
    UrlCatcher mail("mailto");
    Write_Setting(keys::support_email, "help@example.org");
    fail_once();
    error_form()->set_comment("R&D: 50% slower");
    click("Command_send_mail");
    ASSERT_EQ(mail.urls.size(), 1);
    const QUrl url = mail.urls.front();
    EXPECT_EQ(url.path(), "help@example.org");
    const QUrlQuery query(url);
    EXPECT_EQ(query.queryItemValue("Subject", QUrl::FullyDecoded), " Veltro_HDMI error");
    const std::string body = query.queryItemValue("Body", QUrl::FullyDecoded).toStdString();
    EXPECT_THAT(body, HasSubstr("error description: 11, Division by zero\r\nLocation of error: "));
    EXPECT_THAT(body, ::testing::EndsWith("\r\n  R&D: 50% slower"));
}

TEST_F(ErrorFormTest, PrintReportWithoutAPrinterWritesAPdf) {
    if (!QPrinterInfo::availablePrinters().isEmpty())
        GTEST_SKIP() << "a printer is installed; printing would open the printer dialog";
    fail_once();
    click("Command_print");
    const std::string prefix = "No printer available, the report is printed to the file: ";
    ASSERT_THAT(op.last_message(), ::testing::StartsWith(prefix));
    const std::string pdf = op.last_message().substr(prefix.size());
    EXPECT_EQ(std::filesystem::path(pdf).parent_path(), print_folder());
    EXPECT_EQ(read_whole_file(pdf).value_or("").substr(0, 5), "%PDF-");
}

TEST_F(ErrorFormTest, ExitAndCopyButtons) {
    fail_once();
    error_form()->set_comment("my note");
    click("Command_copy");
    const std::string copied = QApplication::clipboard()->text().toStdString();
    EXPECT_THAT(copied, HasSubstr("Location of error: Set_Time of Form Form_Veltro"));
    EXPECT_THAT(copied, ::testing::EndsWith("my note\n"));
    EXPECT_EQ(exits, 0);
    click("Command_exit");
    EXPECT_EQ(exits, 1);
}

} // namespace
} // namespace veltro

#include "error_form_test.moc"
