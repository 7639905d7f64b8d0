// The final pass of a capture compressed while it ran: records laid out exactly as the frame-by-frame
// pass lays them out, streams stored as they came unless a fixed record size forces a lower quality,
// and a failure at any step leaving the recording as it was.
#include "compressed_frames.h"
#include "failing_file.h"
#include "picture/jpeg_codec.h"
#include "recording/px3_layout.h"
#include "recording/recording_check.h"
#include "recording_fixture.h"
#include "support/files.h"
#include "support/memory_file.h"
#include "support/veltro_error.h"

#include <cstring>
#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::FailingFile;
using testing::FramesInMemory;
using testing::lend;
using Op = FailingFile::Op;

class CompressedPass : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    std::string path = dir.file("heat.px3");
    std::vector<std::string> events;
    cls_VideoFile_handler rec;

    void SetUp() override {
        rec.event_log([this](const std::string& line) { events.push_back(line); });
    }
    void expect_verified() const {
        const RecordingCheck check = check_recording(path);
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();
    }
};

TEST_F(CompressedPass, FirstPassSizesRecordsForTheLargestStreamAndStoresEveryStreamAsItCame) {
    Arm_Test_Recording(rec, path, 200, 150);
    FramesInMemory frames(200, 150, 7, 80, 123456);
    std::vector<int> percents;
    rec.append_compressed_pass(frames, [&](int p) { percents.push_back(p); });
    EXPECT_FALSE(rec.File_open());

    const std::int32_t d = px3::data_size_for(frames.largest());
    EXPECT_EQ(rec.Rounded_Compressed_Size(), d);
    EXPECT_EQ(rec.reduced_quality_count(), 0);
    EXPECT_EQ(rec.largest_compressed_size(), frames.largest());
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));

    const std::string file = read_whole_file(path).value_or("");
    ASSERT_EQ(static_cast<std::int64_t>(file.size()), 32016 + 7LL * (d + 58));
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 7);
    EXPECT_EQ(reader.sample_size(), d + 58);
    EXPECT_EQ(reader.xml_header().RGB_Image_size(), d);
    EXPECT_EQ(reader.xml_header().Segments_no(), 1);
    EXPECT_EQ(reader.xml_header().RGB_Compressed_max_Size(), frames.largest());
    for (std::int32_t n = 1; n <= 7; ++n) {
        const CompressedFrame& sent = frames.frames[static_cast<std::size_t>(n - 1)];
        reader.Read_RGB_sample(n, true);
        EXPECT_EQ(reader.PX3_Capture_mill(), 123456 + 40 * (n - 1));
        EXPECT_EQ(reader.PX3_Capture_Delta(), 40);
        EXPECT_EQ(reader.PX3_Capture_local(), 45000000 + 40 * (n - 1));
        EXPECT_EQ(reader.PX3_Compression_Quality(), 80);
        ASSERT_EQ(reader.PX3_JPEG_Size(), static_cast<std::int32_t>(sent.jpeg.size()));
        const auto at = static_cast<std::size_t>(px3::frame_offset(n, d + 58) + px3::kDataOffset);
        EXPECT_EQ(file.compare(at, sent.jpeg.size(), std::string(sent.jpeg.begin(), sent.jpeg.end())), 0)
            << "stored as it came";
        EXPECT_FALSE(reader.frame_corrupted());
    }
    expect_verified();
    EXPECT_TRUE(events.empty());
}

