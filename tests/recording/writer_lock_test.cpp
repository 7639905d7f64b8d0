// One writer per recording: a second writer waits for the lock, then is refused without changing
// anything; a writer that finds the header changed since it read it keeps that change under its own.
#include "recording/header_journal.h"
#include "recording/recording_check.h"
#include "recording/recording_lock.h"
#include "recording_fixture.h"
#include "support/files.h"
#include "support/veltro_error.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

class WriterLock : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    std::string path = dir.file("heat 2.px3");
    std::vector<std::string> log;

    void SetUp() override {
        cls_VideoFile_handler rec;
        rec.event_log([](const std::string&) {});
        Arm_Test_Recording(rec, path, 64, 48);
        Append_Test_Frames(rec, testing::CapturedFrames(64, 48, 3));
    }
    void TearDown() override { RecordingLock::wait_limit(std::chrono::milliseconds(3000)); }
    void open(cls_VideoFile_handler& rec) {
        rec.event_log([this](const std::string& line) { log.push_back(line); });
        rec.Open_File(path);
        ASSERT_TRUE(rec.Has_XML());
    }
};

TEST_F(WriterLock, ASecondWriterIsRefusedAfterItsWaitAndChangesNothing) {
    cls_VideoFile_handler rec;
    open(rec);
    const std::string before = read_whole_file(path).value();
    const std::string journal = read_whole_file(journal_path(path)).value();
    RecordingLock::wait_limit(std::chrono::milliseconds(30));
    {
        const RecordingLock other(path, RecordingLock::Mode::Exclusive);
        rec.Velt_Heat_time(2, false, 21340);
        try {
            rec.Write_XML_header();
            FAIL() << "written while another writer held the recording";
        } catch (const VeltroError& e) {
            EXPECT_EQ(e.number(), err::kPermissionDenied);
            EXPECT_EQ(e.description(), changed_elsewhere_text(path));
        }
        EXPECT_EQ(rec.Velt_Heat_time(2, false), 0) << "the refused change is not shown as made";
        // An append pass is one writer too.
        cls_VideoFile_handler appender;
        appender.File_name(path);
        EXPECT_THROW(appender.Open_px3_for_Append(), VeltroError);
        EXPECT_FALSE(appender.File_open());
    }
    EXPECT_EQ(read_whole_file(path).value(), before);
    EXPECT_EQ(read_whole_file(journal_path(path)).value(), journal);

    // Once the other writer is done the change goes through, and readers may share the lock.
    rec.Velt_Heat_time(2, false, 21340);
    {
        const RecordingLock reader(path, RecordingLock::Mode::Shared);
        const RecordingLock another(path, RecordingLock::Mode::Shared);
        EXPECT_THROW(rec.Write_XML_header(), VeltroError);
    }
    rec.Velt_Heat_time(2, false, 21340);
    rec.Write_XML_header();
    cls_VideoFile_handler check;
    open(check);
    EXPECT_EQ(check.Velt_Heat_time(2, false), 21340);
}

// Two objects with the same recording open, as the window and px3tool: each writes only what it
// changed over what the other stored; where both changed one value the later one stands.
TEST_F(WriterLock, AWriterKeepsWhatAnotherStoredSinceItReadTheHeader) {
    cls_VideoFile_handler window;
    cls_VideoFile_handler script;
    open(window);
    open(script);
    script.Velt_Heat_time(2, false, 22220);
    script.Velt_Dog_name(4, "Sandy");
    script.Write_XML_header();
    EXPECT_FALSE(script.take_changed_elsewhere());

    window.Velt_Heat_time(1, false, 21110);
    window.Velt_Dog_name(4, "Tiger");
    window.velt_official("Anna, 2026-12-08 14:05:00");
    window.Write_XML_header();
    EXPECT_TRUE(window.take_changed_elsewhere());
    EXPECT_FALSE(window.take_changed_elsewhere());
    EXPECT_EQ(window.Velt_Heat_time(2, false), 22220) << "the window shows the other change";
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("this one replaces it for dog_name of box 4"), std::string::npos) << log.back();

    script.Velt_Heat_time(3, false, 23330);
    script.Write_XML_header();

    cls_VideoFile_handler check;
    open(check);
    EXPECT_EQ(check.Velt_Heat_time(1, false), 21110);
    EXPECT_EQ(check.Velt_Heat_time(2, false), 22220);
    EXPECT_EQ(check.Velt_Heat_time(3, false), 23330);
    EXPECT_EQ(check.Velt_Dog_name(4), "Tiger");
    EXPECT_EQ(check.velt_official(), "Anna, 2026-12-08 14:05:00") << "an element the other never had";
    EXPECT_EQ(check.xml_header().G_Frames_no(), 3);
    EXPECT_TRUE(check_recording(path).problems.empty()) << check_recording(path).problems.front();
    EXPECT_TRUE(op.messages.empty()) << op.last_message();
}

} // namespace
} // namespace veltro
