// A process assigning times is killed at pseudo-random moments, as a power cut would stop it: after
// every kill the recording opens, checks sound, and holds every time the process had reported stored.
#include "recording/recording_check.h"
#include "recording_fixture.h"

#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace veltro {
namespace {

constexpr int kAssignments = 200;

// Assignment i gives box 1..6 in turn the time 20000 + i, so a stored time names its assignment.
std::int16_t box_of(int i) {
    return static_cast<std::int16_t>((i - 1) % 6 + 1);
}

// The child: opens the recording, makes the assignments after `done` and reports each stored one
// with a byte on `ack`. It never returns.
[[noreturn]] void assign_times(const std::string& path, int done, int ack) {
    cls_VideoFile_handler rec;
    rec.event_log([](const std::string&) {});
    rec.Open_File(path);
    for (int i = done + 1; i <= done + kAssignments; ++i) {
        rec.Velt_Heat_time(box_of(i), false, 20000 + i);
        rec.Write_XML_header();
        const char stored = 1;
        if (::write(ack, &stored, 1) != 1) {
            ::_exit(1);
        }
    }
    ::_exit(0);
}

TEST(JournalCrash, EveryAcknowledgedTimeSurvivesAKillAtAnyMoment) {
    testing::FakeOperator op;
    testing::TempDir dir;
    const std::string path = dir.file("heat 1.px3");
    {
        cls_VideoFile_handler rec;
        rec.event_log([](const std::string&) {});
        Arm_Test_Recording(rec, path, 64, 48);
        Append_Test_Frames(rec, testing::CapturedFrames(64, 48, 3));
    }
    std::mt19937 random(20240501);
    std::uniform_int_distribution<int> acks(1, kAssignments / 4);
    int done = 0; // assignments in the recording
    for (int kill = 1; kill <= 10; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const int wanted = acks(random);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            assign_times(path, done, fds[1]);
        }
        ::close(fds[1]);
        int acknowledged = 0;
        char byte = 0;
        while (acknowledged < wanted && ::read(fds[0], &byte, 1) == 1) {
            ++acknowledged;
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(fds[0]);
        ASSERT_EQ(acknowledged, wanted) << "the child stopped on its own";

        cls_VideoFile_handler rec;
        rec.event_log([](const std::string&) {});
        rec.Open_File(path);
        ASSERT_TRUE(rec.Has_XML()) << op.last_message();
        ASSERT_EQ(rec.num_Frames(), 3);
        // The header is the one after some assignment `last`, at or after the last acknowledged one.
        int last = 0;
        for (std::int16_t box = 1; box <= 6; ++box) {
            last = std::max(last, rec.Velt_Heat_time(box, false) - 20000);
        }
        ASSERT_GE(last, done + wanted);
        ASSERT_LE(last, done + kAssignments);
        for (std::int16_t box = 1; box <= 6; ++box) {
            int expected = last;
            while (expected > 0 && box_of(expected) != box) {
                --expected;
            }
            EXPECT_EQ(rec.Velt_Heat_time(box, false), expected > 0 ? 20000 + expected : 0) << box;
        }
        rec.Close_File();
        const RecordingCheck check = check_recording(path);
        EXPECT_EQ(check.frames, 3);
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();
        done = last;
    }
}

} // namespace
} // namespace veltro
