// px3tool as scripts run it: exit status, what it says on stderr, and what it leaves in the file.
#include "events/event_document.h"
#include "file_size_limit.h"
#include "local_time.h"
#include "recording/capture_spool.h"
#include "recording/compressed_frames.h"
#include "recording/finish_strip.h"
#include "recording/header_journal.h"
#include "recording/recording_fixture.h"
#include "scoped_env.h"
#include "support/files.h"
#include "timing/heat_timing.h"
#include "timing/heat_values.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltro {
namespace {

struct ToolRun {
    int status = -1;
    std::string err;
    std::string out;
};

class Px3Tool : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    std::string path = dir.file("heat.px3");

    void SetUp() override {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, 160, 120, true, "1000");
        Append_Test_Frames(rec, testing::CapturedFrames(160, 120, 3));
    }
    // Runs px3tool with `arguments`, its standard output into `stdout_to` (a file of its own unless
    // given).
    ToolRun run(const std::string& arguments, const std::string& stdout_to = "") const {
        const std::string err = dir.file("stderr.txt");
        const std::string out = stdout_to.empty() ? dir.file("stdout.txt") : stdout_to;
        const std::string command =
            std::string(PX3TOOL_PATH) + " " + arguments + " >'" + out + "' 2>'" + err + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_whole_file(err).value_or(""),
                stdout_to.empty() ? read_whole_file(out).value_or("") : ""};
    }
    std::string bytes() const { return read_whole_file(path).value_or(""); }
};

TEST_F(Px3Tool, SetTimeRefusesNegativeTimesAndTheNoTimeCodesAsNumbers) {
    const std::string before = bytes();
    for (const char* ms : {"-10", "888886", "888888", "999999"}) {
        const ToolRun r = run("set-time '" + path + "' 2 " + ms);
        EXPECT_NE(r.status, 0) << ms;
        EXPECT_NE(r.err.find(std::string("MS ") + ms + " is outside 0..888885"), std::string::npos) << r.err;
        EXPECT_EQ(bytes(), before) << ms;
    }
    const ToolRun ok = run("set-time '" + path + "' 2 888885");
    EXPECT_EQ(ok.status, 0) << ok.err;
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    EXPECT_EQ(rec.Velt_Heat_time(2, false), 888885);
}

TEST_F(Px3Tool, SetDogAndSetTimeRewriteTheHeaderAndAReadOnlyFileIsRefused) {
    EXPECT_EQ(run("set-dog '" + path + "' 3 'Fast Lady'").status, 0);
    EXPECT_EQ(run("set-time '" + path + "' 3 26410 --dead-heat").status, 0);
    EXPECT_EQ(run("set-time '" + path + "' 3 12020 --split").status, 0);
    EXPECT_EQ(run("set-time '" + path + "' 5 0 --no-time DNF").status, 0);
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        EXPECT_EQ(rec.Velt_Dog_name(3), "Fast Lady");
        EXPECT_EQ(rec.Velt_Heat_time(3, false), 26410);
        EXPECT_EQ(rec.Velt_Heat_time(3, true), 12020);
        EXPECT_TRUE(rec.Velt_dead_heat(3));
        EXPECT_EQ(rec.Velt_Heat_time(5, false), no_time::kDidNotFinish);
    }
    EXPECT_NE(run("set-dog '" + path + "' 9 Rex").status, 0);
    EXPECT_NE(run("set-time '" + path + "' 3 100 --split --dead-heat").status, 0);

    // A name with a stray byte is refused, not stored without it.
    const ToolRun stray = run("set-dog '" + path + "' 3 \"$(printf 'R\\377x')\"");
    EXPECT_EQ(stray.status, 1);
    EXPECT_NE(stray.err.find("NAME is not valid UTF-8"), std::string::npos) << stray.err;

    // Refused by the file's own bits, root or not.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    const std::string before = bytes();
    for (const std::string& command : {"set-dog '" + path + "' 3 Rex", "set-time '" + path + "' 3 30000"}) {
        const ToolRun r = run(command);
        EXPECT_NE(r.status, 0) << command;
        EXPECT_NE(r.err.find("read only"), std::string::npos) << r.err;
    }
    EXPECT_EQ(bytes(), before);
}

