// Every path that saves part of a recording, driven with the disk failing at each of its write-like
// operations in turn: the header rewrite of the review, the append passes at capture end, the
// timestamp report and the capture spool. A failure is told, the recording opens as it was, and the
// next save stores everything.
#include "compressed_frames.h"
#include "fault_loop.h"
#include "recording/capture_spool.h"
#include "recording/header_journal.h"
#include "recording/recording_check.h"
#include "recording/timestamp_report.h"
#include "recording/uncounted_records.h"
#include "recording_fixture.h"
#include "scoped_env.h"
#include "support/files.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::run_fault_loops;
using testing::SavePath;

std::string description_of(const std::function<void()>& step) {
    try {
        step();
        return {};
    } catch (const VeltroError& e) {
        return e.description();
    }
}

class RecordingSaveFaults : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    testing::ScopedEnv data{"VELTRO_DATA_DIR", dir.file("data")};
    std::string path = dir.file("heat.px3");
    std::string good; // armed, then one counted pass of three frames (1000..1080 ms)
    std::string good_journal;
    std::int32_t s = 0;

    void SetUp() override {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, 160, 120);
        Append_Test_Frames(rec, CapturedFrames(160, 120, 3, 1000));
        s = rec.Rounded_Compressed_Size() + 58;
        good = read_whole_file(path).value_or("");
        good_journal = read_whole_file(journal_path(path)).value_or("");
    }
    // The recording as SetUp left it, its journal with it.
    void restore() const {
        ASSERT_EQ(write_file_atomically(path, good), 0);
        ASSERT_EQ(write_file_atomically(journal_path(path), good_journal), 0);
    }
    std::string bytes() const { return read_whole_file(path).value_or(""); }
    bool journal_failure_told() const {
        return std::any_of(op.messages.begin(), op.messages.end(),
                           [](const auto& m) { return m.text.find(".journal: ") != std::string::npos; });
    }

    // The recording opens for review with `frames` frames, stamped from 1000 ms and then from
    // `second_mill`, and px3tool's check finds nothing wrong.
    void expect_recording(std::int32_t frames, std::int32_t second_mill) const {
        const RecordingCheck check = check_recording(path);
        EXPECT_EQ(check.frames, frames);
        std::vector<std::string> problems = check.problems;
        // A change whose journal entry the disk did not take is still stored, and the operator is
        // told; until the next entry the header is one the journal cannot vouch for.
        if (journal_failure_told()) {
            std::erase(problems, std::string("header text matches no journal entry"));
        }
        EXPECT_TRUE(problems.empty()) << problems.front();
        cls_VideoFile_handler reader;
        reader.Open_File(path);
        ASSERT_EQ(reader.num_Frames(), frames);
        for (std::int32_t n = 1; n <= frames; ++n) {
            reader.Read_RGB_sample(n, true);
            EXPECT_FALSE(reader.frame_corrupted()) << n;
            EXPECT_EQ(reader.PX3_Capture_mill(), n <= 3 ? 1000 + 40 * (n - 1) : second_mill + 40 * (n - 4));
        }
    }
};

TEST_F(RecordingSaveFaults, HeaderRewriteKeepsTheEarlierHeaderAndTheReviewGoesOn) {
    cls_VideoFile_handler rec;
    SavePath save;
    save.prepare = [&] {
        rec.Close_File();
        restore();
        rec.Open_File(path);
        ASSERT_EQ(rec.num_Frames(), 3);
        rec.Velt_Heat_time(2, false, 23450);
        rec.Velt_Dog_name(3, "Fast Lady of Kilkenny");
    };
    save.save = [&] { return description_of([&] { rec.Write_XML_header(); }); };
    save.expect_earlier = [&] {
        cls_VideoFile_handler reader;
        reader.Open_File(path);
        EXPECT_EQ(reader.num_Frames(), 3);
        EXPECT_EQ(reader.Velt_Dog_name(3), "dog name");
        EXPECT_TRUE(bytes() == good) << "the file changed";
        ASSERT_TRUE(rec.File_open());
        rec.Read_RGB_sample(3, true);
        EXPECT_FALSE(rec.frame_corrupted());
    };
    save.expect_saved = [&] {
        cls_VideoFile_handler reader;
        reader.Open_File(path);
        EXPECT_EQ(reader.Velt_Heat_time(2, false), 23450);
        EXPECT_EQ(reader.Velt_Dog_name(3), "Fast Lady of Kilkenny");
        EXPECT_EQ(reader.num_Frames(), 3);
        EXPECT_TRUE(bytes().substr(32016) == good.substr(32016)) << "the frames changed";
    };
    save.must_mention = "heat.px3";
    run_fault_loops(save, testing::write_and_sync_faults());
}

