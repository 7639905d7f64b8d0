#include "picture/jpeg_codec.h"
#include "recording/px3_layout.h"
#include "recording_fixture.h"
#include "support/files.h"
#include "support/veltro_error.h"
#include "timing/heat_timing.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace veltro {
namespace {

using testing::CapturedFrames;

class RecordingWriter : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    std::string path = dir.file("heat 1.px3");
    std::vector<std::string> events;
    cls_VideoFile_handler rec;

    void SetUp() override {
        rec.event_log([this](const std::string& line) { events.push_back(line); });
    }
    std::string bytes() const { return read_whole_file(path).value_or(""); }
    // Three frames, then no write bit for anybody.
    void make_read_only_recording() {
        Arm_Test_Recording(rec, path, 160, 120);
        Append_Test_Frames(rec, CapturedFrames(160, 120, 3));
        namespace fs = std::filesystem;
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
};

TEST_F(RecordingWriter, ArmedFileIsAHeaderBlockWithTheHeatValues) {
    Arm_Test_Recording(rec, path, 120, 96);
    const std::string file = bytes();
    ASSERT_EQ(file.size(), 32016u);
    EXPECT_EQ(file.substr(0, 4), "PXV3");
    EXPECT_EQ(file.substr(32012, 4), "PXVX");
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_TRUE(reader.Has_XML());
    EXPECT_EQ(reader.Velt_event(), "Test Event");
    EXPECT_EQ(reader.xml_header().RGB_fourcc(), "IJL");
    EXPECT_FALSE(reader.xml_header().RGB_Rotated()) << "the heat system writes \"f\"";
    EXPECT_EQ(reader.xml_header().RGB_X(), 120);
    EXPECT_EQ(reader.num_Frames(), 0);
    EXPECT_NE(reader.xml_header().Update_Time(), "not updated");
}

TEST_F(RecordingWriter, DataSizeComesFromTheLargestOfThreeTrialFrames) {
    Arm_Test_Recording(rec, path, 160, 120);
    CapturedFrames captured(160, 120, 9);
    rec.Calculate_Compressed_Size(captured.count(), captured.at());
    // Trial frames 8, 4 (4.5 rounds to even) and 2, compressed at the start quality.
    std::int32_t largest = 0;
    for (int index : {8, 4, 2}) {
        std::vector<std::uint8_t> out(200000);
        std::int32_t size = 200000;
        JPG_From_DIB(captured.pictures[index - 1], out.data(), size, 80);
        largest = std::max(largest, size);
    }
    EXPECT_EQ(rec.Rounded_Compressed_Size(), 1000 * ((largest + 5500) / 1000));
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    EXPECT_EQ(reader.xml_header().RGB_Image_size(), rec.Rounded_Compressed_Size()) << "stored at once";

    cls_VideoFile_handler other;
    other.jpeg_codec("SomeOtherCodec");
    Arm_Test_Recording(other, dir.file("other.px3"), 160, 120);
    other.Calculate_Compressed_Size(captured.count(), captured.at());
    EXPECT_EQ(other.Rounded_Compressed_Size(), 5000);
}

TEST_F(RecordingWriter, AppendPassLaysOutEqualRecordsAndCountsThem) {
    Arm_Test_Recording(rec, path, 160, 120);
    CapturedFrames captured(160, 120, 5);
    Append_Test_Frames(rec, captured);
    const std::int32_t d = rec.Rounded_Compressed_Size();
    const std::int32_t s = d + 58;
    const std::string file = bytes();
    ASSERT_EQ(static_cast<std::int64_t>(file.size()), 32016 + 5LL * s);
    for (int n = 1; n <= 5; ++n) {
        const std::size_t at = static_cast<std::size_t>(px3::frame_offset(n, s));
        EXPECT_EQ(file.substr(at, 4), "RGBS");
        EXPECT_EQ(file.substr(at + 40, 4), "RGBE");
        EXPECT_EQ(file.substr(at + 54 + d, 4), "RGBF");
    }
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    EXPECT_EQ(reader.num_Frames(), 5);
    EXPECT_EQ(reader.Num_fields(), 10);
    EXPECT_EQ(reader.sample_size(), s);
    EXPECT_EQ(reader.xml_header().Segments_no(), 1);
    EXPECT_EQ(reader.xml_header().RGB_Compressed_max_Size(), rec.largest_compressed_size());
    EXPECT_EQ(reader.xml_header().RGB_Compressed_min_Size(), rec.smallest_compressed_size());
}

TEST_F(RecordingWriter, FramesReadBackWithTheirTimesAndPictures) {
    Arm_Test_Recording(rec, path, 200, 150);
    CapturedFrames captured(200, 150, 4, 123456);
    Append_Test_Frames(rec, captured);
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 4);
    for (int n = 1; n <= 4; ++n) {
        reader.Read_RGB_sample(n, true);
        ASSERT_FALSE(reader.RGB_samplesize_error());
        EXPECT_FALSE(reader.frame_corrupted());
        EXPECT_EQ(reader.PX3_Capture_mill(), 123456 + 40 * (n - 1));
        EXPECT_EQ(reader.PX3_Capture_local(), 45000000 + 40 * (n - 1));
        EXPECT_EQ(reader.PX3_Capture_Delta(), 40);
        EXPECT_EQ(reader.PX3_Compression_Quality(), 80);
        EXPECT_LT(testing::mean_difference(reader.frame_bitmap(), captured.pictures[n - 1]), 10.0) << n;
    }
}