// Six scripts at once, one box each, fifty times over: every time is kept, every script says so, and
// none tells of a change cut short.
TEST_F(Px3Tool, SixConcurrentSetTimesOnSixBoxesKeepAllSixTimes) {
    for (int round = 1; round <= 50; ++round) {
        const std::string command = "cd '" + dir.path().string() + "' && for b in 1 2 3 4 5 6; do ('" +
                                    PX3TOOL_PATH + "' set-time '" + path + "' $b $((" +
                                    std::to_string(round * 1000) +
                                    " + b)) >/dev/null 2>err$b; echo $? >status$b) & done; wait";
        ASSERT_EQ(std::system(command.c_str()), 0);
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        for (std::int16_t box = 1; box <= 6; ++box) {
            const std::string b = std::to_string(box);
            ASSERT_EQ(read_whole_file(dir.file("status" + b)).value_or(""), "0\n") << round << " box " << b;
            ASSERT_EQ(read_whole_file(dir.file("err" + b)).value_or("?"), "") << round << " box " << b;
            ASSERT_EQ(rec.Velt_Heat_time(box, false), round * 1000 + box) << round << " box " << b;
        }
        ASSERT_TRUE(op.messages.empty()) << op.last_message();
    }
}

// A frame is exported from its own record, whatever became of the records behind it.
TEST_F(Px3Tool, ExportReadsAFrameOfAFileCutShort) {
    std::int32_t sample_size = 0;
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        sample_size = rec.sample_size();
    }
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(32016 + 2LL * sample_size + 100));
    const std::string out = dir.file("frame2.png");
    const ToolRun r = run("export '" + path + "' --frame 2 -o '" + out + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_whole_file(out).value_or("").starts_with("\x89PNG"));
}

