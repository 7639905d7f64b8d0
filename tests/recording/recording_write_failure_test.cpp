// Every step of an append pass and of a header rewrite failing as a disk fails: the error names
// the step, the recording keeps its last good state and the object carries on.
#include "failing_file.h"
#include "recording/recording_check.h"
#include "recording_fixture.h"
#include "support/files.h"
#include "support/memory_file.h"
#include "support/veltro_error.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <optional>

namespace veltro {
namespace {

using testing::CapturedFrames;
using testing::FailingFile;
using testing::lend;
using Op = FailingFile::Op;

class RecordingWriteFailure : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    cls_VideoFile_handler rec;
    std::vector<std::uint8_t> good; // armed, then one counted pass of three frames (1000..1080 ms)
    std::int32_t s = 0;
    CapturedFrames second{160, 120, 4, 9000};

    void SetUp() override {
        const std::string path = dir.file("heat.px3");
        Arm_Test_Recording(rec, path, 160, 120);
        Append_Test_Frames(rec, CapturedFrames(160, 120, 3, 1000));
        s = rec.Rounded_Compressed_Size() + 58;
        const std::string bytes = read_whole_file(path).value_or("");
        good.assign(bytes.begin(), bytes.end());
        rec.event_log([](const std::string&) {});
    }

    // One append pass into `file` as the capture end makes it; the first error, if any. The
    // recording is closed afterwards, as the program's next step does.
    std::optional<VeltroError> append_pass(File& file, const CapturedFrames& frames) {
        std::optional<VeltroError> error;
        try {
            rec.Open_File(lend(file), "heat.px3");
            rec.Open_px3_for_Append();
            for (std::int32_t i = 1; i <= frames.count(); ++i) {
                rec.Append_RGB_Frame(i, *frames.frames[static_cast<std::size_t>(i - 1)]);
            }
        } catch (const VeltroError& e) {
            error = e;
        }
        try {
            rec.Close_File();
        } catch (const VeltroError& e) {
            if (!error) {
                error = e;
            }
        }
        EXPECT_FALSE(rec.File_open());
        return error;
    }

    // The reader and px3tool's check both find `frames` sound frames, the last taken at `last_mill`.
    static void expect_sound(const MemoryFile& disk, std::int32_t frames, std::int32_t last_mill) {
        MemoryFile copy(disk.bytes());
        const RecordingCheck check = check_recording(copy);
        EXPECT_EQ(check.frames, frames);
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();
        cls_VideoFile_handler reader;
        reader.Open_File(std::make_unique<MemoryFile>(disk.bytes()), "check.px3");
        ASSERT_EQ(reader.num_Frames(), frames);
        EXPECT_EQ(reader.frames_missing(), 0);
        reader.Read_RGB_sample(frames, true);
        EXPECT_FALSE(reader.frame_corrupted());
        EXPECT_EQ(reader.PX3_Capture_mill(), last_mill);
    }
};

TEST_F(RecordingWriteFailure, AppendPassKeepsTheLastGoodStateAtEveryStep) {
    struct Fault {
        const char* what;
        void (*arm)(FailingFile&, std::int32_t s);
        std::size_t leftover; // bytes of an earlier pass cut short, behind the counted frames
        int number;
        std::string message;
        std::int32_t frames;
        std::int32_t last_mill;
    };
    const Fault faults[] = {
        {"first frame cannot be written", [](FailingFile& f, std::int32_t) { f.fail(Op::write, 1, EIO); }, 0,
         err::kPathFileAccess, "Cannot write a frame of heat.px3: Input/output error", 3, 1080},
        {"disk full inside the second frame",
         [](FailingFile& f, std::int32_t size) {
             f.disk_full_after(static_cast<std::size_t>(size + size / 2));
         },
         0, err::kDiskFull, "Cannot write a frame of heat.px3: No space left on device", 3, 1080},
        // Three whole frames are a pass of their own: they are counted, the torn fourth is not.
        {"disk full inside the fourth frame",
         [](FailingFile& f, std::int32_t size) {
             f.disk_full_after(static_cast<std::size_t>(3 * size + 10));
         },
         0, err::kDiskFull, "Cannot write a frame of heat.px3: No space left on device", 6, 9080},
        {"records cannot be flushed", [](FailingFile& f, std::int32_t) { f.fail(Op::sync, 1, EIO); }, 0,
         err::kPathFileAccess, "Cannot flush heat.px3 to disk: Input/output error", 3, 1080},
        {"header that counts them cannot be written",
         [](FailingFile& f, std::int32_t) { f.fail(Op::write, 5, ENOSPC); }, 0, err::kDiskFull,
         "Cannot write the header of heat.px3: No space left on device", 3, 1080},
        {"records of the earlier pass cannot be cut off",
         [](FailingFile& f, std::int32_t) { f.fail(Op::truncate, 1, EIO); }, 100, err::kPathFileAccess,
         "Cannot prepare heat.px3 for appending: Input/output error", 3, 1080},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        std::vector<std::uint8_t> start = good;
        start.resize(start.size() + fault.leftover, 0x5A);
        MemoryFile disk(start);
        FailingFile failing(disk);
        fault.arm(failing, s);

        const auto error = append_pass(failing, second);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->number(), fault.number);
        EXPECT_EQ(error->description(), fault.message);
        if (fault.frames == 3) {
            EXPECT_TRUE(std::equal(good.begin(), good.begin() + 32016, disk.bytes().begin()))
                << "the header block is the one of the last good pass";
        }
        expect_sound(disk, fault.frames, fault.last_mill);

        // The same object appends the next pass behind the counted frames, over any torn record.
        EXPECT_FALSE(append_pass(disk, CapturedFrames(160, 120, 3, 20000)).has_value());
        expect_sound(disk, fault.frames + 3, 20080);
        EXPECT_EQ(disk.size(), 32016 + static_cast<std::int64_t>(fault.frames + 3) * s);
    }
}

