// Recovery of a capture the program did not finish: the spool's frames appended with their times, a
// spool already counted only removed, and anything that does not fit the recording left as it is.
#include "compressed_frames.h"
#include "recording/capture_spool.h"
#include "recording/recording_check.h"
#include "recording_fixture.h"
#include "scoped_env.h"
#include "support/files.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::compressed_test_frame;

class SpoolRecoveryTest : public ::testing::Test {
public:
    testing::FakeOperator op;
    testing::TempDir dir;
    // The event log of a recovery goes to a data folder of the test's own.
    testing::ScopedEnv data{"VELTRO_DATA_DIR", dir.file("data")};
    std::string path = dir.file("heat 1.px3");
    std::string spool = spool_path(path);

    // A capture of `count` frames from `first_mill` that ended with the program: the spool is left.
    void crashed_capture(std::int32_t count, std::int32_t first_mill, std::int32_t base_frames = 0,
                         std::int32_t data_size = 0, std::int32_t width = 160) {
        SpoolWriter writer(spool, SpoolHead{width, 120, 80, data_size, base_frames});
        for (std::int32_t n = 0; n < count; ++n)
            writer.append(compressed_test_frame(width, 120, n, 80, first_mill));
        writer.flush();
    }
    std::string bytes() const { return read_whole_file(path).value_or(""); }
    void expect_sound(std::int32_t frames) const {
        const RecordingCheck check = check_recording(path);
        EXPECT_EQ(check.frames, frames);
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();
    }
};

TEST_F(SpoolRecoveryTest, FramesOfAnInterruptedFirstCaptureAreAppendedWithTheirTimes) {
    cls_VideoFile_handler rec;
    Arm_Test_Recording(rec, path, 160, 120);
    crashed_capture(5, 70000);

    const SpoolRecovery r = recover_spool(path);
    EXPECT_EQ(r.frames, 5);
    EXPECT_EQ(r.message, "Recovered 5 frames of " + path + " from an interrupted capture");
    EXPECT_TRUE(r.spool_removed);
    EXPECT_FALSE(std::filesystem::exists(spool));
    expect_sound(5);
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 5);
    EXPECT_EQ(reader.Velt_event(), "Test Event") << "the heat values stay";
    for (std::int32_t n = 1; n <= 5; ++n) {
        reader.Read_RGB_sample(n, true);
        EXPECT_EQ(reader.PX3_Capture_mill(), 70000 + 40 * (n - 1));
        EXPECT_EQ(reader.PX3_Capture_local(), 45000000 + 40 * (n - 1));
        EXPECT_EQ(reader.PX3_Compression_Quality(), 80);
        EXPECT_FALSE(reader.frame_corrupted());
    }

    const SpoolRecovery again = recover_spool(path);
    EXPECT_EQ(again.frames, 0);
    EXPECT_FALSE(again.spool_removed);
    EXPECT_EQ(again.message, "Nothing to recover: " + path + " has no spool");
}

TEST_F(SpoolRecoveryTest, ALaterCaptureCutShortKeepsItsWholeFramesBehindTheCountedOnes) {
    cls_VideoFile_handler rec;
    Arm_Test_Recording(rec, path, 160, 120);
    Append_Test_Frames(rec, CapturedFrames(160, 120, 3, 1000));
    crashed_capture(5, 9000, 3, rec.Rounded_Compressed_Size());
    const auto size = std::filesystem::file_size(spool);
    std::filesystem::resize_file(spool, size - 7); // killed while writing the fifth frame

    const SpoolRecovery r = recover_spool(path);
    EXPECT_EQ(r.frames, 4);
    EXPECT_EQ(r.message.rfind(
                  "Recovered 4 frames of " + path + " from an interrupted capture (entry 5 at byte ", 0),
              0u)
        << r.message;
    EXPECT_NE(r.message.find("is cut short (a capture that ended abruptly): 4 frames kept)"),
              std::string::npos)
        << r.message;
    expect_sound(7);
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 7);
    EXPECT_EQ(reader.xml_header().Segments_no(), 2);
    reader.Read_RGB_sample(3, false);
    EXPECT_EQ(reader.PX3_Capture_mill(), 1080);
    reader.Read_RGB_sample(7, false);
    EXPECT_EQ(reader.PX3_Capture_mill(), 9120);
}