// The strip has one column of 4 pixels per field and a row per pixel of the recording's finish line
// (the split line with --split) over the time scale. A file that is no recording leaves no picture.
TEST_F(Px3Tool, StripWritesAColumnPerPictureAlongTheStoredLineAndNothingForABadFile) {
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        rec.Velt_Goal_Finish("40,10,40,110");
        rec.Velt_Goal_Split("20,30,100,30");
        rec.Write_XML_header();
    }
    auto png_size = [](const std::string& png) {
        auto be32 = [&](std::size_t at) {
            return static_cast<std::int32_t>(
                static_cast<std::uint8_t>(png[at]) << 24 | static_cast<std::uint8_t>(png[at + 1]) << 16 |
                static_cast<std::uint8_t>(png[at + 2]) << 8 | static_cast<std::uint8_t>(png[at + 3]));
        };
        return png.size() > 24 && png.starts_with("\x89PNG") ? std::pair{be32(16), be32(20)}
                                                             : std::pair{0, 0};
    };
    const std::string out = dir.file("strip.png");
    ToolRun r = run("strip '" + path + "' -o '" + out + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(png_size(read_whole_file(out).value_or("")), (std::pair{6 * 4, 101 + kStripScaleHeight}));
    r = run("strip '" + path + "' --split --compensation 0 -o '" + out + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(png_size(read_whole_file(out).value_or("")), (std::pair{6 * 4, 81 + kStripScaleHeight}));

    for (const char* bad : {"-o x.jpg", "", "--compensation soon -o x.png", "-o"}) {
        EXPECT_EQ(run("strip '" + path + "' " + bad).status, 2) << bad;
    }
    const std::string text = dir.file("notes.px3");
    std::ofstream(text) << std::string(40000, 'x');
    const std::string none = dir.file("none.png");
    for (const std::string& file : {text, dir.file("missing.px3")}) {
        r = run("strip '" + file + "' -o '" + none + "'");
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_NE(r.err.find("px3tool strip: "), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(none)) << file;
    }
}

TEST_F(Px3Tool, BenchPrintsTheReportOfEveryPictureSizeAndTakesNoArguments) {
    const std::string out = dir.file("stdout.txt");
    const int raw = std::system((std::string(PX3TOOL_PATH) + " bench >'" + out + "' 2>/dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    const std::string report = read_whole_file(out).value_or("");
    EXPECT_EQ(report.rfind("JPG compression benchmark at: ", 0), 0u) << report;
    for (const char* caption : {"400*880", "600*1080", "576*720"})
        EXPECT_NE(report.find(std::string("\r\n") + caption + " =  "), std::string::npos) << caption;
    EXPECT_NE(report.find("ms\r\n---Report end---\r\n"), std::string::npos);

    const ToolRun extra = run("bench --fast");
    EXPECT_EQ(extra.status, 2);
    EXPECT_NE(extra.err.find("bench takes no arguments"), std::string::npos) << extra.err;
}

TEST_F(Px3Tool, MeasureDelayPrintsTheDemoCamerasDelayOrThatNoChangeWasFound) {
    const ToolRun measured = run("measure-delay --demo --format '1920*1080/50'");
    EXPECT_EQ(measured.status, 0) << measured.err;
    // The demo's 200 ms, the integer stamps' half millisecond below, the flashes a third of 20 ms apart.
    EXPECT_EQ(measured.out, "capture delay 199.5 ms \u00b1 5.9 ms (20 flashes)\n");
    const ToolRun blind = run("measure-delay --demo --flashes 4 --box 10,10,12,12");
    EXPECT_EQ(blind.status, 1) << blind.err;
    EXPECT_EQ(blind.out, "no change found\n");
    EXPECT_EQ(run("measure-delay").status, 2);
    EXPECT_EQ(run("measure-delay --demo --flashes 1").status, 2);
    EXPECT_EQ(run("measure-delay --demo --box 390,10,12,12").status, 1); // beyond the 400 columns
}

// The recovery a script runs: 0 when the spool's frames are stored (or were already), 1 when nothing
// could be recovered, 2 for a wrong call; what happened in one line.
TEST_F(Px3Tool, RecoverAppendsTheFramesOfASpoolAndSaysWhatItDid) {
    const std::string spool = spool_path(path);
    const std::string out = dir.file("stdout.txt");
    auto recover = [&](const std::string& file) {
        const std::string command = std::string(PX3TOOL_PATH) + " recover '" + file + "' >'" + out + "' 2>'" +
                                    dir.file("stderr.txt") + "'";
        const int raw = std::system(command.c_str());
        return std::make_pair(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1,
                              read_whole_file(out).value_or("") +
                                  read_whole_file(dir.file("stderr.txt")).value_or(""));
    };
    std::int32_t d = 0;
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        d = rec.sample_size() - 58;
    }
    {
        SpoolWriter writer(spool, SpoolHead{160, 120, 80, d, 3});
        for (std::int32_t n = 0; n < 4; ++n)
            writer.append(testing::compressed_test_frame(160, 120, n, 80, 60000));
    }
    // A recording sound in itself is not whole while frames of its capture wait in a spool.
    const ToolRun waiting = run("verify '" + path + "'");
    EXPECT_EQ(waiting.status, 1);
    EXPECT_EQ(waiting.out, path + ": 4 frames wait in the spool " + spool +
                               " and are not in the recording yet; px3tool recover adds them\n");
    auto [status, said] = recover(path);
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(said, "Recovered 4 frames of " + path + " from an interrupted capture\n");
    EXPECT_FALSE(std::filesystem::exists(spool));
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        EXPECT_EQ(rec.num_Frames(), 7);
    }

    EXPECT_EQ(run("verify '" + path + "'").out, path + ": sound, 7 frames\n");
    std::tie(status, said) = recover(path);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(said, "px3tool recover: Nothing to recover: " + path +
                        " has no spool and no whole records behind the 7 counted frames of " + path + "\n");

    // Named by its spool, a spool whose frames are counted already is removed.
    { SpoolWriter writer(spool, SpoolHead{160, 120, 80, d, 3}); }
    std::tie(status, said) = recover(spool);
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("are in the recording already; the spool is removed"), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists(spool));

    { SpoolWriter writer(spool, SpoolHead{320, 240, 80, 0, 7}); }
    const std::string before = bytes();
    std::tie(status, said) = recover(path);
    EXPECT_EQ(status, 1);
    EXPECT_NE(said.find("holds pictures of 320 x 240"), std::string::npos) << said;
    EXPECT_TRUE(std::filesystem::exists(spool));
    EXPECT_EQ(bytes(), before);

    const ToolRun usage = run("recover");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("recover takes one FILE"), std::string::npos) << usage.err;
}