TEST_F(CompressedPass, LaterPassStepsAStreamLargerThanTheFixedSizeDown) {
    // A first pass of flat frames fixes a small D; busy frames at quality 95 do not fit it.
    Arm_Test_Recording(rec, path, 320, 240);
    rec.append_compressed_pass(FramesInMemory(320, 240, 3, 80, 1000, true), {});
    const std::int32_t d = rec.Rounded_Compressed_Size();
    FramesInMemory busy(320, 240, 3, 95, 9000);
    ASSERT_GT(busy.largest(), d);
    rec.start_quality(95);
    rec.append_compressed_pass(busy, {});

    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 6);
    EXPECT_EQ(reader.sample_size(), d + 58) << "all records of a file are equal";
    EXPECT_EQ(reader.xml_header().Segments_no(), 2);
    for (std::int32_t n = 1; n <= 3; ++n) {
        // The first of 95, 81, 69, ... at which the stream's picture fits.
        const CompressedFrame& sent = busy.frames[static_cast<std::size_t>(n - 1)];
        cDIBSection picture;
        ASSERT_TRUE(DIB_From_JPG(picture, sent.jpeg.data(), static_cast<std::int32_t>(sent.jpeg.size())));
        std::int32_t expected = 95;
        for (;;) {
            expected = px3::next_lower_quality(expected);
            std::vector<std::uint8_t> out(400000);
            std::int32_t size = 400000;
            JPG_From_DIB(picture, out.data(), size, expected);
            if (size <= d || expected == 1) {
                break;
            }
        }
        reader.Read_RGB_sample(3 + n, true);
        EXPECT_EQ(reader.PX3_Capture_mill(), 9000 + 40 * (n - 1));
        EXPECT_LT(reader.PX3_Compression_Quality(), 95);
        EXPECT_EQ(reader.PX3_Compression_Quality(), expected);
        EXPECT_LE(reader.PX3_JPEG_Size(), d);
        ASSERT_FALSE(reader.frame_corrupted());
        cDIBSection original;
        original.Create(320, 240);
        Render_Test_Picture(original, n - 1);
        EXPECT_LT(testing::mean_difference(reader.frame_bitmap(), original), 20.0) << n;
    }
    EXPECT_EQ(rec.reduced_quality_count(), 3);
    expect_verified();
}

TEST_F(CompressedPass, AStreamThatDoesNotDecodeAndDoesNotFitIsStoredCut) {
    Arm_Test_Recording(rec, path, 160, 120);
    rec.append_compressed_pass(FramesInMemory(160, 120, 3), {});
    const std::int32_t d = rec.Rounded_Compressed_Size();
    FramesInMemory later(160, 120, 3, 80, 9000);
    later.frames[1].jpeg.assign(static_cast<std::size_t>(d) + 500, 0x33);
    rec.append_compressed_pass(later, {});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].find("Frame 2 of " + path), std::string::npos) << events[0];
    EXPECT_EQ(rec.reduced_quality_count(), 1);

    cls_VideoFile_handler reader;
    reader.Open_File(path);
    ASSERT_EQ(reader.num_Frames(), 6);
    reader.Read_RGB_sample(5, true);
    EXPECT_EQ(reader.PX3_JPEG_Size(), d);
    EXPECT_TRUE(reader.frame_corrupted());
    reader.Read_RGB_sample(6, true);
    EXPECT_FALSE(reader.frame_corrupted()) << "the frames around it are whole";
}

// Today's rule of Close_File: a pass of one or two frames is written but not counted. The pass says
// so in the event log; the caller keeps the frames (recovery keeps the spool).
// A capture of two frames (a short press of Capture) loses neither: the pass counts them.
TEST_F(CompressedPass, PassOfTwoFramesIsCounted) {
    Arm_Test_Recording(rec, path, 160, 120);
    rec.append_compressed_pass(FramesInMemory(160, 120, 2), {});
    EXPECT_EQ(rec.xml_header().G_Frames_no(), 2);
    const RecordingCheck check = check_recording(path);
    EXPECT_EQ(check.frames, 2);
    EXPECT_TRUE(check.problems.empty()) << check.problems.front();
}

