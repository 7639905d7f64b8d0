#include "recording/px3_layout.h"
#include "recording_fixture.h"
#include "support/byte_order.h"
#include "support/files.h"
#include "support/veltro_error.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::CapturedFrames;

class RecordingReader : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    std::string path = dir.file("heat.px3");
    std::int32_t sample_size = 0;

    // A sound recording of `frames` frames of 160 x 120.
    void write_recording(int frames = 5) {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, 160, 120);
        Append_Test_Frames(rec, CapturedFrames(160, 120, frames));
        sample_size = rec.Rounded_Compressed_Size() + 58;
    }
    void patch(std::int64_t offset, const std::string& bytes) {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(offset);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    void patch_long(std::int64_t offset, std::int32_t value) {
        std::uint8_t b[4];
        le::put_i32(b, value);
        patch(offset, std::string(reinterpret_cast<char*>(b), 4));
    }
    // Changes the stored header through another recording object.
    template <typename F>
    void edit_header(F change) {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        change(rec.xml_header());
        rec.Write_XML_header();
    }
    std::int64_t record(int frame) const { return px3::frame_offset(frame, sample_size); }
};

TEST_F(RecordingReader, ShortFilesAndUnknownTypesAreRefused) {
    std::ofstream(path, std::ios::binary) << std::string(99, 'x');
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    EXPECT_FALSE(rec.File_open());
    EXPECT_EQ(op.last_message(), "Corrupt file, (Invalid file length)");

    const std::string avi = dir.file("clip.avi");
    std::ofstream(avi, std::ios::binary) << std::string(500, 'x');
    rec.Open_File(avi);
    EXPECT_FALSE(rec.File_open());
    EXPECT_EQ(op.last_message(), "cls_AVI_handler can't open this file type! " + avi);

    rec.Open_File(dir.file("missing.px3"));
    EXPECT_FALSE(rec.File_open());
    EXPECT_EQ(op.last_message().rfind("Windows error when trying to open file: ", 0), 0u);
}

TEST_F(RecordingReader, LocatesFramesByMultiplication) {
    write_recording(3);
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    ASSERT_TRUE(rec.File_open());
    EXPECT_EQ(rec.RGB_video_adress(1), 32017);
    EXPECT_EQ(rec.RGB_video_adress(3), 32017 + 2LL * sample_size);
}

TEST_F(RecordingReader, FrameTimeFollowsTheRecordedRate) {
    write_recording(3);
    for (auto [rate, frames, fields] : {std::tuple{"25", 40, 20},
                                        {"50", 20, 10},
                                        {"30", 40, 20},
                                        {"100", 10, 5},
                                        {"120", 8, 4},
                                        {"200", 5, 2}}) {
        const std::string fps = rate;
        edit_header([&](Cls_XML_header& h) { h.RGB_fps(fps); });
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        rec.deinterlaced(true);
        EXPECT_EQ(rec.mill_per_Frame(), frames) << fps;
        rec.deinterlaced(false);
        EXPECT_EQ(rec.mill_per_Frame(), fields) << fps;
    }
}

TEST_F(RecordingReader, ImpossibleSampleSizesShowNoFrames) {
    write_recording(3);
    for (std::int32_t bad : {0, -20058, 40, 2000000000}) {
        edit_header([&](Cls_XML_header& h) { h.L_RGB_Sample_Size(bad); });
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        EXPECT_TRUE(rec.File_open());
        EXPECT_EQ(rec.num_Frames(), 0) << bad;
        EXPECT_THROW(rec.Read_RGB_sample(1, true), VeltroError);
    }
}

// A file cut short offers the frames it holds and says how many are missing.
TEST_F(RecordingReader, FileShorterThanItsFrameCountOffersTheFramesThereAndSaysSo) {
    write_recording(5);
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(record(4) + sample_size / 2));
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    EXPECT_EQ(op.last_message(), "This recording is cut short: 2 of 5 frames are missing.");
    ASSERT_EQ(rec.num_Frames(), 3);
    EXPECT_EQ(rec.Num_fields(), 6);
    EXPECT_EQ(rec.frames_missing(), 2);
    rec.Read_RGB_sample(3, true);
    EXPECT_FALSE(rec.RGB_samplesize_error());
    EXPECT_FALSE(rec.frame_corrupted());
    EXPECT_THROW(rec.Read_RGB_sample(4, true), VeltroError);

    // Not one whole record: nothing to offer, and the message says so.
    op.messages.clear();
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(record(1) + sample_size - 1));
    rec.Open_File(path);
    EXPECT_EQ(op.last_message(), "This recording is cut short: 5 of 5 frames are missing.");
    EXPECT_TRUE(rec.File_open());
    EXPECT_EQ(rec.num_Frames(), 0);

    // Field numbers are Integers: the fields of frames beyond 16383 cannot be addressed.
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(record(30001)));
    edit_header([](Cls_XML_header& h) { h.Frames_no(30000); });
    cls_VideoFile_handler many;
    many.Open_File(path);
    EXPECT_EQ(many.num_Frames(), 30000);
    EXPECT_EQ(many.Num_fields(), 32767);
}

// Each frame is read from its own record: a damaged record elsewhere (here the last, which opening
// reads) must not fail it, and a failed read must not spoil the record already read.
TEST_F(RecordingReader, AFrameDependsOnlyOnItsOwnRecord) {
    write_recording(4);
    cls_VideoFile_handler whole;
    whole.Open_File(path);
    whole.Read_RGB_sample(2, true);
    patch(record(4), "XXXX");
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    rec.Draw_RGB_frame(2);
    EXPECT_FALSE(rec.RGB_samplesize_error());
    EXPECT_FALSE(rec.frame_corrupted());
    EXPECT_EQ(testing::mean_difference(rec.frame_bitmap(), whole.frame_bitmap()), 0.0);

    rec.Read_RGB_sample(4, true);
    EXPECT_TRUE(rec.RGB_samplesize_error());
    rec.Read_RGB_sample(2, true);
    EXPECT_FALSE(rec.RGB_samplesize_error());
    EXPECT_FALSE(rec.frame_corrupted());
    EXPECT_EQ(testing::mean_difference(rec.frame_bitmap(), whole.frame_bitmap()), 0.0);
}

