// The heat competitor list opened from the main window's "Dog names" over a demo recording and an
// event file. With VELTRO_SCREENSHOT_DIR set the list is also saved there as heat_competitors.png.
#include "app/demo_heat.h"
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "demo_heat_window.h"
#include "events/event_document.h"
#include "events/ui/form_event_registration.h"
#include "events/ui/form_heat_competitors.h"
#include "events/ui/form_race_card_preview.h"
#include "events/ui/form_velt_results.h"
#include "fake_operator.h"
#include "read_only_as_user.h"
#include "recording/video_file_handler.h"
#include "scoped_env.h"
#include "support/error_report.h"
#include "support/files.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro {
namespace {

// Reports are collected here instead of shown.
struct CollectedReports : ErrorReportView {
    CollectedReports() { previous = install_error_report_view(this); }
    ~CollectedReports() override { install_error_report_view(previous); }
    void show_form() override {}
    // Only this window's reports: the location line without its statement number.
    void show_report(const ReportLines& lines) override {
        const std::string& line = lines[2];
        const std::size_t at = line.find(": "), end = line.find(", line:");
        if (line.find("Form_heat_competitors") != std::string::npos && at != std::string::npos)
            locations.push_back(line.substr(at + 2, end - at - 2));
    }
    std::vector<std::string> locations;
    ErrorReportView* previous = nullptr;
};

class HeatCompetitorList : public testing::DemoHeatWindow {
protected:
    HeatCompetitorList() : DemoHeatWindow("Spring Cup_1.px3") {}

    // Heat 1 of the event (the demo recording's heat) with names for boxes 1 and 2 only; the window
    // opens with it.
    void open_event_file() {
        EventSession s(default_event_folder());
        s.fields().event_name = "Spring Cup";
        s.fields().day = "d";
        s.create_new_event_file();
        s.current_heat(1);
        s.write_heat_name("Puppy final");
        s.write_dog_name(1, "Chase my tail dude");
        s.write_dog_name(2, "Bella");
        s.current_heat(2);
        s.write_dog_name(1, "Rex");
        s.XML_to_File();
        Write_Setting(keys::current_event_file, s.current_event_file());
        Write_Setting(keys::heat_id, "1");
        open_window();
    }

    Form_heat_competitors& open_list() {
        form->findChild<QAction*>("item_dog_names")->trigger();
        return form->competitors_window();
    }
    QLineEdit* field(const QString& name) { return form->competitors_window().findChild<QLineEdit*>(name); }
    std::string on_disk(std::int16_t box) {
        cls_VideoFile_handler reader;
        reader.Open_File(path);
        return box == 0 ? reader.Velt_Heat_Name() : reader.Velt_Dog_name(box);
    }
    std::string bytes() { return read_whole_file(path).value_or(""); }