TEST_F(CompressedPass, RecordsGoOutInLargeWritesAndAFailureAtAnyStepLeavesTheRecordingAsItWas) {
    Arm_Test_Recording(rec, path, 160, 120);
    Append_Test_Frames(rec, CapturedFrames(160, 120, 3, 1000));
    const std::int32_t s = rec.Rounded_Compressed_Size() + 58;
    const std::string bytes = read_whole_file(path).value_or("");
    const std::vector<std::uint8_t> good(bytes.begin(), bytes.end());
    FramesInMemory second(160, 120, 20, 80, 9000);

    {
        MemoryFile disk(good);
        FailingFile counting(disk);
        rec.Open_File(lend(counting), "heat.px3");
        rec.Open_px3_for_Append();
        rec.append_compressed_pass(second, {});
        EXPECT_EQ(counting.calls(Op::write), 2) << "twenty records in one write, then the header";
        EXPECT_EQ(disk.size(), 32016 + 23LL * s);
        const RecordingCheck check = check_recording(disk);
        EXPECT_EQ(check.frames, 23);
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();
    }

    struct Fault {
        const char* what;
        void (*arm)(FailingFile&, std::int32_t s);
        std::string message;
    };
    const Fault faults[] = {
        {"records cannot be written", [](FailingFile& f, std::int32_t) { f.fail(Op::write, 1, EIO); },
         "Cannot write a frame of heat.px3: Input/output error"},
        {"disk full among the records",
         [](FailingFile& f, std::int32_t size) {
             f.disk_full_after(static_cast<std::size_t>(7 * size + 10));
         },
         "Cannot write a frame of heat.px3: No space left on device"},
        {"records cannot be flushed", [](FailingFile& f, std::int32_t) { f.fail(Op::sync, 1, EIO); },
         "Cannot flush heat.px3 to disk: Input/output error"},
        {"header cannot be written", [](FailingFile& f, std::int32_t) { f.fail(Op::write, 2, ENOSPC); },
         "Cannot write the header of heat.px3: No space left on device"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        MemoryFile disk(good);
        FailingFile failing(disk);
        fault.arm(failing, s);
        rec.Open_File(lend(failing), "heat.px3");
        rec.Open_px3_for_Append();
        try {
            rec.append_compressed_pass(second, {});
            FAIL() << "the pass went through";
        } catch (const VeltroError& e) {
            EXPECT_EQ(e.description(), fault.message);
        }
        EXPECT_FALSE(rec.File_open());
        EXPECT_TRUE(std::equal(good.begin(), good.begin() + 32016, disk.bytes().begin()));
        MemoryFile copy(disk.bytes());
        const RecordingCheck check = check_recording(copy);
        EXPECT_EQ(check.frames, 3);
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();

        // The next pass goes behind the counted frames, over what the failed one left.
        rec.Open_File(lend(disk), "heat.px3");
        rec.Open_px3_for_Append();
        rec.append_compressed_pass(FramesInMemory(160, 120, 3, 80, 20000), {});
        EXPECT_EQ(disk.size(), 32016 + 6LL * s);
        cls_VideoFile_handler reader;
        reader.Open_File(std::make_unique<MemoryFile>(disk.bytes()), "check.px3");
        ASSERT_EQ(reader.num_Frames(), 6);
        reader.Read_RGB_sample(6, true);
        EXPECT_EQ(reader.PX3_Capture_mill(), 20080);
        EXPECT_FALSE(reader.frame_corrupted());
    }
}

TEST_F(CompressedPass, AFrameThatCannotBeReadAbandonsThePass) {
    struct Unreadable final : CompressedFrames {
        FramesInMemory frames{160, 120, 5};
        std::int32_t count() const override { return frames.count(); }
        std::int32_t largest() const override { return frames.largest(); }
        void read(std::int32_t index, CompressedFrame& frame) const override {
            if (index == 4)
                throw VeltroError(err::kPathFileAccess, "frame 4 is gone");
            frames.read(index, frame);
        }
    } unreadable;
    Arm_Test_Recording(rec, path, 160, 120);
    const std::string armed = read_whole_file(path).value_or("");
    EXPECT_THROW(rec.append_compressed_pass(unreadable, {}), VeltroError);
    EXPECT_FALSE(rec.File_open());
    cls_VideoFile_handler reader;
    reader.Open_File(path);
    EXPECT_EQ(reader.num_Frames(), 0);
    EXPECT_EQ(read_whole_file(path).value_or("").substr(0, 32016), armed);
}

} // namespace
} // namespace veltro