// The heat's history as the operator reads it: every change of the results in order, each at the
// time of day it was made; the frames passes and the other header rewrites say nothing.
TEST_F(Px3Tool, HistoryListsTheChangesOfTheResultsInOrder) {
    const std::string heat = dir.file("heat 2.px3");
    int seconds = 14 * 3600 + 3 * 60;
    cls_VideoFile_handler rec;
    rec.journal_clock([&seconds] {
        LocalTime t;
        t.tm = testing::local_time(2024, 5, 1, seconds / 3600, seconds / 60 % 60, seconds % 60);
        seconds += 7;
        return t;
    });
    Arm_Test_Recording(rec, heat, 64, 48, true, "1000");
    Append_Test_Frames(rec, testing::CapturedFrames(64, 48, 3));
    rec.Open_File(heat);
    rec.Velt_Dog_name(3, "Fast Lady");
    rec.Write_XML_header();
    ManualClock clock;
    HeatTiming timing(clock);
    timing.set_recording(&rec);
    const std::int32_t times[] = {23450, 23910, 24030, 24110, 25020, 26400};
    for (std::int16_t box = 1; box <= 6; ++box)
        timing.Set_Time(box, times[box - 1], false);
    timing.Set_Time(2, 23920, false); // the correction
    timing.dead_heat = true;
    timing.Set_Time(5, 24110, false);
    timing.no_time = true;
    timing.no_time_caption = "DNF";
    timing.Set_Time(6, 0, false);
    timing.Set_Time(1, 12020, true);
    rec.Close_File();

    const ToolRun r = run("history '" + heat + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "14:03:35  box 3 dog name (none) -> \"Fast Lady\"\n"
                     "14:03:42  box 1 finish time none -> 23,45\n"
                     "14:03:49  box 2 finish time none -> 23,91\n"
                     "14:03:56  box 3 finish time none -> 24,03\n"
                     "14:04:03  box 4 finish time none -> 24,11\n"
                     "14:04:10  box 5 finish time none -> 25,02\n"
                     "14:04:17  box 6 finish time none -> 26,40\n"
                     "14:04:24  box 2 finish time 23,91 -> 23,92\n"
                     "14:04:31  box 5 finish time 25,02 -> 24,11\n"
                     "14:04:31  box 5 dead heat set\n"
                     "14:04:38  box 6 finish time 26,40 -> did not finish\n"
                     "14:04:45  box 1 split time none -> 12,02\n");

    // A torn last entry is passed over and said on stderr; its change, whole in the recording, is
    // dated by the recording's own update time and marked.
    std::filesystem::resize_file(journal_path(heat), std::filesystem::file_size(journal_path(heat)) - 4);
    const ToolRun torn = run("history '" + heat + "'");
    EXPECT_EQ(torn.status, 0);
    const std::string kept = r.out.substr(0, r.out.rfind("14:04:45"));
    EXPECT_EQ(torn.out.substr(0, kept.size()), kept);
    EXPECT_EQ(torn.out.substr(kept.size() + 8),
              "  box 1 split time none -> 12,02 (stored without its journal entry)\n");
    EXPECT_NE(torn.err.find("belong to no complete entry"), std::string::npos) << torn.err;

    std::filesystem::remove(journal_path(heat));
    const ToolRun none = run("history '" + heat + "'");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "px3tool history: " + heat + " has no journal (" + heat +
                            ".journal cannot be read) (error 53)\n");
    EXPECT_EQ(run("history").status, 2);
}

