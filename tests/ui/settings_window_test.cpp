// The settings window, the source-selection window and the progress window.
#include "capture/backends/demo/demo_camera.h"
#include "capture/format_description.h"
#include "capture/ui/form_select_video.h"
#include "fake_operator.h"
#include "support/error_report.h"
#include "support/settings.h"
#include "support/ui/form_veltro_settings.h"
#include "support/ui/frm_progress.h"
#include "temp_dir.h"
#include "timing/heat_timing.h"
#include "timing/lengths.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace veltro {
namespace {

class SettingsWindow : public ::testing::Test {
protected:
    SettingsWindow() { set_settings_path(dir.file("Veltro_HDMI.ini")); }
    ~SettingsWindow() override { set_settings_path(""); }
    testing::TempDir dir;
    testing::FakeOperator op;
};

TEST_F(SettingsWindow, BoxesWriteOneAndZero) {
    Form_Veltro_settings w([] {});
    w.load(200, 200, 0);
    EXPECT_FALSE(w.Check_Auto_init()->isChecked()); // missing key: unticked
    w.Check_Auto_init()->click();
    EXPECT_EQ(Read_Setting(keys::auto_init), "1");
    EXPECT_TRUE(setting_switch_on(keys::auto_init.key));
    w.Check_Auto_init()->click();
    EXPECT_EQ(Read_Setting(keys::auto_init), "0");
    w.Check_open_after_finish()->click();
    EXPECT_EQ(Read_Setting(keys::open_after_finish), "1");
    // Loading does not write.
    Write_Setting(keys::show_printer_dialog, "1");
    w.load(200, 200, 0);
    EXPECT_TRUE(w.Check_print_dialog()->isChecked());
}

TEST_F(SettingsWindow, TypingWritesEveryKeystrokeAndReloadsAfterEach) {
    std::vector<std::string> reloads;
    Form_Veltro_settings w([&] { reloads.push_back(Read_Setting(keys::box_delay)); });
    w.load(200, 200, 0);
    w.show();
    w.Text_Box_delay()->clear();
    reloads.clear();
    QTest::keyClicks(w.Text_Box_delay(), "35");
    EXPECT_EQ(reloads, (std::vector<std::string>{"3", "35"}));
    EXPECT_EQ(Read_Setting(keys::box_delay), "35");

    // A letter beeps and changes nothing.
    reloads.clear();
    QTest::keyClicks(w.Text_Box_delay(), "x");
    EXPECT_EQ(op.beeps, 1);
    EXPECT_EQ(w.Text_Box_delay()->text(), "35");
    EXPECT_TRUE(reloads.empty());

    // An emptied camera field writes an empty value, which reads back as the default.
    w.Text_goalcam_delay()->selectAll();
    QTest::keyClick(w.Text_goalcam_delay(), Qt::Key_Backspace);
    EXPECT_EQ(w.Text_goalcam_delay()->text(), "");
    EXPECT_EQ(Read_Setting(keys::goal_compensation), "200");
}

TEST_F(SettingsWindow, ADelayFieldTakesFiveDigitsAndBeepsAtMore) {
    HeatTiming timing(system_clock());
    Form_Veltro_settings w([&] { timing.Load_Compensations(); });
    w.load(200, 200, 0);
    w.show();
    Clear_Text_Array();
    QLineEdit* goal = w.Text_goalcam_delay();
    goal->clear();
    QTest::keyClicks(goal, "12345678901");
    EXPECT_EQ(goal->text(), "12345");
    EXPECT_EQ(op.beeps, 6);
    EXPECT_EQ(Read_Setting(keys::goal_compensation), "12345");
    EXPECT_EQ(timing.settings().goal_compensation, 12345);
    EXPECT_EQ(report_lines()[0], "") << "no error report";

    // A paste that would not fit beeps and changes nothing; one that fits goes in.
    QGuiApplication::clipboard()->setText("999999");
    QTest::keyClick(w.Text_Box_delay(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(op.beeps, 7);
    EXPECT_EQ(w.Text_Box_delay()->text(), "0");
    EXPECT_EQ(Read_Setting(keys::box_delay), "0");
    QGuiApplication::clipboard()->setText("35");
    w.Text_Box_delay()->selectAll();
    QTest::keyClick(w.Text_Box_delay(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Read_Setting(keys::box_delay), "35");
    EXPECT_EQ(op.beeps, 7);
}

TEST_F(SettingsWindow, SecondsPerLengthTakeDigitsAndOnePointAndAreWrittenAtEachKeystroke) {
    Form_Veltro_settings w([] {});
    w.load(200, 200, 0);
    w.show();
    QLineEdit* field = w.text_seconds_per_length();
    EXPECT_EQ(field->text(), "0.08"); // nothing stored: the default
    field->clear();
    QTest::keyClicks(field, "0");
    EXPECT_EQ(Read_Setting(keys::seconds_per_length), "0");
    EXPECT_EQ(seconds_per_length_setting(), kDefaultUsPerLength); // zero is no setting
    QTest::keyClicks(field, ".1");
    EXPECT_EQ(Read_Setting(keys::seconds_per_length), "0.1");
    EXPECT_EQ(seconds_per_length_setting(), 100000);

    // A second point, a comma or a letter beeps and changes nothing.
    QTest::keyClicks(field, ".,x");
    EXPECT_EQ(op.beeps, 3);
    EXPECT_EQ(field->text(), "0.1");
    QGuiApplication::clipboard()->setText("0.1.2");
    field->selectAll();
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(op.beeps, 4);
    EXPECT_EQ(Read_Setting(keys::seconds_per_length), "0.1");

    Write_Setting(keys::seconds_per_length, "0.075");
    w.load(200, 200, 0);
    EXPECT_EQ(field->text(), "0.075");
}

// The live results group as the main window uses it: each value stored once chosen or typed, and the
// main window told after each.
class LiveResultsSettings : public SettingsWindow {
protected:
    LiveResultsSettings() : w([] {}) {
        w.live_results_changed = [this] { ++changes; };
    }
    QLineEdit* field(const char* name) { return w.findChild<QLineEdit*>(name); }
    // The field emptied and `text` typed, then Enter.
    void enter(const char* name, const char* text) {
        field(name)->selectAll();
        QTest::keyClick(field(name), Qt::Key_Backspace);
        QTest::keyClicks(field(name), text);
        QTest::keyClick(field(name), Qt::Key_Return);
    }
    Form_Veltro_settings w;
    int changes = 0;
};

TEST_F(LiveResultsSettings, EachValueIsStoredWhenChosenOrEnteredAndTheMainWindowTold) {
    // An address set by hand, of no network this computer is on, is shown and kept.
    Write_Setting(keys::live_results_address, "198.51.100.7");
    w.load(200, 200, 0);
    w.show();
    auto* network = w.findChild<QComboBox*>("Combo_live_results_network");
    ASSERT_NE(network, nullptr);
    EXPECT_EQ(network->currentData().toString(), "198.51.100.7");
    EXPECT_TRUE(network->currentText().startsWith("198.51.100.7"));
    EXPECT_EQ(field("Text_live_results_port")->text(), "8080");
    EXPECT_EQ(changes, 0);

    w.findChild<QCheckBox*>("Check_live_results")->click();
    EXPECT_EQ(Read_Setting(keys::live_results), "1");
    EXPECT_EQ(changes, 1);
    network->setCurrentIndex(network->findText("This computer only"));
    EXPECT_EQ(Read_Setting(keys::live_results_address), "127.0.0.1");
    EXPECT_EQ(changes, 2);

    // Typing stores nothing until Enter (each store starts the server again).
    field("Text_live_results_port")->selectAll();
    QTest::keyClicks(field("Text_live_results_port"), "8081");
    EXPECT_EQ(Read_Setting(keys::live_results_port), "8080");
    QTest::keyClick(field("Text_live_results_port"), Qt::Key_Return);
    EXPECT_EQ(Read_Setting(keys::live_results_port), "8081");
    EXPECT_EQ(changes, 3);

    // The token takes what an address carries as it is: the space beeps and stays out.
    enter("Text_live_results_token", "judge 7");
    EXPECT_EQ(op.beeps, 1);
    EXPECT_EQ(Read_Setting(keys::live_results_token), "judge7");
    w.findChild<QCheckBox*>("Check_scoreboard")->click();
    enter("Text_scoreboard_target", "serial:/dev/ttyUSB0:9600");
    EXPECT_EQ(Read_Setting(keys::scoreboard), "1");
    EXPECT_EQ(Read_Setting(keys::scoreboard_target), "serial:/dev/ttyUSB0:9600");
    EXPECT_EQ(changes, 6);
    // Enter again without a change: nothing to start again.
    QTest::keyClick(field("Text_scoreboard_target"), Qt::Key_Return);
    EXPECT_EQ(changes, 6);

    w.load(200, 200, 0);
    EXPECT_EQ(network->currentData().toString(), "127.0.0.1");
    EXPECT_EQ(field("Text_live_results_port")->text(), "8081");
    EXPECT_EQ(field("Text_live_results_token")->text(), "judge7");
    EXPECT_TRUE(w.findChild<QCheckBox*>("Check_scoreboard")->isChecked());
    EXPECT_EQ(changes, 6);
}

TEST_F(LiveResultsSettings, ABadPortOrTargetIsNotStoredAndTheOperatorToldWhy) {
    w.load(200, 200, 0);
    w.show();
    const auto* why = w.findChild<QLabel*>("Label_live_results_refused");
    ASSERT_NE(why, nullptr);
    for (const char* port : {"70000", "0", ""}) {
        SCOPED_TRACE(port);
        const int beeps = op.beeps;
        enter("Text_live_results_port", port);
        EXPECT_EQ(Read_Setting(keys::live_results_port), "8080");
        EXPECT_EQ(op.beeps, beeps + 1);
        EXPECT_TRUE(why->isVisibleTo(&w));
        EXPECT_TRUE(why->text().contains(QString("\"%1\"").arg(port)) && why->text().contains("1 to 65535"))
            << why->text().toStdString();
    }
    for (const char* target : {"udp:10.0.0.9", "tcp:10.0.0.9:65536", "scoreboard:10.0.0.9:4000"}) {
        SCOPED_TRACE(target);
        enter("Text_scoreboard_target", target);
        EXPECT_EQ(Read_Setting(keys::scoreboard_target), keys::scoreboard_target.default_value);
        EXPECT_TRUE(why->text().contains(target));
    }
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(op.beeps, 6);

    // A good target puts its own refusal away; the port's lasts until a good port is entered.
    enter("Text_scoreboard_target", "tcp:[fd00::9]:4000");
    EXPECT_EQ(Read_Setting(keys::scoreboard_target), "tcp:[fd00::9]:4000");
    EXPECT_FALSE(why->isVisibleTo(&w));
    enter("Text_live_results_port", "99999");
    EXPECT_TRUE(why->isVisibleTo(&w));
    enter("Text_live_results_port", "1");
    EXPECT_EQ(Read_Setting(keys::live_results_port), "1");
    EXPECT_FALSE(why->isVisibleTo(&w));
    EXPECT_EQ(changes, 2);
}

TEST_F(SettingsWindow, SourceSelectionListsTheDemoCameraAndSavesTheChoice) {
    Form_select_Video w([] {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(std::make_unique<DemoCamera>());
        return make_capture_component(std::move(devices), system_clock());
    });
    w.findChild<QPushButton*>("Command_select_done")->click();
    EXPECT_EQ(op.last_message(), "No video source selected!");

    w.findChild<QPushButton*>("Command_enum2")->click();
    ASSERT_EQ(w.ListView_prop()->topLevelItemCount(), static_cast<int>(DemoCamera::kRates.size()));
    EXPECT_EQ(w.ListView_prop()->topLevelItem(0)->text(1), DemoCamera::kFriendlyName);
    EXPECT_EQ(w.ListView_prop()->topLevelItem(1)->text(3), "1920*1080/50");
    EXPECT_EQ(w.ListView_prop()->currentItem(), nullptr); // nothing saved yet

    w.list_view_prop_click(1);
    EXPECT_EQ(Read_Setting(keys::friendlyname), DemoCamera::kFriendlyName);
    EXPECT_EQ(Read_Setting(keys::videoproperty), "1");
    w.show();
    w.findChild<QPushButton*>("Command_select_done")->click();
    EXPECT_FALSE(w.isVisible());

    // Enumerating again marks the saved row.
    w.command_enum2_click();
    EXPECT_EQ(w.ListView_prop()->indexOfTopLevelItem(w.ListView_prop()->currentItem()), 1);

    w.item_iterate_click();
    const QString text = QApplication::clipboard()->text();
    EXPECT_TRUE(text.startsWith("Video source enumeration at "));
    EXPECT_TRUE(text.contains("1  Veltro demo race camera  0  1920*1080/25\r\n"));

    // The rate limit is what the next opening of the saved source asks the camera for.
    w.findChild<QCheckBox*>("Check_limit_fps")->setChecked(true);
    EXPECT_TRUE(current_capture().limit_to_25_fps);
    w.findChild<QCheckBox*>("Check_limit_fps")->setChecked(false);
    EXPECT_FALSE(current_capture().limit_to_25_fps);
}

TEST_F(SettingsWindow, ProgressClampsItsPercent) {
    Frm_progress p;
    p.Set_Caption("Appending frames");
    p.Set_Percent(140);
    EXPECT_EQ(p.percent(), 100);
    p.Set_Percent(-3);
    EXPECT_EQ(p.percent(), 0);
    EXPECT_EQ(p.caption(), "Appending frames");
}

} // namespace
} // namespace veltro
