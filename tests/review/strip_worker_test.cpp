// The background maker of finish strips: the newest request wins, strips made before come back at
// once, and a file that changed is read again.
#include "app/demo_heat.h"
#include "review/strip_worker.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>

namespace veltro {
namespace {

class StripWorkerTest : public ::testing::Test {
protected:
    StripWorkerTest() {
        set_settings_path(dir.file("Veltro_HDMI.ini"));
        DemoHeatOptions demo;
        demo.path = dir.file("heat.px3");
        demo.capture_ms = 600;
        demo.fast = true;
        record_demo_heat(demo);
        path = demo.path;
        options.line = {200, 88, 200, 792};
    }
    ~StripWorkerTest() override { set_settings_path({}); }

    // Waits (generously) for the worker to hand something over and takes it. A wake-up for a
    // request that was replaced meanwhile hands over nothing; waiting goes on.
    std::optional<StripWorker::Result> next(StripWorker& worker, int timeout_ms = 60000) {
        pollfd fd{worker.event_fd(), POLLIN, 0};
        while (::poll(&fd, 1, timeout_ms) == 1) {
            std::optional<StripWorker::Result> got;
            worker.dispatch([&](const StripWorker::Result& r) { got = r; });
            if (got) {
                return got;
            }
        }
        return std::nullopt;
    }

    testing::TempDir dir;
    std::string path;
    FinishStripOptions options;
};

TEST_F(StripWorkerTest, MakesTheStripAndHandsBackTheSameOneWhenAskedAgain) {
    StripWorker worker;
    const std::uint64_t first = worker.request(path, options);
    const auto made = next(worker);
    ASSERT_TRUE(made.has_value());
    EXPECT_EQ(made->request, first);
    ASSERT_NE(made->strip, nullptr);
    EXPECT_GT(made->strip->pictures(), 0);
    EXPECT_FALSE(worker.busy());

    // The same file and line again: no second reading, the same strip at once.
    const std::uint64_t again = worker.request(path, options);
    EXPECT_FALSE(worker.busy());
    const auto cached = next(worker, 0);
    ASSERT_TRUE(cached.has_value());
    EXPECT_EQ(cached->request, again);
    EXPECT_EQ(cached->strip, made->strip);

    // Another line is another strip.
    FinishStripOptions moved = options;
    moved.line.x1 = moved.line.x2 = 150;
    worker.request(path, moved);
    EXPECT_TRUE(worker.busy());
    const auto other = next(worker);
    ASSERT_TRUE(other.has_value() && other->strip);
    EXPECT_NE(other->strip, made->strip);
}

TEST_F(StripWorkerTest, OnlyTheNewestRequestIsDelivered) {
    StripWorker worker;
    FinishStripOptions a = options;
    a.line.x1 = a.line.x2 = 120;
    worker.request(path, a);
    const std::uint64_t newest = worker.request(path, options);
    const auto got = next(worker);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->request, newest);
    // The older request was dropped before the newer one was taken: nothing of it follows.
    EXPECT_FALSE(next(worker, 0).has_value());

    // A cancelled request delivers nothing; the worker takes the next one as usual.
    FinishStripOptions b = options;
    b.line.x1 = b.line.x2 = 250;
    worker.request(path, b);
    worker.cancel();
    EXPECT_FALSE(worker.busy());
    const std::uint64_t after_cancel = worker.request(path, a);
    const auto after = next(worker);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->request, after_cancel);
    EXPECT_NE(after->strip, nullptr);
    EXPECT_FALSE(next(worker, 0).has_value());
}

TEST_F(StripWorkerTest, AFileThatChangedIsReadAgainAndABadFileSaysWhy) {
    StripWorker worker;
    worker.request(path, options);
    const auto before = next(worker);
    ASSERT_TRUE(before.has_value() && before->strip);
    // Touched: the strip kept for it may no longer be true.
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(2));
    worker.request(path, options);
    EXPECT_TRUE(worker.busy());
    ASSERT_TRUE(next(worker).has_value());

    std::ofstream(dir.file("broken.px3")) << "not a recording";
    worker.request(dir.file("broken.px3"), options);
    const auto broken = next(worker);
    ASSERT_TRUE(broken.has_value());
    EXPECT_EQ(broken->strip, nullptr);
    EXPECT_FALSE(broken->error.empty());
}

} // namespace
} // namespace veltro