TEST_F(RecordingWriter, TooLargeFramesStepTheQualityDownUntilTheyFit) {
    // Trial frames of a flat picture give a small D; busy frames then need lower qualities.
    Arm_Test_Recording(rec, path, 320, 240);
    CapturedFrames flat(320, 240, 3);
    for (auto& f : flat.frames) {
        std::memset(f->RGB_Buffer_Address(), 90, static_cast<std::size_t>(f->RGB_Length()));
    }
    rec.Calculate_Compressed_Size(flat.count(), flat.at());
    const std::int32_t d = rec.Rounded_Compressed_Size();
    CapturedFrames busy(320, 240, 3);
    rec.Open_px3_for_Append();
    for (int i = 1; i <= 3; ++i) {
        rec.Append_RGB_Frame(i, *busy.frames[i - 1]);
    }
    rec.Close_File();

    cls_VideoFile_handler reader;
    reader.Open_File(path);
    for (int n = 1; n <= 3; ++n) {
        // The stored quality is the first of 80, 68, 58, ... at which the frame fits.
        std::int32_t expected = 80;
        for (;;) {
            std::vector<std::uint8_t> out(400000);
            std::int32_t size = 400000;
            JPG_From_DIB(busy.pictures[n - 1], out.data(), size, expected);
            if (size <= d || expected == 1) {
                break;
            }
            expected = px3::next_lower_quality(expected);
        }
        reader.Read_RGB_sample(n, true);
        EXPECT_LT(reader.PX3_Compression_Quality(), 80);
        EXPECT_EQ(reader.PX3_Compression_Quality(), expected);
        EXPECT_LE(reader.PX3_JPEG_Size(), d);
        EXPECT_FALSE(reader.frame_corrupted());
    }
    EXPECT_EQ(rec.reduced_quality_count(), 3);
    EXPECT_TRUE(events.empty());
}