// The program ended after the final pass counted the frames and before it removed the spool.
TEST_F(SpoolRecoveryTest, ASpoolWhoseFramesAreCountedIsOnlyRemoved) {
    cls_VideoFile_handler rec;
    Arm_Test_Recording(rec, path, 160, 120);
    crashed_capture(4, 1000);
    {
        SpoolReader frames(spool);
        rec.append_compressed_pass(frames, {});
    }
    const std::string counted = bytes();

    const SpoolRecovery r = recover_spool(path);
    EXPECT_EQ(r.frames, 0);
    EXPECT_TRUE(r.spool_removed);
    EXPECT_EQ(r.message,
              "The frames of the spool of " + path + " are in the recording already; the spool is removed");
    EXPECT_FALSE(std::filesystem::exists(spool));
    EXPECT_EQ(bytes(), counted);
}

TEST_F(SpoolRecoveryTest, WhatDoesNotFitTheRecordingChangesNothingAndKeepsTheSpool) {
    cls_VideoFile_handler rec;
    Arm_Test_Recording(rec, path, 160, 120);
    const std::string armed = bytes();
    const std::string kept = "; nothing recovered, the spool is kept";
    struct Case {
        const char* what;
        void (*make)(SpoolRecoveryTest&);
        std::string message;
    };
    const Case cases[] = {
        {"pictures of another size", [](SpoolRecoveryTest& t) { t.crashed_capture(4, 1000, 0, 0, 200); },
         "The spool of " + path + " holds pictures of 200 x 120, the recording's frames are 160 x 120" +
             kept},
        {"a spool begun behind frames the recording lost",
         [](SpoolRecoveryTest& t) { t.crashed_capture(4, 1000, 3, 9000); },
         "The recording " + path +
             " counts 0 frames, fewer than the 3 it had when the capture of its spool began" + kept},
        {"no spool head",
         [](SpoolRecoveryTest& t) { ASSERT_EQ(write_file_atomically(t.spool, std::string(64, 'x')), 0); },
         "Cannot recover the spool of " + path + ": " + spool +
             " is no spool: it does not begin with \"VSPL\"" + kept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make(*this);
        const std::string before = read_whole_file(spool).value_or("");
        const SpoolRecovery r = recover_spool(path);
        EXPECT_EQ(r.frames, 0);
        EXPECT_FALSE(r.spool_removed);
        EXPECT_EQ(r.message, c.message);
        EXPECT_EQ(read_whole_file(spool).value_or(""), before);
        EXPECT_EQ(bytes().substr(0, 32016), armed);
        cls_VideoFile_handler reader;
        reader.Open_File(path);
        EXPECT_EQ(reader.num_Frames(), 0);
        std::filesystem::remove(spool);
    }

    // A recording that is missing, or read only, is not touched either.
    crashed_capture(4, 1000);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    SpoolRecovery r = recover_spool(path);
    EXPECT_EQ(r.message, "Cannot recover the spool of " + path + ": " + path + " is read only" + kept);
    EXPECT_TRUE(std::filesystem::exists(spool));
    std::filesystem::remove(path);
    r = recover_spool(path);
    EXPECT_EQ(r.frames, 0);
    EXPECT_EQ(r.message.rfind("Cannot recover the spool of " + path + ": Cannot open " + path, 0), 0u)
        << r.message;
    EXPECT_TRUE(std::filesystem::exists(spool));
}

TEST_F(SpoolRecoveryTest, AnEmptySpoolIsRemoved) {
    cls_VideoFile_handler rec;
    Arm_Test_Recording(rec, path, 160, 120);
    const std::string armed = bytes();
    crashed_capture(0, 0);
    const SpoolRecovery r = recover_spool(path);
    EXPECT_EQ(r.frames, 0);
    EXPECT_TRUE(r.spool_removed);
    EXPECT_EQ(r.message, "The spool of " + path + " holds no frame; the spool is removed");
    EXPECT_EQ(bytes(), armed);
}

} // namespace
} // namespace veltro