// Both passes at capture end: the compressed frames of a capture pass (after the header write the
// capture session makes before it), and raw frames one by one. A failed pass is abandoned; the next
// one starts again from the counted frames.
TEST_F(RecordingSaveFaults, AppendPassesKeepTheFramesOfTheLastCompletedPass) {
    const testing::FramesInMemory compressed(160, 120, 5, 80, 9000);
    const CapturedFrames raw(160, 120, 5, 9000);
    cls_VideoFile_handler rec;
    rec.event_log([](const std::string&) {});
    rec.Cropped_X(160);
    rec.Cropped_Y(120);
    const std::function<void()> passes[] = {
        [&] {
            rec.Close_File();
            rec.Write_XML_header();
            rec.append_compressed_pass(compressed, {});
        },
        [&] {
            try {
                rec.Open_px3_for_Append();
                for (std::int32_t i = 1; i <= raw.count(); ++i) {
                    rec.Append_RGB_Frame(i, *raw.frames[static_cast<std::size_t>(i - 1)]);
                }
                rec.Close_File();
            } catch (const VeltroError&) {
                rec.abandon_append();
                throw;
            }
        },
    };
    for (const auto& pass : passes) {
        SCOPED_TRACE(&pass == &passes[0] ? "compressed pass" : "raw frames");
        SavePath save;
        save.prepare = [&] {
            rec.abandon_append();
            restore();
            // The header in memory, as the heat that captured into it holds it.
            rec.Open_File(path);
            rec.Close_File();
        };
        save.save = [&] { return description_of(pass); };
        save.expect_earlier = [&] {
            EXPECT_FALSE(rec.File_open());
            expect_recording(3, 0);
        };
        save.expect_saved = [&] {
            expect_recording(8, 9000);
            EXPECT_EQ(bytes().size(), 32016 + 8u * static_cast<std::size_t>(s));
        };
        save.must_mention = "heat.px3";
        run_fault_loops(save, testing::write_and_sync_faults());
    }
}

// The disk fills half-way through the records of a pass: the review shows the frames of the last
// pass that finished and tells why the others are missing; px3tool's check counts them, and they
// are counted only when every one is sound.
TEST_F(RecordingSaveFaults, ADiskThatFillsInAPassLeavesTheLastCompletedPassAndSaysWhy) {
    cls_VideoFile_handler rec;
    rec.event_log([](const std::string&) {});
    rec.File_name(path);
    {
        testing::FaultGuard guard;
        fault_injection::arm(1, {fault_injection::Kind::short_write, ENOSPC, 0});
        const std::string told = description_of(
            [&] { rec.append_compressed_pass(testing::FramesInMemory(160, 120, 5, 80, 9000), {}); });
        EXPECT_TRUE(fault_injection::fired());
        EXPECT_EQ(told, "Cannot write a frame of " + path + ": No space left on device");
    }
    EXPECT_EQ(check_recording(path).behind.records, 2) << "two and a half records reached the disk";
    expect_recording(3, 0);
    EXPECT_EQ(op.last_message(),
              "This recording holds 2 frames past the 3 its header counts: the capture "
              "pass that wrote them did not finish (a full disk, or the program ended). They "
              "are not shown; px3tool recover adds them.");

    // A damaged record among them: none is counted, and the file stays as it is.
    std::string damaged = bytes();
    damaged[32016 + 4 * static_cast<std::size_t>(s) + 1] = 'X';
    ASSERT_EQ(write_file_atomically(path, damaged), 0);
    const RecordsRecovery refused = recover_uncounted_records(path);
    EXPECT_EQ(refused.frames, 0);
    EXPECT_EQ(refused.message, "The records behind the 3 counted frames of " + path +
                                   " cannot be counted: record 2 behind the counted frames (at byte " +
                                   std::to_string(32016 + 4 * s) +
                                   ") does not begin with \"RGBS\"; nothing changed");
    EXPECT_TRUE(bytes() == damaged);

    damaged[32016 + 4 * static_cast<std::size_t>(s) + 1] = 'G';
    ASSERT_EQ(write_file_atomically(path, damaged), 0);
    const RecordsRecovery counted = recover_uncounted_records(path);
    EXPECT_EQ(counted.frames, 2) << counted.message;
    expect_recording(5, 9000);
    EXPECT_EQ(bytes().size(), 32016 + 5u * static_cast<std::size_t>(s)) << "the torn record is cut off";
}