TEST_F(RecordingWriter, FrameThatDoesNotFitAtQualityOneIsCutAndLogged) {
    // Flat trial frames give a D that frames of pure noise do not fit even at quality 1.
    Arm_Test_Recording(rec, path, 1000, 800);
    CapturedFrames flat(1000, 800, 3);
    for (auto& f : flat.frames) {
        std::memset(f->RGB_Buffer_Address(), 90, static_cast<std::size_t>(f->RGB_Length()));
    }
    rec.Calculate_Compressed_Size(flat.count(), flat.at());
    const std::int32_t d = rec.Rounded_Compressed_Size();
    CapturedFrames busy(1000, 800, 3);
    std::uint32_t seed = 12345;
    for (auto& f : busy.frames) {
        for (std::int32_t i = 0; i < f->RGB_Length(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            f->RGB_Buffer_Address()[i] = static_cast<std::uint8_t>(seed >> 24);
        }
    }
    rec.Open_px3_for_Append();
    for (int i = 1; i <= 3; ++i) {
        rec.Append_RGB_Frame(i, *busy.frames[i - 1]);
    }
    rec.Close_File();
    EXPECT_EQ(rec.reduced_quality_count(), 3);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_NE(events[0].find("Frame 1 "), std::string::npos) << events[0];

    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 3);
    reader.Read_RGB_sample(2, true);
    EXPECT_EQ(reader.PX3_Compression_Quality(), 1);
    EXPECT_EQ(reader.PX3_JPEG_Size(), d);
    EXPECT_TRUE(reader.frame_corrupted()) << "a cut stream shows the blue picture";
    EXPECT_EQ(reader.frame_bitmap().scan_line(10)[0], 255);
    EXPECT_EQ(reader.frame_bitmap().scan_line(10)[2], 0);
}

TEST_F(RecordingWriter, SecondPassAddsASegmentBehindTheFirst) {
    Arm_Test_Recording(rec, path, 160, 120);
    CapturedFrames first(160, 120, 3, 1000);
    CapturedFrames second(160, 120, 4, 9000, 50);
    Append_Test_Frames(rec, first);
    Append_Test_Frames(rec, second);
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 7);
    EXPECT_EQ(reader.xml_header().Segments_no(), 2);
    EXPECT_EQ(static_cast<std::int64_t>(bytes().size()), 32016 + 7LL * reader.sample_size());
    reader.Read_RGB_sample(3, true);
    EXPECT_EQ(reader.PX3_Capture_mill(), 1080);
    reader.Read_RGB_sample(4, true);
    EXPECT_EQ(reader.PX3_Capture_mill(), 9000);
    EXPECT_LT(testing::mean_difference(reader.frame_bitmap(), second.pictures[0]), 10.0);
}

TEST_F(RecordingWriter, PassOfFewerThanThreeFramesIsNotCountedAndLaterReplaced) {
    Arm_Test_Recording(rec, path, 160, 120);
    CapturedFrames two(160, 120, 2, 1000);
    Append_Test_Frames(rec, two);
    EXPECT_EQ(static_cast<std::int64_t>(bytes().size()), 32016 + 2LL * (rec.Rounded_Compressed_Size() + 58))
        << "the records are written, only not counted";
    {
        cls_VideoFile_handler reader;
        reader.Open_File(path);
        EXPECT_EQ(reader.num_Frames(), 0);
        EXPECT_EQ(reader.xml_header().RGB_Sample_Size(), 0);
        EXPECT_EQ(reader.xml_header().Segments_no(), 0);
    }
    // The next pass starts where the counted frames end, so its frames are the ones shown.
    CapturedFrames three(160, 120, 3, 7000);
    Append_Test_Frames(rec, three);
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 3);
    reader.Read_RGB_sample(1, false);
    EXPECT_EQ(reader.PX3_Capture_mill(), 7000);
    EXPECT_EQ(static_cast<std::int64_t>(bytes().size()), 32016 + 3LL * reader.sample_size());
}

TEST_F(RecordingWriter, PassCutShortKeepsTheLastCompletedPass) {
    Arm_Test_Recording(rec, path, 160, 120);
    CapturedFrames first(160, 120, 3, 1000);
    Append_Test_Frames(rec, first);
    CapturedFrames second(160, 120, 3, 9000);
    {
        cls_VideoFile_handler writer; // a program that stops in the middle of its second pass
        writer.File_name(path);
        writer.Cropped_X(160);
        writer.Cropped_Y(120);
        writer.Open_px3_for_Append();
        writer.Append_RGB_Frame(1, *second.frames[0]);
        writer.Append_RGB_Frame(2, *second.frames[1]);
    }
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    EXPECT_EQ(reader.num_Frames(), 3);
    reader.Read_RGB_sample(3, false);
    EXPECT_EQ(reader.PX3_Capture_mill(), 1080);
}