// The frames of a capture for a pass that is killed in the middle: reading frame `block_at` tells
// `signal_fd` and then waits on `wait_fd` for good. Frame n shows picture n % 3, stamped 40 ms apart.
class BlockingFrames final : public CompressedFrames {
public:
    BlockingFrames(std::int32_t count, std::int32_t first_mill, std::int32_t block_at = 0, int signal_fd = -1,
                   int wait_fd = -1)
        : count_(count), first_mill_(first_mill), block_at_(block_at), signal_fd_(signal_fd),
          wait_fd_(wait_fd) {}
    std::int32_t count() const override { return count_; }
    std::int32_t largest() const override { return pictures_.largest(); }
    void read(std::int32_t index, CompressedFrame& frame) const override {
        char byte = 'k';
        if (index == block_at_ && (::write(signal_fd_, &byte, 1) != 1 || ::read(wait_fd_, &byte, 1) <= 0)) {
            _exit(3); // the test has gone: nothing is left to wait for
        }
        pictures_.read(index % 3 + 1, frame);
        frame.capture_mill = first_mill_ + 40 * (index - 1);
    }

private:
    testing::FramesInMemory pictures_{640, 480, 3, 95};
    std::int32_t count_;
    std::int32_t first_mill_;
    std::int32_t block_at_;
    int signal_fd_;
    int wait_fd_;
};

// A process killed in the middle of an append pass, with no spool to recover from: its whole records
// stay behind the counted frames. verify names them, the review says why they are not shown, and
// recover counts them from the records alone.
TEST_F(Px3Tool, RecordsOfAPassKilledMidwayAreReportedByVerifyAndCountedByRecover) {
    const std::string killed = dir.file("killed.px3");
    const std::string out = dir.file("stdout.txt");
    auto tool = [&](const std::string& command) {
        const int raw = std::system(
            (std::string(PX3TOOL_PATH) + " " + command + " '" + killed + "' >'" + out + "' 2>&1").c_str());
        return std::make_pair(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_whole_file(out).value_or(""));
    };
    std::int32_t s = 0;
    {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, killed, 640, 480);
        rec.append_compressed_pass(BlockingFrames(3, 1000), {});
        s = rec.sample_size();
    }
    ASSERT_GT(s, 40000) << "records large enough for a pass to write them some tens at a time";

    int signal[2];
    int release[2];
    ASSERT_EQ(::pipe(signal), 0);
    ASSERT_EQ(::pipe(release), 0);
    const BlockingFrames frames(100, 70000, 60, signal[1], release[0]);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(signal[0]);
        ::close(release[1]);
        try {
            cls_VideoFile_handler rec;
            rec.event_log([](const std::string&) {});
            rec.File_name(killed);
            rec.append_compressed_pass(frames, {});
        } catch (...) {
        }
        _exit(4); // the pass was to be killed before its end
    }
    ::close(signal[1]);
    ::close(release[0]);
    char ready = 0;
    const ssize_t got = ::read(signal[0], &ready, 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(signal[0]);
    ::close(release[1]);
    ASSERT_EQ(got, 1) << "the pass ended before it read frame 60";
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    // Killed inside a write: the last record is torn.
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(killed));
    std::filesystem::resize_file(killed, static_cast<std::uintmax_t>(size - 100));
    const std::int32_t whole = static_cast<std::int32_t>((size - 100 - 32016) / s) - 3;
    ASSERT_GE(whole, 2);
    ASSERT_LT(whole, 59);

    auto [status_verify, said] = tool("verify");
    EXPECT_EQ(status_verify, 1);
    EXPECT_EQ(said, killed + ": " + std::to_string(whole) +
                        " complete records past the 3 frames the header counts: run px3tool recover\n");
    {
        cls_VideoFile_handler rec;
        rec.Open_File(killed);
        EXPECT_EQ(rec.num_Frames(), 3);
        EXPECT_NE(op.last_message().find(std::to_string(whole) + " frames past the 3 its header counts"),
                  std::string::npos)
            << op.last_message();
    }

    std::tie(status_verify, said) = tool("recover");
    EXPECT_EQ(status_verify, 0) << said;
    EXPECT_EQ(said, "Counted the " + std::to_string(whole) +
                        " frames a pass that did not finish left behind the 3 counted frames of " + killed +
                        "\n");
    std::tie(status_verify, said) = tool("verify");
    EXPECT_EQ(status_verify, 0) << said;
    EXPECT_EQ(said, killed + ": sound, " + std::to_string(3 + whole) + " frames\n");
    cls_VideoFile_handler rec;
    rec.Open_File(killed);
    ASSERT_EQ(rec.num_Frames(), 3 + whole);
    for (const std::int32_t n : {3, 4, 3 + whole}) {
        rec.Read_RGB_sample(n, true);
        EXPECT_FALSE(rec.frame_corrupted()) << n;
        EXPECT_EQ(rec.PX3_Capture_mill(), n <= 3 ? 1000 + 40 * (n - 1) : 70000 + 40 * (n - 4)) << n;
    }
}