TEST_F(RecordingWriteFailure, ShortWritesStoreTheSameBytes) {
    MemoryFile whole(good);
    MemoryFile pieces(good);
    FailingFile failing(pieces);
    failing.short_writes(1000);
    EXPECT_FALSE(append_pass(whole, second).has_value());
    EXPECT_FALSE(append_pass(failing, second).has_value());
    EXPECT_GT(failing.calls(Op::write), 2 * (second.count() + 1)) << "the writes were cut";
    EXPECT_EQ(pieces.bytes(), whole.bytes());
}

TEST_F(RecordingWriteFailure, FailedHeaderRewriteLeavesTheReviewGoing) {
    MemoryFile disk(good);
    FailingFile failing(disk);
    rec.Open_File(lend(failing), "heat.px3");
    ASSERT_TRUE(rec.File_open());
    rec.Velt_Heat_time(2, false, 23450);

    failing.fail(Op::write, 1, ENOSPC);
    try {
        rec.Write_XML_header();
        FAIL() << "a full disk took the header";
    } catch (const VeltroError& e) {
        EXPECT_EQ(e.number(), err::kDiskFull);
        EXPECT_EQ(e.description(), "Cannot write the header of heat.px3: No space left on device");
    }
    EXPECT_EQ(disk.bytes(), good);
    failing.fail(Op::sync, 1, EIO);
    EXPECT_THROW(rec.Write_XML_header(), VeltroError);

    ASSERT_TRUE(rec.File_open());
    rec.Read_RGB_sample(3, true);
    EXPECT_FALSE(rec.frame_corrupted());
    const int syncs = failing.calls(Op::sync);
    rec.Write_XML_header();
    EXPECT_EQ(failing.calls(Op::sync), syncs + 1) << "on the disk before the call returns";
    rec.Close_File();

    cls_VideoFile_handler reader;
    reader.Open_File(std::make_unique<MemoryFile>(disk.bytes()), "check.px3");
    EXPECT_EQ(reader.Velt_Heat_time(2, false), 23450);
    EXPECT_EQ(reader.num_Frames(), 3);
}

} // namespace
} // namespace veltro