// A trigger bounce ends a capture before its first frame: that pass must neither fix the record
// size nor touch the file, or the next real pass of the heat is squeezed into too small records.
TEST_F(RecordingWriter, PassWithoutFramesChangesNothingAndTheNextPassKeepsItsQuality) {
    Arm_Test_Recording(rec, path, 320, 240);
    const std::string armed = bytes();
    Append_Test_Frames(rec, CapturedFrames(320, 240, 0));
    EXPECT_EQ(rec.Rounded_Compressed_Size(), 0);
    EXPECT_EQ(bytes(), armed);

    CapturedFrames busy(320, 240, 4);
    Append_Test_Frames(rec, busy);
    EXPECT_EQ(rec.reduced_quality_count(), 0);
    EXPECT_TRUE(events.empty());
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 4);
    for (int n = 1; n <= 4; ++n) {
        reader.Read_RGB_sample(n, true);
        EXPECT_EQ(reader.PX3_Compression_Quality(), 80) << n;
        EXPECT_FALSE(reader.frame_corrupted()) << n;
    }
}

// A writer that appends without measuring first (a second program on the same heat) takes D from
// the frame it is given.
TEST_F(RecordingWriter, AppendWithoutMeasuredSizeTakesItFromTheFrame) {
    Arm_Test_Recording(rec, path, 320, 240);
    CapturedFrames busy(320, 240, 3);
    rec.Open_px3_for_Append();
    for (int i = 1; i <= 3; ++i) {
        rec.Append_RGB_Frame(i, *busy.frames[static_cast<std::size_t>(i - 1)]);
    }
    rec.Close_File();
    EXPECT_GT(rec.Rounded_Compressed_Size(), 5000);
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 3);
    reader.Read_RGB_sample(1, true);
    EXPECT_EQ(reader.PX3_Compression_Quality(), 80);
    EXPECT_EQ(reader.xml_header().RGB_Image_size(), rec.Rounded_Compressed_Size());
}

TEST_F(RecordingWriter, HeaderRewritesAreOnDiskAtOnceAndRefusedWhenTooLong) {
    Arm_Test_Recording(rec, path, 160, 120);
    Append_Test_Frames(rec, CapturedFrames(160, 120, 3));
    cls_VideoFile_handler review;
    review.Open_File(path);
    review.Velt_Heat_time(3, false, 23450);
    review.Velt_Dog_name(3, "Blue Rocket");
    review.Write_XML_header();
    {
        cls_VideoFile_handler other;
        other.Open_File(path);
        EXPECT_EQ(other.Velt_Heat_time(3, false), 23450);
        EXPECT_EQ(other.Velt_Dog_name(3), "Blue Rocket");
        EXPECT_EQ(other.num_Frames(), 3) << "the frame count survives a header rewrite";
    }
    const std::string before = bytes();
    review.Velt_Dog_name(4, std::string(33000, 'x'));
    EXPECT_THROW(review.Write_XML_header(), VeltroError);
    EXPECT_EQ(bytes(), before);
}

TEST_F(RecordingWriter, TimingModelAssignsStraightToDisk) {
    Arm_Test_Recording(rec, path, 160, 120);
    cls_VideoFile_handler review;
    review.Open_File(path);
    const ManualClock clock(777);
    HeatTiming timing(clock);
    timing.set_recording(&review);
    timing.show_picture(12, 23450);
    timing.dead_heat = true;
    timing.Set_Time(2, 23450, false);
    cls_VideoFile_handler other;
    other.Open_File(path);
    EXPECT_EQ(other.Velt_Heat_time(2, false), 23450);
    EXPECT_EQ(other.Velt_heat_frame(2), 12);
    EXPECT_EQ(other.Velt_Heat_Click_Time(2), 777);
    EXPECT_TRUE(other.Velt_dead_heat(2));
}

