// The settings file, the event log and the error log with the disk failing at every write-like
// operation of a save: the operator is told, the file keeps what it held, the next save works.
#include "fault_loop.h"
#include "own_settings.h"
#include "scoped_env.h"
#include "support/error_report.h"
#include "support/event_log.h"
#include "support/files.h"
#include "support/veltro_error.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::files_in;
using testing::run_fault_loops;
using testing::SavePath;

class SaveFaults : public testing::OwnSettingsTest {};

TEST_F(SaveFaults, SettingsWriteKeepsTheEarlierValues) {
    const std::string path = dir.file("Veltro_HDMI.ini");
    const std::string earlier = "[Settings]\nHeat_ID=7\nlast_folder=/media/heats\n";
    SavePath save;
    save.prepare = [&] {
        ASSERT_EQ(write_file_atomically(path, earlier), 0);
        op.messages.clear();
    };
    save.save = [&] { return Write_Setting(keys::heat_id, "8") == 1 ? std::string() : op.last_message(); };
    save.expect_earlier = [&] {
        EXPECT_EQ(read_whole_file(path), earlier);
        EXPECT_EQ(files_in(dir.path()), std::set<std::string>{"Veltro_HDMI.ini"});
    };
    save.expect_saved = [&] {
        EXPECT_EQ(Read_Setting(keys::heat_id), "8");
        EXPECT_EQ(Read_Setting(keys::last_folder), "/media/heats");
        EXPECT_EQ(files_in(dir.path()), std::set<std::string>{"Veltro_HDMI.ini"});
    };
    save.must_mention = "Writing to INI file failed! Path = " + path;
    run_fault_loops(save, testing::write_and_sync_faults());
}

// Both logs grow by appending: a failed append is cut back, so no half line stays.
TEST_F(SaveFaults, EventLogAndErrorLogKeepTheirEarlierLines) {
    testing::ScopedEnv data("VELTRO_DATA_DIR", dir.file("data"));
    ReportLines report{};
    report[0] = "2024-05-04 19:31:02 Veltro_HDMI, Program version 5.0.0";
    report[1] = "error description: 61, Disk full";
    struct Log {
        std::string path;
        std::function<void()> append;
        std::string added; // what one append adds, after any date
    };
    const Log logs[] = {
        {event_log_path(), [] { Log_Event("Heat 3 appended 250 frames"); }, " Heat 3 appended 250 frames\n"},
        {error_log_path(), [&] { append_error_log(error_log_path(), report, "at the second bend"); },
         report[0] + "\n" + report[1] + "\nat the second bend\n" + std::string(44, '*') + "\n"},
    };
    const std::string earlier = "2024-05-04 19:30:00 first line\n";
    for (const Log& log : logs) {
        SCOPED_TRACE(log.path);
        SavePath save;
        save.prepare = [&] { ASSERT_EQ(write_file_atomically(log.path, earlier), 0); };
        save.save = [&] {
            try {
                log.append();
                return std::string();
            } catch (const VeltroError& e) {
                return e.description();
            }
        };
        save.expect_earlier = [&] { EXPECT_EQ(read_whole_file(log.path), earlier); };
        save.expect_saved = [&] {
            const std::string text = read_whole_file(log.path).value_or("");
            EXPECT_TRUE(text.starts_with(earlier)) << text;
            EXPECT_TRUE(text.ends_with(log.added)) << text;
            EXPECT_LE(text.size(), earlier.size() + log.added.size() + 19) << "one append, not two";
        };
        save.must_mention = "Could not append to " + log.path;
        run_fault_loops(save, testing::write_faults());
    }
}

} // namespace
} // namespace veltro