// A record that cannot be read is drawn as the blue "Corrupted video" picture, never as the picture
// shown before it.
TEST_F(RecordingReader, RecordWithoutItsMagicShowsTheCorruptedPicture) {
    write_recording(3);
    patch(record(2), "XXXX");
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    rec.Read_RGB_sample(1, true);
    rec.Read_RGB_sample(2, true);
    EXPECT_TRUE(rec.RGB_samplesize_error());
    EXPECT_TRUE(rec.frame_corrupted());
    const std::uint8_t* px = rec.frame_bitmap().scan_line(60) + 30;
    EXPECT_EQ(px[0], 255);
    EXPECT_EQ(px[1], 0);
    EXPECT_EQ(px[2], 0);
    rec.Read_RGB_sample(3, true);
    EXPECT_FALSE(rec.RGB_samplesize_error());
    EXPECT_FALSE(rec.frame_corrupted());
}

TEST_F(RecordingReader, BadJpegDataGivesTheFlaggedBluePicture) {
    write_recording(4);
    patch_long(record(2) + 32, sample_size); // JPEG size larger than the data area
    patch(record(3) + 54 + 400, std::string(600, '\xFF'));
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    for (int frame : {2, 3}) {
        rec.Read_RGB_sample(frame, true);
        EXPECT_TRUE(rec.frame_corrupted()) << frame;
        EXPECT_EQ(rec.frame_bitmap().Width(), 160);
        const std::uint8_t* px = rec.frame_bitmap().scan_line(50) + 30;
        EXPECT_EQ(px[0], 255);
        EXPECT_EQ(px[1], 0);
        EXPECT_EQ(px[2], 0);
    }
    rec.Read_RGB_sample(4, true);
    EXPECT_FALSE(rec.frame_corrupted());
    EXPECT_FALSE(rec.read_error()) << op.last_message();
}

// The words are in the picture itself, red on blue inside their rectangle, so an exported or printed
// copy of a broken frame says so as well.
TEST_F(RecordingReader, CorruptedPictureCarriesItsWordsInThePixels) {
    {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, 640, 480);
        Append_Test_Frames(rec, CapturedFrames(640, 480, 3));
        sample_size = rec.Rounded_Compressed_Size() + 58;
    }
    patch(record(2) + 54 + 400, std::string(600, '\xFF'));
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    rec.Read_RGB_sample(2, true);
    ASSERT_TRUE(rec.frame_corrupted());
    const cDIBSection& pic = rec.frame_bitmap();
    int red_inside = 0;
    int red_outside = 0;
    int red_per_line[2] = {0, 0};
    for (int y = 0; y < pic.Height(); ++y) {
        for (int x = 0; x < pic.Width(); ++x) {
            const std::uint8_t* px = pic.scan_line(y) + 3 * x;
            const bool red = px[0] == 0 && px[1] == 0 && px[2] == 255;
            const bool blue = px[0] == 255 && px[1] == 0 && px[2] == 0;
            ASSERT_TRUE(red || blue) << x << "," << y;
            const bool inside = x >= 10 && x < 500 && y >= 100 && y < 400;
            (inside ? red_inside : red_outside) += red ? 1 : 0;
            if (red && inside && y < 228) {
                ++red_per_line[(y - 100) / 64];
            }
        }
    }
    EXPECT_EQ(red_outside, 0);
    EXPECT_GT(red_per_line[0], 2000) << "\"Corrupted video\"";
    EXPECT_GT(red_per_line[1], 2000) << "\" in this frame!\"";
}

TEST_F(RecordingReader, StreamOfAnotherPictureSizeIsTreatedAsCorrupt) {
    write_recording(3);
    edit_header([](Cls_XML_header& h) { h.RGB_X(1600); });
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    rec.Read_RGB_sample(1, true);
    EXPECT_TRUE(rec.frame_corrupted());
    EXPECT_EQ(rec.frame_bitmap().Width(), 1600) << "the picture keeps the recording's size";
}

TEST_F(RecordingReader, SameFrameTwiceDoesNotTouchTheFile) {
    write_recording(3);
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    rec.Read_RGB_sample(2, true);
    const std::int32_t mill = rec.PX3_Capture_mill();
    std::filesystem::resize_file(path, 32016); // would make a new read fail
    rec.Read_RGB_sample(2, true);
    EXPECT_FALSE(rec.RGB_samplesize_error());
    EXPECT_EQ(rec.PX3_Capture_mill(), mill);
    rec.Read_RGB_sample(1, true);
    EXPECT_TRUE(rec.RGB_samplesize_error());
}

TEST_F(RecordingReader, ChecksumOfTheRecordRead) {
    write_recording(3);
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    rec.Read_RGB_sample(2, false);
    const std::string file = read_whole_file(path).value();
    std::int32_t expected = 0;
    for (std::int32_t pos = 100; pos <= rec.PX3_JPEG_Size(); pos += 1000) {
        expected += static_cast<std::uint8_t>(file[static_cast<std::size_t>(record(2) + 54 + pos - 1)]);
    }
    EXPECT_GT(expected, 0);
    EXPECT_EQ(rec.RGB_Checksum(), expected);
}

} // namespace
} // namespace veltro
