// The live feed between the window's thread that publishes and the server's threads that wait for
// changes: every reader sees every change once, in order, and a reader told to stop stops at once.
#include "results/live_feed.h"
#include "support/clocks.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace veltro {
namespace {

TEST(LiveFeedThreads, ReadersSeeEveryChangeInOrderAndStopWhenTold) {
    ManualClock clock{1000};
    LiveFeed feed(clock);
    constexpr std::uint64_t kChanges = 1000; // within the 1,024 kept, so none is missed
    std::atomic<bool> stop{false};
    std::vector<std::vector<std::uint64_t>> seen(4);
    std::vector<std::atomic<std::uint64_t>> reached(seen.size());
    std::vector<std::thread> readers;
    for (std::size_t r = 0; r < seen.size(); ++r) {
        readers.emplace_back([&feed, &stop, &ids = seen[r], &at = reached[r]] {
            std::uint64_t last = 0;
            while (!stop) {
                // A wait without end: only the stop can end it once the changes are over.
                for (const LiveFeed::Change& c : feed.changes_after(last, std::chrono::hours(1), stop)) {
                    ids.push_back(c.id);
                    last = c.id;
                }
                at = last;
            }
        });
    }
    std::thread events([&] {
        for (int i = 0; i < 10; ++i)
            feed.publish_event({{"heat" + std::to_string(i) + ".px3", "", "unreadable"}});
    });
    for (std::uint64_t i = 0; i < kChanges; ++i)
        feed.publish("result", [i](LiveFeed::Heat& h) { h.heat_name = std::to_string(i); });
    events.join();
    const std::uint64_t last = feed.last_id();
    EXPECT_NE(feed.event_json().find("heat9.px3"), std::string::npos);
    // Every reader comes to the last change and waits for the next; the stop ends the wait.
    for (const auto& at : reached)
        while (at < last)
            std::this_thread::yield();
    stop = true;
    feed.wake_all();
    for (std::thread& t : readers)
        t.join();
    for (const auto& ids : seen) {
        ASSERT_EQ(ids.size(), last);
        for (std::size_t i = 0; i < ids.size(); ++i)
            ASSERT_EQ(ids[i], i + 1);
    }
}

} // namespace
} // namespace veltro
