// The main window's reports on the recording under review: the properties in the debug text window
// and the frame timestamp report.
#include "app/demo_heat.h"
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "demo_heat_window.h"
#include "fake_operator.h"
#include "recording/video_file_handler.h"
#include "scoped_env.h"
#include "support/files.h"
#include "support/settings.h"
#include "support/ui/veltro_debug_form.h"
#include "temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

class FileReports : public testing::DemoHeatWindow {
protected:
    FileReports() : DemoHeatWindow("Test Event_3.px3") {}
    void trigger(const char* item) {
        QAction* a = form->findChild<QAction*>(item);
        ASSERT_NE(a, nullptr) << item;
        ASSERT_TRUE(a->isEnabled()) << item;
        a->trigger();
    }
};

TEST_F(FileReports, PropertiesOfTheOpenRecordingInTheDebugWindowAndItsPrint) {
    trigger("item_px3_properties");
    EXPECT_EQ(op.beeps, 1) << "no recording open";
    EXPECT_EQ(form->findChild<Veltro_debug_form*>(), nullptr);

    form->Handle_Open(path);
    trigger("item_px3_properties");
    auto* debug = form->findChild<Veltro_debug_form*>();
    ASSERT_NE(debug, nullptr);
    EXPECT_TRUE(debug->isVisible());
    EXPECT_EQ(debug->windowTitle(), "Veltro debug");
    EXPECT_TRUE(QFontInfo(debug->text_area()->font()).fixedPitch());
    const std::string text = debug->text();
    EXPECT_NE(text.find("File_name = " + path + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("num_Frames = " + std::to_string(demo.frames) + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Velt_start_PC_mill = "), std::string::npos);
    EXPECT_NE(text.find("Velt_dead_heat(6) = False\n"), std::string::npos);
    if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR")) {
        debug->grab().save(QString(shots) + "/file_properties.png");
    }

    // No printer on the test machine: the page goes to a PDF file in the data folder, and the
    // operator is told where.
    debug->findChild<QAction*>("item_print")->trigger();
    const std::string said = op.last_message();
    const std::string prefix = "No printer available, the debug text is printed to the file: ";
    ASSERT_EQ(said.rfind(prefix, 0), 0u) << said;
    const std::string pdf = said.substr(prefix.size());
    ASSERT_TRUE(std::filesystem::exists(pdf)) << pdf;
    EXPECT_EQ(read_whole_file(pdf).value().rfind("%PDF", 0), 0u);

    debug->findChild<QAction*>("item_hide")->trigger();
    EXPECT_FALSE(debug->isVisible());
    // Reopened, it shows the same window again, not a second one.
    trigger("item_file_properties");
    EXPECT_TRUE(debug->isVisible());
    EXPECT_EQ(form->findChildren<Veltro_debug_form*>().size(), 1);
}

// "History" shows the changes of the results from the recording's journal, a correction included.
TEST_F(FileReports, HistoryOfTheResultsInTheDebugWindow) {
    trigger("item_history");
    EXPECT_EQ(op.beeps, 1) << "no recording open";
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        rec.Velt_Heat_time(2, false, 23450);
        rec.Write_XML_header();
        rec.Velt_Heat_time(2, false, 23460);
        rec.Write_XML_header();
    }
    form->Handle_Open(path);
    trigger("item_history");
    auto* debug = form->findChild<Veltro_debug_form*>();
    ASSERT_NE(debug, nullptr);
    EXPECT_EQ(debug->windowTitle().toStdString(),
              "History of " + std::filesystem::path(path).filename().string());
    const std::string text = debug->text();
    const auto first = text.find("  box 2 finish time none -> 23,45\n");
    const auto second = text.find("  box 2 finish time 23,45 -> 23,46\n");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_NE(second, std::string::npos) << text;
    EXPECT_LT(first, second);
}

TEST_F(FileReports, TimestampReportFromTheMenu) {
    trigger("item_timestamp_report");
    EXPECT_EQ(op.beeps, 1) << "no recording open";
    EXPECT_TRUE(op.messages.empty());

    form->Handle_Open(path);
    op.messages.clear();
    trigger("item_timestamp_report");
    ASSERT_EQ(op.messages.size(), 2u);
    EXPECT_EQ(op.messages[1].text, "Timestamp report ready");
    const std::string prefix = "Timestamp report written at; ";
    ASSERT_EQ(op.messages[0].text.rfind(prefix, 0), 0u) << op.messages[0].text;
    const std::string report = op.messages[0].text.substr(prefix.size());
    EXPECT_EQ(std::filesystem::path(report).parent_path(), std::filesystem::path(dir.file("data")));
    const std::string text = read_whole_file(report).value();
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    EXPECT_EQ(lines, 2u + static_cast<std::size_t>(demo.frames));
}

TEST_F(FileReports, SaveEvidenceAndTheEventResultsFromTheMainWindow) {
    trigger("item_save_evidence");
    EXPECT_EQ(op.beeps, 1) << "no recording open";
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        rec.Velt_Heat_time(1, false, 2000);
        rec.Velt_heat_frame(1, 10);
        rec.Write_XML_header();
    }
    form->Handle_Open(path);
    std::string offered;
    form->choose_evidence_folder = [&](const std::string& suggested) {
        offered = suggested;
        return dir.path().string();
    };
    trigger("item_save_evidence");
    EXPECT_EQ(offered, dir.path().string());
    const std::string pack = dir.file("Test Event_3 evidence");
    EXPECT_TRUE(std::filesystem::exists(pack + "/MANIFEST.sha256"));
    EXPECT_TRUE(std::filesystem::exists(pack + "/timestamp_report.csv"));
    EXPECT_TRUE(std::filesystem::exists(pack + "/box1_finish.png"));
    EXPECT_EQ(op.messages.back().text.rfind("Evidence saved in\r\n" + pack + "\r\n", 0), 0u)
        << op.messages.back().text;
    trigger("item_save_evidence"); // a second pack goes beside the first
    EXPECT_TRUE(std::filesystem::exists(dir.file("Test Event_3 evidence 2/MANIFEST.sha256")));

    // The capture folder holds this heat and a recording that cannot be read.
    Write_Setting(keys::save_folder, dir.path().string());
    save_file_atomically(dir.file("Test Event_4.px3"), std::string(50000, '\0'));
    form->choose_event_results_file = [&](const std::string& suggested) {
        offered = suggested;
        return dir.file("cup.html");
    };
    trigger("item_event_results");
    EXPECT_EQ(offered, dir.file("Test Event results.html"));
    const std::string html = read_whole_file(dir.file("cup.html")).value_or("");
    EXPECT_NE(html.find("1 heat; 1 recording cannot be read"), std::string::npos);
    EXPECT_NE(html.find("data:image/jpeg;base64,"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.file("cup.csv")));
    EXPECT_NE(op.messages.back().text.find("Test Event_4.px3 cannot be read"), std::string::npos)
        << op.messages.back().text;
}

} // namespace
} // namespace veltro