    // A judged heat's own names, as the review left them in the recording.
    static void name_dogs(const std::string& file, const std::string& prefix) {
        cls_VideoFile_handler rec;
        rec.Open_File(file);
        for (std::int16_t box = 1; box <= 6; ++box)
            rec.Velt_Dog_name(box, prefix + std::to_string(box));
        rec.Velt_Heat_Name(prefix + "heat");
        rec.Write_XML_header();
        rec.Close_File();
    }
    static std::string dog_on_disk(const std::string& file, std::int16_t box) {
        cls_VideoFile_handler reader;
        reader.Open_File(file);
        return box == 0 ? reader.Velt_Heat_Name() : reader.Velt_Dog_name(box);
    }
    Form_event_registration& editor() {
        form->findChild<QAction*>("item_event_registration")->trigger();
        return form->event_registration_window();
    }
};

// The list stays open while the next heat is opened: it shows and writes that heat's names only.
TEST_F(HeatCompetitorList, AListLeftOpenFollowsTheRecordingTheMainWindowOpens) {
    const std::string second = dir.file("Spring Cup_2.px3");
    DemoHeatOptions options;
    options.path = second;
    options.fast = true;
    record_demo_heat(options);
    name_dogs(path, "First ");
    name_dogs(second, "Second ");
    form->Handle_Open(path);
    Form_heat_competitors& list = open_list();
    EXPECT_EQ(field("Text_dog_name_1")->text(), "First 1");

    form->Handle_Open(second);
    EXPECT_EQ(field("Text_dog_name_1")->text(), "Second 1");
    QTest::mouseClick(list.findChild<QPushButton*>("Command_update"), Qt::LeftButton);
    list.close();
    EXPECT_EQ(dog_on_disk(second, 1), "Second 1");
    EXPECT_EQ(dog_on_disk(path, 1), "First 1");
}

TEST_F(HeatCompetitorList, AHeatWithoutNamesInTheEventFileKeepsTheJudgedRecordingsNames) {
    {
        EventSession s(default_event_folder());
        s.fields().event_name = "Spring Cup";
        s.create_new_event_file();
        s.current_heat(2);
        s.write_dog_name(1, "Rex"); // heat 1, the recording's, has none
        s.XML_to_File();
        Write_Setting(keys::current_event_file, s.current_event_file());
        Write_Setting(keys::heat_id, "2");
    }
    open_window();
    name_dogs(path, "Judged ");
    form->Handle_Open(path);
    Form_heat_competitors& list = open_list();
    EXPECT_EQ(field("Text_dog_name_6")->text(), "Judged 6");
    list.close();
    EXPECT_EQ(on_disk(6), "Judged 6");
    EXPECT_EQ(on_disk(0), "Judged heat");
    // Chosen by the operator, the event's heat is applied.
    open_list();
    list.findChild<QSpinBox*>("UpDown_heat")->setValue(2);
    list.close();
    EXPECT_EQ(on_disk(1), "Rex");
}

TEST_F(HeatCompetitorList, NoEventFileSavesWhatWasTypedAndTheEditorThenRefusesTyping) {
    open_event_file();
    const std::string event_file = Read_Setting(keys::current_event_file);
    Form_event_registration& w = editor();
    QLineEdit* dog3 = w.findChild<QLineEdit*>("Text_dog_name_3");
    dog3->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(dog3, "Max"); // not left yet
    form->findChild<QAction*>("item_no_event_file")->trigger();
    EventDocument doc;
    doc.load(read_whole_file(event_file).value());
    EXPECT_EQ(doc.dog_name(1, 3), "Max"); // the heat the editor shows

    const int beeps = op.beeps;
    QTest::keyClicks(dog3, "Bo");
    EXPECT_EQ(op.beeps, beeps + 2);
    EXPECT_EQ(dog3->text(), "");
}

TEST_F(HeatCompetitorList, TheDogsPanelShowsAnImportedCardAtOnceAndStartCameraClearsTheResults) {
    Form_event_registration& w = editor();
    w.findChild<QLineEdit*>("Text_event_name")->setText("Spring Cup");
    w.findChild<QAction*>("item_create_event_file")->trigger();
    const std::string card = dir.file("card.csv");
    ASSERT_EQ(write_file_atomically(card, "Heat,Trap,Dog\n1,1,Rex\n1,2,Max\n"), 0);
    w.choose_import_file = [&](const std::string&) { return card; };
    w.confirm_card = [](FormRaceCardPreview&) { return true; };
    w.findChild<QAction*>("item_import_dogs")->trigger();
    EXPECT_TRUE(form->findChild<QGroupBox*>("Frame_dogs")->isVisibleTo(form.get()));
    EXPECT_EQ(form->findChild<QLabel*>("Label_dog_name_2")->text(), "Max");

    form->Handle_Open(path);
    QLabel* started = form->results_window().findChild<QLabel*>("Label_heat_started");
    EXPECT_FALSE(started->text().isEmpty());
    form->findChild<QPushButton*>("Command_start_camera")->click();
    EXPECT_EQ(started->text(), "");
    form->findChild<QPushButton*>("Command_start_camera")->click();
}

TEST_F(HeatCompetitorList, OpeningPutsTheEventNamesIntoTheRecordingOnceAndOnlyWhenTheyDiffer) {
    open_event_file();
    form->Handle_Open(path);
    Form_heat_competitors& list = open_list();
    ASSERT_TRUE(list.isVisible());
    EXPECT_EQ(list.windowTitle(), "Veltro HDMI heat competitors");
    EXPECT_EQ(list.findChild<QSpinBox*>("UpDown_heat")->value(), 1);
    EXPECT_EQ(list.findChild<QLabel*>("Label_heatno")->text(), "1");
    EXPECT_EQ(field("Text_dog_name_1")->text(), "Chase my tail dude");
    EXPECT_EQ(field("Text_Heat_name")->text(), "Puppy final");
    EXPECT_EQ(on_disk(1), "Chase my tail dude");
    EXPECT_EQ(on_disk(3), "");
    EXPECT_EQ(on_disk(0), "Puppy final");
    // The results window shows the new names at once.
    EXPECT_EQ(form->results_window().findChild<QLabel*>("Label_Heat_name")->text(), "Puppy final");

    if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR")) {
        list.move(form->x() + 40, form->y() + 40);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&list));
        list.grab().save(QString(shots) + "/heat_competitors.png");
    }

    list.findChild<QAction*>("item_hide")->trigger();
    EXPECT_FALSE(list.isVisible());
    // Opened again over the names it already wrote, the recording is not written at all (a header
    // rewrite within the same second would leave the same bytes, but not the same modification time).
    const std::string after_first = bytes();
    const auto written = std::filesystem::last_write_time(path);
    open_list();
    list.close();
    EXPECT_EQ(std::filesystem::last_write_time(path), written);
    EXPECT_EQ(bytes(), after_first);
}

