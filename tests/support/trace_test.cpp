#include "local_time.h"
#include "support/files.h"
#include "support/trace.h"
#include "temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace veltro {
namespace {

std::vector<std::string> lines_of(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(read_whole_file(path).value_or(""));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override { set_trace_file(path); }
    void TearDown() override { set_trace_file(""); }
    testing::TempDir dir;
    std::string path = dir.file("Veltro_trace.txt");
};

TEST(TraceLine, HasTheFixedPrefixAndTheJoinedValues) {
    const std::tm tm = testing::local_time(2024, 1, 9, 7, 5, 3);
    EXPECT_EQ(format_trace_line("veltro", true, 4242, 4243, tm, "Handle_Start, begin\t"),
              "veltro C: 4242: 4243: 20240109 070503: Handle_Start, begin\t");
    EXPECT_EQ(format_trace_line("veltro", false, 1, 2, tm, ""), "veltro I: 1: 2: 20240109 070503: ");
}

TEST_F(TraceTest, ValuesAreEachFollowedByATabAndArraysContributeEachElement) {
    const std::vector<std::string> names{"Rex", "Bolt"};
    const int boxes[] = {1, 2};
    Trace("*Form_Load, begin ", "Form_Veltro");
    Trace("*Set_Time", std::int16_t{3}, 123456L, true, false, 2.5, names, boxes, 'x');
    trace_flush();
    const auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 2u);
    const std::string prefix = " C: " + std::to_string(getpid()) + ": ";
    EXPECT_NE(lines[0].find(prefix), std::string::npos);
    EXPECT_THAT(lines[0], ::testing::EndsWith(": *Form_Load, begin \tForm_Veltro\t"));
    EXPECT_THAT(lines[1],
                ::testing::EndsWith(": *Set_Time\t3\t123456\tTrue\tFalse\t2.5\tRex\tBolt\t1\t2\tx\t"));
    EXPECT_THAT(lines[1],
                ::testing::MatchesRegex(".* C: [0-9]+: [0-9]+: [0-9]{8} [0-9]{6}: \\*Set_Time\t.*"));
}

TEST_F(TraceTest, LinesFromManyThreadsArriveWholeAndInOrderPerThread) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 500; ++i)
                Trace("*worker", t, i, std::string(50, static_cast<char>('a' + t)));
        });
    for (auto& th : threads)
        th.join();
    trace_flush();
    const auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 2000u);
    int next[4] = {};
    for (const auto& line : lines) {
        const auto at = line.find("*worker\t");
        ASSERT_NE(at, std::string::npos) << line;
        const int t = line[at + 8] - '0';
        std::istringstream in(line.substr(at + 10));
        int i = -1;
        in >> i;
        EXPECT_EQ(i, next[t]++);
        EXPECT_THAT(line, ::testing::EndsWith("\t" + std::string(50, static_cast<char>('a' + t)) + "\t"));
    }
}

TEST_F(TraceTest, FilePassingTheLimitIsRotatedAway) {
    const std::string big(1000, 'z');
    const std::size_t count = kTraceFileLimit / 1000 + 200;
    for (std::size_t i = 0; i < count; ++i)
        Trace("*fill", big);
    Trace("*after the fill");
    trace_flush();
    const auto old_size = std::filesystem::file_size(dir.file("Veltro_trace.old.txt"));
    const auto new_size = std::filesystem::file_size(path);
    EXPECT_LE(old_size, kTraceFileLimit);
    EXPECT_LT(new_size, kTraceFileLimit);
    EXPECT_THAT(lines_of(path).back(), ::testing::EndsWith("*after the fill\t"));
    EXPECT_EQ(lines_of(path).size() + lines_of(dir.file("Veltro_trace.old.txt")).size(), count + 1);
}

// Last of the trace tests: after shutdown every later line is written directly.
TEST_F(TraceTest, AfterShutdownLinesAreStillWritten) {
    Trace("*before shutdown");
    trace_shutdown();
    Trace("*after shutdown");
    // No flush: the line is already in the file.
    const auto lines = lines_of(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[1], ::testing::EndsWith("*after shutdown\t"));
}

} // namespace
} // namespace veltro
