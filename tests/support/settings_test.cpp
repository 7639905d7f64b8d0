#include "fake_operator.h"
#include "file_size_limit.h"
#include "own_settings.h"
#include "support/files.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro {
namespace {

class SettingsTest : public testing::OwnSettingsTest {
protected:
    std::string file_text() const { return read_whole_file(dir.file("Veltro_HDMI.ini")).value_or("<none>"); }
};

TEST_F(SettingsTest, SectionsAndKeysIgnoreLetterCase) {
    EXPECT_EQ(Write_Setting("Settings", "Box_delay", "30"), 1);
    EXPECT_EQ(Read_Setting("settings", "box_delay", "0"), "30");
    Write_Setting("Goal_lines", "Goal_line1", "1,2,3,4");
    EXPECT_EQ(Read_Setting("Goal_Lines", "goal_Line1", ""), "1,2,3,4");
    // Writing under another spelling replaces the value instead of adding a second key.
    Write_Setting("SETTINGS", "BOX_DELAY", "40");
    EXPECT_EQ(Read_Setting(keys::box_delay), "40");
    EXPECT_EQ(file_text(), "[Settings]\nBox_delay=40\n[Goal_lines]\nGoal_line1=1,2,3,4\n");
}

TEST_F(SettingsTest, MissingOrEmptyValuesReadAsDefaultOrNotAvailable) {
    EXPECT_EQ(Read_Setting(keys::goal_compensation), "200");
    EXPECT_EQ(Read_Setting("Settings", "nothing", ""), "N/A");
    Write_Setting("Settings", "goal_compensation", "");
    EXPECT_EQ(Read_Setting("Settings", "goal_compensation", "200"), "200");
    EXPECT_EQ(Read_Setting("Settings", "goal_compensation", ""), "N/A");
}

TEST_F(SettingsTest, LongValuesAreCutAt511Characters) {
    const std::string long_value(600, 'x');
    Write_Setting("Settings", "save_folder", long_value);
    EXPECT_EQ(Read_Setting(keys::save_folder), std::string(511, 'x'));
}

TEST_F(SettingsTest, EveryReadSeesTheFileAsItIsNow) {
    Write_Setting(keys::heat_id, "4");
    EXPECT_EQ(Read_Setting(keys::heat_id), "4");
    save_file_atomically(dir.file("Veltro_HDMI.ini"), "; edited by hand\n[settings]\n  heat_id = 7 \n");
    EXPECT_EQ(Read_Setting(keys::heat_id), "7");
    Write_Setting(keys::lastcrop, "600*1080");
    EXPECT_EQ(file_text(), "; edited by hand\n[settings]\nheat_id=7\nlastcrop=600*1080\n");
}

TEST_F(SettingsTest, ValuesStayOnOneLine) {
    Write_Setting("Settings", "save_folder", "/data\n[Settings]\nHeat_ID=99");
    EXPECT_EQ(Read_Setting(keys::heat_id), "1");
    EXPECT_EQ(Read_Setting(keys::save_folder), "/data [Settings] Heat_ID=99");
}

TEST_F(SettingsTest, FailedWriteKeepsTheOldFileAndTellsTheOperator) {
    Write_Setting(keys::goal_compensation, "180");
    const std::string before = file_text();
    {
        testing::FileSizeLimit limit(10);
        ASSERT_TRUE(limit.ok());
        EXPECT_EQ(Write_Setting(keys::goal_compensation, "250"), 0);
    }
    EXPECT_EQ(file_text(), before);
    EXPECT_EQ(Read_Setting(keys::goal_compensation), "180");
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].title, " PXV Error");
    EXPECT_EQ(op.messages[0].icon, MsgIcon::Critical);
    EXPECT_EQ(op.messages[0].text.rfind("Writing to INI file failed! Path = " + dir.file("Veltro_HDMI.ini") +
                                            "\r\n Error = 27 ",
                                        0),
              0u)
        << op.messages[0].text;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "temporary file left";
}