TEST_F(HeatCompetitorList, TypedNamesAndOtherHeatsReachTheRecordingAndTheResults) {
    open_event_file();
    form->Handle_Open(path);
    Form_heat_competitors& list = open_list();
    QLineEdit* box2 = field("Text_dog_name_2");
    box2->selectAll();
    QTest::keyClicks(box2, "Lady");
    bool shown = false;
    for (int row = 0; row < 6; ++row)
        shown = shown || form->results_window().row(row).dog_name == "Lady";
    EXPECT_TRUE(shown);
    // Closing by the frame stores it.
    list.close();
    EXPECT_EQ(on_disk(2), "Lady");

    open_list();
    EXPECT_EQ(field("Text_dog_name_2")->text(), "Bella");
    list.findChild<QSpinBox*>("UpDown_heat")->setValue(2);
    EXPECT_EQ(field("Text_dog_name_1")->text(), "Rex");
    EXPECT_EQ(on_disk(1), "Rex");
    EXPECT_EQ(on_disk(2), "");
    // "Update current file" puts back a field the recording lost elsewhere.
    {
        cls_VideoFile_handler elsewhere;
        elsewhere.Open_File(path);
        elsewhere.Velt_Dog_name(1, "Other");
        elsewhere.Write_XML_header();
    }
    ASSERT_EQ(on_disk(1), "Other");
    QTest::mouseClick(list.findChild<QPushButton*>("Command_update"), Qt::LeftButton);
    EXPECT_EQ(on_disk(1), "Rex");
    list.close();
}

TEST_F(HeatCompetitorList, WithNoRecordingOpenItShowsTheEventNamesAndWritesNothing) {
    open_event_file();
    const std::string before = bytes();
    Form_heat_competitors& list = open_list();
    EXPECT_EQ(field("Text_dog_name_2")->text(), "Bella");
    QTest::keyClicks(field("Text_dog_name_3"), "Max");
    list.close();
    EXPECT_EQ(bytes(), before);
}

// The superuser may write any file, so the test drops to another user while the file is open.
TEST_F(HeatCompetitorList, AReadOnlyRecordingIsReportedAndStaysUnchanged) {
    open_event_file();
    testing::ReadOnlyAsUser read_only(path, dir.path());
    if (!read_only.ok())
        GTEST_SKIP() << "cannot act as another user";
    const std::string before = bytes();
    CollectedReports reports;
    form->Handle_Open(path);
    Form_heat_competitors& list = open_list();
    QTest::mouseClick(list.findChild<QPushButton*>("Command_update"), Qt::LeftButton);
    list.close();
    form->findChild<QAction*>("item_show_results")->trigger();
    std::vector<std::string> shown; // the names the window holds for the heat
    for (int row = 0; row < 6; ++row)
        shown.push_back(form->results_window().row(row).dog_name);
    if (!read_only.back())
        FAIL() << "cannot return to the superuser";
    EXPECT_EQ(reports.locations,
              (std::vector<std::string>{"Text_dog_name_Change of Form Form_heat_competitors",
                                        "Command_update_Click of Form Form_heat_competitors"}));
    EXPECT_EQ(field("Text_dog_name_1")->text(), "Chase my tail dude");
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "Chase my tail dude"), 0);
    EXPECT_EQ(bytes(), before);
}

} // namespace
} // namespace veltro