// After 24.8 days of uptime the counter passes 2^31: it is stored as the signed Long the records
// use, and both that form and the unsigned one of older files give the same picture times.
TEST_F(RecordingWriter, StartCounterAboveTwoToTheThirtyFirstIsStoredSigned) {
    const std::uint32_t start = 3000000000u;
    Arm_Test_Recording(rec, path, 160, 120);
    rec.Velt_start_PC_mill(start);
    rec.Write_XML_header();
    Append_Test_Frames(rec, CapturedFrames(160, 120, 3, static_cast<std::int32_t>(start + 1000u)));
    for (const std::string stored : {"", "3000000000"}) {
        cls_VideoFile_handler reader;
        reader.Open_File(path);
        if (stored.empty()) {
            EXPECT_EQ(reader.Velt_start_PC_mill(), "-1294967296");
        } else {
            reader.Velt_start_PC_mill(stored);
        }
        reader.Read_RGB_sample(3, false);
        const std::uint32_t read = parse_start_pc_mill(reader.Velt_start_PC_mill());
        EXPECT_EQ(read, start);
        EXPECT_EQ(picture_time(static_cast<std::uint32_t>(reader.Timestamp_long()), read, 1, 0), 1082);
    }
}

TEST_F(RecordingWriter, FramesTooShortForThePictureSizeAreRefused) {
    Arm_Test_Recording(rec, path, 160, 120);
    CapturedFrames small(80, 60, 3);
    rec.Open_px3_for_Append();
    EXPECT_THROW(rec.Append_RGB_Frame(1, *small.frames[0]), VeltroError);
    rec.Close_File();
    EXPECT_EQ(bytes().size(), 32016u);
}

TEST_F(RecordingWriter, DamagedRecordSizeInTheHeaderTakesNoAppend) {
    Arm_Test_Recording(rec, path, 160, 120);
    Append_Test_Frames(rec, CapturedFrames(160, 120, 3));
    for (const std::int32_t damaged : {10, px3::kMaxSampleSize + 1}) {
        {
            cls_VideoFile_handler edit;
            edit.Open_File(path);
            edit.xml_header().L_RGB_Sample_Size(damaged);
            edit.Write_XML_header();
        }
        const std::string before = bytes();
        cls_VideoFile_handler writer;
        writer.File_name(path);
        writer.Cropped_X(160);
        writer.Cropped_Y(120);
        EXPECT_THROW(writer.Open_px3_for_Append(), VeltroError) << damaged;
        EXPECT_EQ(bytes(), before) << "the three stored frames stay";
        EXPECT_FALSE(writer.File_open());
    }
}

// Read-only is the file's own bits, also for the superuser (who runs CI and may write anything).
TEST_F(RecordingWriter, ReadOnlyBitsAreSeenByEveryUser) {
    make_read_only_recording();
    namespace fs = std::filesystem;
    const std::string before = bytes();
    cls_VideoFile_handler review;
    review.Open_File(path);
    ASSERT_TRUE(review.File_open());
    EXPECT_TRUE(review.Read_only());
    HeatTiming timing(system_clock());
    timing.set_recording(&review);
    timing.show_picture(3, 1230);
    EXPECT_FALSE(timing.box_click(1));
    EXPECT_EQ(op.last_message(), "File is read only!");
    review.Velt_Heat_time(1, false, 100);
    EXPECT_THROW(review.Write_XML_header(), VeltroError);
    review.Close_File();
    EXPECT_EQ(bytes(), before);

    fs::permissions(path, fs::perms::group_write, fs::perm_options::add); // one write bit is enough
    review.Open_File(path);
    EXPECT_FALSE(review.Read_only());
}

TEST_F(RecordingWriter, ReadOnlyRecordingRefusesHeaderRewrites) {
    make_read_only_recording();
    namespace fs = std::filesystem;
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    // Reviewed in a child process as an ordinary user: the superuser may write any file. The death
    // test runs this test anew in the child, so the file is compared there.
    auto review_without_write_permission = [&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            std::_Exit(3);
        const std::string before = bytes();
        cls_VideoFile_handler review;
        review.Open_File(path);
        bool ok = review.Read_only();
        review.Velt_Heat_time(1, false, 100);
        try {
            review.Write_XML_header();
            ok = false;
        } catch (const VeltroError&) {
        }
        review.Read_RGB_sample(3, true); // the review goes on
        ok = ok && !review.RGB_samplesize_error() && !review.frame_corrupted() && bytes() == before;
        std::_Exit(ok ? 0 : 1);
    };
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(review_without_write_permission(), ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace veltro
