#include "failing_file.h"
#include "recording/header_journal.h"
#include "recording/px3_layout.h"
#include "recording/recording_check.h"
#include "recording_fixture.h"
#include "support/byte_order.h"
#include "support/files.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace veltro {
namespace {

class RecordingCheckTest : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    std::string path = dir.file("check.px3");
    std::int32_t s = 0;

    void SetUp() override {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, 64, 48);
        Append_Test_Frames(rec, testing::CapturedFrames(64, 48, 4));
        s = rec.Rounded_Compressed_Size() + 58;
    }
    void patch(std::int64_t offset, const std::string& bytes) {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(offset);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
};

TEST_F(RecordingCheckTest, SoundRecordingHasNoProblems) {
    const auto check = check_recording(path);
    EXPECT_EQ(check.frames, 4);
    EXPECT_TRUE(check.problems.empty()) << check.problems.front();
}

TEST_F(RecordingCheckTest, EveryDamageIsNamedOnItsOwnLine) {
    patch(32012, "PXVY");
    patch(px3::frame_offset(2, s), "XXXX");
    patch(px3::frame_offset(3, s) + 54 + 300, std::string(40, '\xFF'));
    std::uint8_t big[4];
    le::put_i32(big, s);
    patch(px3::frame_offset(4, s) + 32, std::string(reinterpret_cast<char*>(big), 4));
    const auto check = check_recording(path);
    ASSERT_EQ(check.problems.size(), 4u);
    EXPECT_EQ(check.problems[0], "header block does not end with \"PXVX\"");
    EXPECT_EQ(check.problems[1], "frame 2: record does not begin with \"RGBS\"");
    EXPECT_EQ(check.problems[2], "frame 3: JPEG data does not decode");
    EXPECT_EQ(check.problems[3],
              "frame 4: JPEG size " + std::to_string(s) + " is outside 1.." + std::to_string(s - 58));
}

TEST_F(RecordingCheckTest, RecordSizesAndShortFiles) {
    patch(px3::frame_offset(1, s) + 46, std::string("\x01\x00\x00\x00", 4)); // data count
    auto check = check_recording(path);
    ASSERT_EQ(check.problems.size(), 1u);
    EXPECT_EQ(check.problems[0].rfind("frame 1: data count 1 differs", 0), 0u) << check.problems[0];

    {
        // A sample size far beyond any record is named, not allocated.
        cls_VideoFile_handler edit;
        edit.Open_File(path);
        edit.xml_header().L_RGB_Sample_Size(2000000000);
        edit.Write_XML_header();
        check = check_recording(path);
        ASSERT_EQ(check.problems.size(), 1u);
        EXPECT_EQ(check.problems[0], "sample size 2000000000 is beyond 67108864 bytes");
        edit.xml_header().L_RGB_Sample_Size(s);
        edit.Write_XML_header();
    }

    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 10);
    check = check_recording(path);
    ASSERT_EQ(check.problems.size(), 2u);
    EXPECT_EQ(check.problems[0].rfind("file of ", 0), 0u);
    EXPECT_NE(check.problems[0].find("ends inside frame 4 of 4"), std::string::npos) << check.problems[0];

    std::filesystem::resize_file(path, 20000);
    check = check_recording(path);
    ASSERT_EQ(check.problems.size(), 1u);
    EXPECT_EQ(check.problems[0], "file of 20000 bytes is shorter than the 32016-byte header block");
}

TEST_F(RecordingCheckTest, FilesThatCannotBeReadSaySo) {
    EXPECT_EQ(check_recording(dir.path().string()).problems, std::vector<std::string>{"cannot be read"});
    PosixFile file(UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)));
    testing::FailingFile failing(file);
    failing.fail(testing::FailingFile::Op::read, 3); // frame 2
    const auto check = check_recording(failing);
    EXPECT_EQ(check.problems, std::vector<std::string>{"cannot be read"});
}

// Changes that leave every structure whole are found through the journal: a byte behind a frame's
// stream, a frame's time stamp, a digit of a time in the header. The review shows such a frame as
// damaged instead of its picture; without the journal only the header's own checksum finds the digit.
TEST_F(RecordingCheckTest, JournalFindsBytesChangedSinceTheyWereWritten) {
    {
        cls_VideoFile_handler edit;
        edit.Open_File(path);
        edit.Velt_Heat_time(2, false, 23450);
        edit.Write_XML_header();
    }
    EXPECT_TRUE(check_recording(path).problems.empty());
    const std::string file = read_whole_file(path).value();
    const auto jpeg_size =
        px3::get_record_fields(reinterpret_cast<const std::uint8_t*>(file.data()) + px3::frame_offset(2, s))
            .jpeg_size;
    patch(px3::frame_offset(2, s) + 54 + jpeg_size + 10, "\x01");
    std::uint8_t stamp[4];
    le::put_i32(
        stamp,
        le::get_i32(reinterpret_cast<const std::uint8_t*>(file.data()) + px3::frame_offset(3, s) + 8) + 1);
    patch(px3::frame_offset(3, s) + 8, std::string(reinterpret_cast<char*>(stamp), 4));
    patch(static_cast<std::int64_t>(file.find("23450")) + 2, "9");

    const std::vector<std::string> expected{
        "header text matches no journal entry nor its checksum: another program changed it",
        "frame 2: damaged, its bytes changed since it was recorded",
        "frame 3: damaged, its bytes changed since it was recorded"};
    EXPECT_EQ(check_recording(path).problems, expected);

    std::vector<std::string> log;
    cls_VideoFile_handler rec;
    rec.event_log([&log](const std::string& line) { log.push_back(line); });
    rec.Open_File(path);
    EXPECT_EQ(rec.Velt_Heat_time(2, false), 23950) << "another program's header is left as it is";
    for (const std::int32_t frame : {1, 2, 3, 4}) {
        rec.Read_RGB_sample(frame, true);
        EXPECT_EQ(rec.frame_damaged(), frame == 2 || frame == 3) << frame;
        EXPECT_EQ(rec.frame_corrupted(), frame == 2 || frame == 3) << frame;
    }
    EXPECT_EQ(log.back(), "Frame 3 of " + path + " is damaged: its bytes changed since it was recorded");
    rec.Close_File();

    std::filesystem::remove(journal_path(path));
    EXPECT_EQ(check_recording(path).problems,
              std::vector<std::string>{"header text does not match its checksum, and there is no journal to "
                                       "restore it from: its times may be wrong"});
}

} // namespace
} // namespace veltro
