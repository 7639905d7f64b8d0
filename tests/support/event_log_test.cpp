#include "file_size_limit.h"
#include "scoped_env.h"
#include "support/event_log.h"
#include "support/files.h"
#include "support/veltro_error.h"
#include "temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(EventLog, EachCallAppendsTheTimeASpaceAndTheText) {
    testing::TempDir dir;
    testing::ScopedEnv env("VELTRO_DATA_DIR", dir.path().string());
    EXPECT_EQ(event_log_path(), dir.file("Veltro_eventlog.txt"));
    Log_Event("Heat 3 appended 250 frames");
    Log_Event("Heat 3 closed");
    const std::string text = read_whole_file(dir.file("Veltro_eventlog.txt")).value_or("");
    EXPECT_THAT(text, ::testing::MatchesRegex(
                          "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} Heat 3 appended 250 "
                          "frames\n[0-9-]{10} [0-9:]{8} Heat 3 closed\n"));
}

TEST(EventLog, AFailedAppendLeavesTheFileAsItWas) {
    testing::TempDir dir;
    const std::string path = dir.file("log.txt");
    append_to_file(path, "first\n");
    try {
        append_to_file(dir.file("missing/log.txt"), "x");
        FAIL() << "appending in a missing folder succeeded";
    } catch (const VeltroError& e) {
        EXPECT_EQ(e.number(), err::kFileNotFound);
        EXPECT_THAT(e.description(), ::testing::HasSubstr(dir.file("missing/log.txt")));
    }
    EXPECT_THROW(append_to_file(dir.path().string(), "x"), VeltroError);

    // The file size limit cuts the write short part-way: the partial block must not stay.
    {
        testing::FileSizeLimit limit(10);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(append_to_file(path, "second line, too long\n"), VeltroError);
    }
    EXPECT_EQ(read_whole_file(path), "first\n");
}

} // namespace
} // namespace veltro