TEST_F(RecordingSaveFaults, TimestampReportKeepsTheEarlierReport) {
    std::filesystem::create_directory(dir.file("reports"));
    const std::string report = dir.file("reports/frame_report.csv");
    const std::string earlier = "\" Timestamp report for file: heat.px3\"\r\n";
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    SavePath save;
    save.prepare = [&] {
        ASSERT_EQ(write_file_atomically(report, earlier), 0);
        op.messages.clear();
    };
    save.save = [&] { return description_of([&] { write_timestamp_report(rec, report); }); };
    save.expect_earlier = [&] {
        EXPECT_EQ(read_whole_file(report), earlier);
        EXPECT_EQ(testing::files_in(dir.file("reports")), std::set<std::string>{"frame_report.csv"});
        EXPECT_TRUE(op.messages.empty()) << op.last_message();
    };
    save.expect_saved = [&] {
        EXPECT_EQ(read_whole_file(report), timestamp_report_text(rec));
        EXPECT_EQ(op.last_message(), "Timestamp report written at; " + report);
    };
    save.must_mention = report;
    run_fault_loops(save, testing::write_and_sync_faults());
}

// The spool never loses a frame: what the file does not take is kept in memory, and every frame
// reads back as it was given, from the file or from memory.
TEST_F(RecordingSaveFaults, SpoolKeepsInMemoryWhatTheDiskDoesNotTake) {
    const std::string spool = spool_path(path);
    std::vector<CompressedFrame> given;
    for (std::int32_t n = 0; n < 12; ++n) {
        given.push_back(testing::compressed_test_frame(160, 120, n));
    }
    auto expect_frame = [&](const CompressedFrames& frames, std::int32_t index) {
        CompressedFrame frame;
        frames.read(index, frame);
        const CompressedFrame& want = given[static_cast<std::size_t>(index - 1)];
        EXPECT_EQ(frame.jpeg, want.jpeg) << index;
        EXPECT_EQ(frame.capture_mill, want.capture_mill) << index;
    };
    std::unique_ptr<SpoolWriter> writer;
    SavePath save;
    save.prepare = [&] {
        writer.reset();
        std::filesystem::remove(spool);
        writer = std::make_unique<SpoolWriter>(spool, SpoolHead{160, 120, 80, 0, 0});
        for (std::size_t n = 0; n < 3; ++n) {
            writer->append(given[n]);
        }
        writer->flush();
    };
    // Three more frames and a flush, as a second of capture brings them; the failure it met, if any.
    save.save = [&] {
        const std::string before = writer->failure();
        const auto from = static_cast<std::size_t>(writer->count());
        for (std::size_t n = from; n < from + 3; ++n) {
            writer->append(given[n]);
        }
        writer->flush();
        return writer->failure() == before ? std::string() : writer->failure();
    };
    save.expect_earlier = [&] {
        const SpoolReader file(spool);
        ASSERT_GE(file.count(), 3) << file.damage();
        for (std::int32_t n = 1; n <= file.count(); ++n) {
            expect_frame(file, n);
        }
        ASSERT_EQ(writer->count(), 6);
        for (std::int32_t n = 1; n <= 6; ++n) {
            expect_frame(*writer, n);
        }
    };
    save.expect_saved = [&] {
        for (std::int32_t n = 1; n <= writer->count(); ++n) {
            expect_frame(*writer, n);
        }
        const SpoolReader file(spool);
        EXPECT_GE(file.count(), 3);
        for (std::int32_t n = 1; n <= file.count(); ++n) {
            expect_frame(file, n);
        }
    };
    save.must_mention = spool;
    run_fault_loops(save, testing::write_and_sync_faults());
}

} // namespace
} // namespace veltro