// The ranked result as scripts read it: without --lengths exactly the clipboard text, with it each
// result line ends in a tab and the distance to the dog in front, at the setting of the data folder.
TEST_F(Px3Tool, ResultsWithLengthsAddTheDistanceToEachLine) {
    const testing::ScopedEnv data("VELTRO_DATA_DIR", dir.file("data"));
    std::filesystem::create_directories(dir.file("data"));
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        const char* dogs[] = {"Fast Lady", "Slow Joe", "Red Comet", "Blue Moon", "Sandy", "Tiger"};
        for (std::int16_t box = 1; box <= 6; ++box)
            rec.Velt_Dog_name(box, dogs[box - 1]);
        const std::int32_t times[] = {23450, 23520, 23450, 888886, 0, 30000};
        for (std::int16_t box = 1; box <= 6; ++box) {
            rec.Velt_Heat_time(box, false, times[box - 1]);
            rec.Velt_Heat_Click_Time(box, box);
        }
        rec.Velt_dead_heat(3, true);
        rec.Velt_Heat_time(2, true, 12020);
        rec.Write_XML_header();
    }
    const ToolRun plain = run("results '" + path + "'");
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out,
              "Heat1\r\n1\tFast Lady\t23,45\r\n1\tRed Comet\t23,45\r\n3\tSlow Joe\t23,52\t12,02\r\n"
              "4\tTiger\t30,00\r\n---\tBlue Moon\tDNF\t---,---\r\n---\tSandy\t---,---\t---,---\r\n");

    const ToolRun lengths = run("results '" + path + "' --lengths");
    EXPECT_EQ(lengths.status, 0) << lengths.err;
    EXPECT_EQ(lengths.out, "Heat1\r\n1\tFast Lady\t23,45\t\r\n1\tRed Comet\t23,45\tDH\r\n"
                           "3\tSlow Joe\t23,52\t12,02\t1\r\n4\tTiger\t30,00\tDIS\r\n"
                           "---\tBlue Moon\tDNF\t---,---\t\r\n---\tSandy\t---,---\t---,---\t\r\n");

    // At 0.1 s a length, 70 ms is 3/4 of one.
    std::ofstream(dir.file("data/Veltro_HDMI.ini")) << "[Settings]\nseconds_per_length=0.1\n";
    EXPECT_NE(run("results '" + path + "' --lengths").out.find("\t23,52\t12,02\t3/4\r\n"), std::string::npos);
}

// The card import as scripts use it: the preview lines, the exit status, and the event file written
// only with --apply and only when every line was taken.
TEST_F(Px3Tool, CardPreviewsAppliesAndSaysWhatItRejected) {
    const std::string event = dir.file("Spring Cup 2026_06_12.xml");
    const std::string good = dir.file("good.csv");
    const std::string bad = dir.file("bad.csv");
    {
        std::ofstream(good) << "Race;Trap;Greyhound;Trainer\n1;1;Rex;J Smith\n1;2;\"Max; Jr\";\n";
        std::ofstream(bad) << "Heat,Box,Dog\nl,1,Rex\n1,2,Max\n";
    }
    const ToolRun preview = run("card '" + good + "' --event '" + event + "'");
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(preview.out, "1;1;Rex;new\n1;2;Max; Jr;new\n");
    EXPECT_FALSE(std::filesystem::exists(event));

    EXPECT_EQ(run("card '" + good + "' --event '" + event + "' --apply").status, 0);
    EventDocument doc;
    doc.load(read_whole_file(event).value());
    EXPECT_EQ(doc.dog_name(1, 2), "Max; Jr");
    EXPECT_EQ(run("card '" + good + "' --event '" + event + "'").out,
              "1;1;Rex;unchanged\n1;2;Max; Jr;unchanged\n");

    const std::string before = read_whole_file(event).value();
    const ToolRun rejected = run("card '" + bad + "' --event '" + event + "' --apply");
    EXPECT_EQ(rejected.status, 1);
    EXPECT_EQ(rejected.out, "1;2;Max;changed\nline 2: heat \"l\" is not a number in 1..100\n");
    EXPECT_EQ(read_whole_file(event).value(), before);

    EXPECT_EQ(run("card '" + dir.file("missing.csv") + "'").status, 2);
    EXPECT_EQ(run("card '" + dir.path().string() + "'").status, 2);
    EXPECT_EQ(run("card '" + good + "' --apply").status, 2);
}