TEST_F(SettingsTest, UnreadableFileIsNotReplacedByTheOneNewKey) {
    Write_Setting(keys::goal_compensation, "180");
    const std::string path = dir.file("Veltro_HDMI.ini");
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_write);
    fs::permissions(dir.path(), fs::perms::all, fs::perm_options::add);
    // As an ordinary user in a child process (the superuser may read any file): the write fails and
    // the file stays the one it was, not replaced by a new one.
    auto write_without_read_permission = [&] {
        struct stat before {};
        struct stat after {};
        if (::stat(path.c_str(), &before) != 0 ||
            (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)))
            std::_Exit(3);
        const bool refused = Write_Setting(keys::heat_id, "3") == 0;
        const bool kept = ::stat(path.c_str(), &after) == 0 && after.st_ino == before.st_ino &&
                          after.st_size == before.st_size;
        std::_Exit(refused && kept ? 0 : 1);
    };
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(write_without_read_permission(), ::testing::ExitedWithCode(0), "");
}

TEST_F(SettingsTest, EmptyPathRefusesReadsAndWrites) {
    set_settings_path("");
    EXPECT_EQ(Read_Setting(keys::heat_id), "");
    EXPECT_EQ(op.last_message(), "Ini_file_path is empty!");
    EXPECT_EQ(Write_Setting(keys::heat_id, "3"), 0);
    EXPECT_EQ(op.last_message().rfind("Writing to INI file failed! Path = \r\n", 0), 0u);
}

TEST_F(SettingsTest, WindowPositions) {
    Store_Form_Pos("Form_Velt_Results", {120, 80, 0, 0});
    EXPECT_EQ(Read_Setting("Form_Velt_Results", "windowpos", ""), "120,80,0,0");
    const FormPos p = Get_Form_Pos("Form_Velt_Results", {5, 6, 700, 500}, 1920, 1080);
    EXPECT_EQ(p.left, 120);
    EXPECT_EQ(p.top, 80);
    EXPECT_EQ(p.width, 0);
    EXPECT_EQ(p.height, 0);

    // A minimised window's -32000 is not taken; a caller's place far off screen comes back to 0.
    Store_Form_Pos("Form_Velt_Results", {-32000, -32000, 0, 0});
    const FormPos minimised = Get_Form_Pos("Form_Velt_Results", {-200, 0, 700, 500}, 1920, 1080);
    EXPECT_EQ(minimised.left, 0);
    EXPECT_EQ(minimised.top, 0);

    // Beyond the screen: back to 0 unless the caller keeps it.
    Store_Form_Pos("Form_Speaker", {2500, 1200, 300, 200});
    EXPECT_EQ(Get_Form_Pos("Form_Speaker", {}, 1920, 1080).left, 0);
    EXPECT_EQ(Get_Form_Pos("Form_Speaker", {}, 1920, 1080).top, 0);
    EXPECT_EQ(Get_Form_Pos("Form_Speaker", {}, 1920, 1080, false).left, 2500);

    // Nothing stored: "0,0" leaves the caller's values.
    const FormPos fresh = Get_Form_Pos("Form_Never_Seen", {40, 50, 60, 70}, 1920, 1080);
    EXPECT_EQ(fresh.left, 40);
    EXPECT_EQ(fresh.top, 50);
    EXPECT_EQ(fresh.width, 60);
    EXPECT_EQ(fresh.height, 70);
}

TEST_F(SettingsTest, BitnessIsComputedOnceThenTakenFromTheFile) {
    load_bitness_values();
    EXPECT_EQ(Read_Setting(keys::osbitness), std::to_string(sizeof(void*) * 8));
    EXPECT_NE(Read_Setting(keys::cpubitness), "N/A");
    Write_Setting(keys::cpubitness, "32");
    load_bitness_values();
    EXPECT_EQ(Read_Setting(keys::cpubitness), "32");
}

} // namespace
} // namespace veltro
