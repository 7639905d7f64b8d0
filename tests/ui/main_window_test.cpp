#include "app/ui/form_veltro.h"
#include "events/event_session.h"
#include "events/ui/form_event_registration.h"
#include "fake_operator.h"
#include "recording/test_recording.h"
#include "scoped_env.h"
#include "support/error_report.h"
#include "support/files.h"
#include "support/operator_name.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {
// The operator's name is asked once a session; every test starts a session of its own, as it does
// when run alone.
struct NewSessionEachTest : ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { veltro::forget_session_operator_name(); }
};
} // namespace

int main(int argc, char** argv) {
    // A home of their own: what the program keeps under the user's folders (recordings, prints) goes
    // where it is swept afterwards, never into the home of whoever runs the tests.
    char home[] = "/tmp/veltro-ui-home-XXXXXX";
    if (!mkdtemp(home))
        return 2;
    setenv("HOME", home, 1);
    for (const char* xdg : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_VIDEOS_DIR"})
        unsetenv(xdg);
    struct Sweep {
        std::string path;
        ~Sweep() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } sweep{home};
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new NewSessionEachTest);
    return RUN_ALL_TESTS();
}

namespace veltro {
namespace {

// Reports are collected here instead of shown.
struct CollectedReports : ErrorReportView {
    CollectedReports() { previous = install_error_report_view(this); }
    ~CollectedReports() override { install_error_report_view(previous); }
    void show_form() override {}
    void show_report(const ReportLines& lines) override { locations.push_back(lines[2]); }
    std::vector<std::string> locations;
    ErrorReportView* previous = nullptr;
};

TEST(FormVeltro, BrokenOrIncompleteStoredEventFileIsReportedAndStartUpStillCompletes) {
    testing::TempDir dir;
    testing::ScopedEnv env("VELTRO_DATA_DIR", dir.path().string());
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    testing::FakeOperator op;
    std::string whole;
    {
        EventSession s(default_event_folder());
        s.fields().event_name = "Cup";
        s.create_new_event_file();
        whole = read_whole_file(s.current_event_file()).value();
    }
    // One heat of two dogs: well-formed, but not the skeleton every event file has.
    const std::string small =
        "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><Veltro_event_file><event_name>Cup</event_name>"
        "<event_date/><event_day/><event_venue/><heat id=\"1\"><heat_time/><heat_length/>"
        "<heat_description/><heat_name>Final</heat_name><box id=\"1\"><dog_name>Rex</dog_name></box>"
        "<box id=\"2\"><dog_name>Bo</dog_name></box></heat></Veltro_event_file>";
    const std::string recording = dir.file("heat.px3");
    {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, recording, 400, 880);
    }
    Write_Setting(keys::goal_compensation, "150");

    for (const std::string& content : {whole.substr(0, whole.size() / 2), std::string("<other/>"), small}) {
        const std::string event_file = dir.file("event.xml");
        ASSERT_EQ(write_file_atomically(event_file, content), 0);
        Write_Setting(keys::current_event_file, event_file);
        CollectedReports reports;
        op.messages.clear();
        VeltroStart start(program_backends(), system_clock());
        start.single_instance = false;
        start.command_line_path = recording;
        Form_Veltro window(std::move(start));
        ASSERT_EQ(reports.locations.size(), 1u) << content.substr(0, 60);
        EXPECT_EQ(reports.locations[0].rfind(
                      "Location of error: Parse_XML_file of Form Form_event_registration", 0),
                  0u);
        // The steps after it still ran: the timing settings, the hidden development menus...
        window.findChild<QAction*>("item_show_settings")->trigger();
        EXPECT_EQ(window.findChild<QLineEdit*>("Text_goalcam_delay")->text(), "150");
        EXPECT_FALSE(window.menu("menu_debug")->menuAction()->isVisible());
        // ...and the activation, which opens the command-line recording (one without frames).
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_EQ(window.findChild<QLabel*>("Label_event")->text(), "Test");
        EXPECT_EQ(op.last_message(), "No video in this file!");
        EXPECT_EQ(reports.locations.size(), 1u);
        // The file is left as it was for the operator to mend.
        EXPECT_EQ(read_whole_file(event_file), content);
    }
    set_settings_path("");
}

TEST(FormVeltro, EventRegistrationEditsTheWindowsOwnEventSession) {
    testing::TempDir dir;
    testing::ScopedEnv env("VELTRO_DATA_DIR", dir.path().string());
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    testing::FakeOperator op;
    {
        VeltroStart start(program_backends(), system_clock());
        start.single_instance = false;
        Form_Veltro window(std::move(start));
        QAction* item = window.findChild<QAction*>("item_event_registration");
        ASSERT_TRUE(item->isEnabled());
        item->trigger();
        auto* editor = window.findChild<Form_event_registration*>("Form_event_registration");
        ASSERT_NE(editor, nullptr);
        EXPECT_TRUE(editor->isVisible());
        QTest::keyClicks(editor->findChild<QLineEdit*>("Text_event_name"), "Cup");
        editor->findChild<QAction*>("item_create_event_file")->trigger();
        EXPECT_EQ(window.findChild<QLabel*>("Label_event")->text(), "Cup");
        const std::string event_file = Read_Setting(keys::current_event_file);
        EXPECT_EQ(editor->findChild<QLabel*>("Label_event_file_name")->text().toStdString(), event_file);
        EXPECT_NE(read_whole_file(event_file).value_or("").find("Cup"), std::string::npos);
        // A name saved in the editor shows in the main window's heat at once.
        ASSERT_TRUE(QTest::qWaitForWindowActive(editor));
        QLineEdit* dog = editor->findChild<QLineEdit*>("Text_dog_name_2");
        dog->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(dog, "Rex");
        editor->findChild<QLineEdit*>("Text_dog_name_3")->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(window.findChild<QLabel*>("Label_dog_name_2")->text(), "Rex");

        // The main window's "No Event File" updates the editor's file label.
        window.findChild<QAction*>("item_no_event_file")->trigger();
        EXPECT_EQ(editor->findChild<QLabel*>("Label_event_file_name")->text(), "No event file");
    }
    set_settings_path("");
}

} // namespace
} // namespace veltro