// Every command that writes tells when its output could not be written, with status 1: standard
// output on a full disk, the file of -o on a full disk, a disk that fills up under a folder's files.
TEST_F(Px3Tool, EveryCommandThatWritesFailsWithStatus1WhenItsOutputCannotBeWritten) {
    ASSERT_EQ(run("set-time '" + path + "' 1 2000").status, 0); // a journal for history
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        SpoolWriter writer(spool_path(path), SpoolHead{160, 120, 80, rec.sample_size() - 58, 3});
        writer.append(testing::compressed_test_frame(160, 120, 0, 80, 60000));
    }
    std::filesystem::create_directories(dir.file("event"));
    const std::string p = "'" + path + "' ";
    for (const std::string& command :
         {"info " + p, "info " + p + "--json", "verify " + p, "history " + p, "results " + p,
          "results " + p + "--format csv", "results " + p + "--format json", "set-dog " + p + "1 Rex",
          "set-time " + p + "1 2010", "report " + p + "-o '" + dir.file("r.csv") + "'",
          "export " + p + "--frame 1 -o '" + dir.file("x.png") + "'",
          "strip " + p + "-o '" + dir.file("s.png") + "'",
          "event-results '" + dir.path().string() + "' -o '" + dir.file("event/cup") + "'",
          "evidence " + p + "-o '" + dir.file("pack") + "'", "demo '" + dir.file("demo.px3") + "' --fast",
          "recover " + p, std::string("bench"), std::string("--help"), std::string("--version")}) {
        const ToolRun r = run(command, "/dev/full");
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("cannot write standard output: No space left on device"), std::string::npos)
            << command << ": " << r.err;
        std::filesystem::remove_all(dir.file("pack"));
    }
    for (const std::string& command : {"info " + p, "history " + p, "results " + p, "report " + p}) {
        const ToolRun r = run(command + " -o /dev/full");
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("Could not write /dev/full: No space left on device"), std::string::npos)
            << command << ": " << r.err;
    }
    // A disk that fills up under the files of event-results and evidence: nothing half-written stays.
    std::filesystem::remove_all(dir.file("event"));
    std::filesystem::create_directories(dir.file("event"));
    for (const std::string& command :
         {"event-results '" + dir.path().string() + "' -o '" + dir.file("event/cup") + "'",
          "evidence " + p + "-o '" + dir.file("event/pack") + "'"}) {
        const testing::FileSizeLimit full(200);
        ASSERT_TRUE(full.ok());
        const ToolRun r = run(command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("File too large"), std::string::npos) << command << ": " << r.err;
        EXPECT_TRUE(std::filesystem::is_empty(dir.file("event"))) << command;
    }
}

// -o writes what standard output would show, whole, and clears away what a killed run left.
TEST_F(Px3Tool, OutputFilesHoldWhatStandardOutputShowsAndLeftoversAreRemoved) {
    const std::string out = dir.file("out.txt");
    for (const std::string& command : {"info '" + path + "' --json", "results '" + path + "' --format csv"}) {
        save_file_atomically(out + ".tmpAb12Cd", "left by a killed run");
        const std::string shown = run(command).out;
        const ToolRun r = run(command + " -o '" + out + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(read_whole_file(out), shown) << command;
        EXPECT_FALSE(std::filesystem::exists(out + ".tmpAb12Cd")) << command;
    }
}

} // namespace
} // namespace veltro
