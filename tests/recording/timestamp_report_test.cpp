#include "recording/recording_fixture.h"
#include "recording/timestamp_report.h"
#include "support/files.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace veltro {
namespace {

class TimestampReport : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    std::string path = dir.file("heat 7.px3");
};

TEST_F(TimestampReport, OneLinePerFrameWithDeltasResetAndGapsSaid) {
    testing::CapturedFrames captured(16, 8, 1001, 5000);
    captured.frames[3]->PutTimestamp(5000 + 40 * 2 + 1500, 45001234, 40); // a gap over one second
    for (int i = 4; i < 1001; ++i) {
        captured.frames[i]->PutTimestamp(6620 + 40 * (i - 4), 45001234, 40);
    }
    {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, 16, 8);
        Append_Test_Frames(rec, captured);
    }
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    const std::string text = timestamp_report_text(rec);
    EXPECT_EQ(text.substr(0, text.find("004;")), "\" Timestamp report for file: heat 7.px3\"\r\n"
                                                 "Frame;Capture_mill;Capture_delta;Capture_local;\r\n"
                                                 "001;5000;000; 12:30:00,00\r\n"
                                                 "002;5040;040; 12:30:00,04\r\n"
                                                 "003;5080;040; 12:30:00,08\r\n"
                                                 "---;Gap of 1500 ms before frame 4: about 37 frames "
                                                 "missing;;\r\n");
    EXPECT_NE(text.find("\r\n004;6580;000; 12:30:01,23\r\n005;6620;040;"), std::string::npos);
    EXPECT_NE(text.find("\r\n1000;"), std::string::npos);
    EXPECT_NE(text.find("\r\n1001;"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(TimestampReport, UnreadableRecordKeepsItsLine) {
    std::int32_t s = 0;
    {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, 16, 8);
        Append_Test_Frames(rec, testing::CapturedFrames(16, 8, 4, 5000));
        s = rec.Rounded_Compressed_Size() + 58;
    }
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(32016 + s);
        f.write("XXXX", 4);
    }
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    const std::string text = timestamp_report_text(rec);
    EXPECT_NE(text.find("\r\n001;5000;000; 12:30:00,00\r\n"
                        "002;Frame could not be read;;\r\n"
                        "003;5080;080; 12:30:00,08\r\n"
                        "004;5120;040; 12:30:00,12\r\n"),
              std::string::npos)
        << text;
}

TEST_F(TimestampReport, RecordingWithoutFramesGivesTheTwoHeaderLines) {
    cls_VideoFile_handler writer;
    Arm_Test_Recording(writer, path, 16, 8);
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    const std::string out = timestamp_report_path(dir.path().string());
    EXPECT_EQ(write_timestamp_report(rec, out), out);
    EXPECT_EQ(read_whole_file(out).value(), "\" Timestamp report for file: heat 7.px3\"\r\n"
                                            "Frame;Capture_mill;Capture_delta;Capture_local;\r\n");
    EXPECT_EQ(op.last_message(), "Timestamp report written at; " + out);
    const std::string name = std::filesystem::path(out).filename().string();
    EXPECT_EQ(name.rfind("frame_report", 0), 0u);
    EXPECT_EQ(name.substr(name.size() - 4), ".csv");
    EXPECT_EQ(name.find_first_of(":-,"), std::string::npos) << name;
}

} // namespace
} // namespace veltro
