// The start switch on real hardware: debouncing, the kit's own thread, unplugging and plugging back.
#include "startswitch/backends/device_kit.h"
#include "startswitch/backends/line_debouncer.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>

namespace veltro {
namespace {

using Change = LineDebouncer::Change;

std::string text(const std::optional<Change>& c) {
    return c ? (c->level ? "on@" : "off@") + std::to_string(c->stamp) : "-";
}

TEST(LineDebouncer, FirstEdgePassesWithItsStampAndBouncesOnlyDecideWhereTheContactRests) {
    LineDebouncer line(10);
    EXPECT_EQ(text(line.edge(true, 100)), "on@100"); // the start is this edge, not a later one
    EXPECT_EQ(text(line.edge(false, 103)), "-");
    EXPECT_EQ(text(line.edge(true, 105)), "-");
    EXPECT_EQ(line.deadline(), 110u);
    EXPECT_EQ(text(line.settle(109)), "-");
    EXPECT_EQ(text(line.settle(110)), "-"); // rests closed: nothing more
    EXPECT_EQ(line.deadline(), std::nullopt);

    // A short pulse: closed and open again within the window is reported as both.
    EXPECT_EQ(text(line.edge(false, 200)), "off@200");
    EXPECT_EQ(text(line.edge(true, 204)), "-");
    EXPECT_EQ(text(line.edge(false, 207)), "-");
    EXPECT_EQ(text(line.edge(true, 208)), "-");
    EXPECT_EQ(text(line.settle(215)), "on@208");
    // That late change holds its own window from its edge.
    EXPECT_EQ(text(line.edge(false, 216)), "-");
    EXPECT_EQ(text(line.settle(218)), "off@216");
    EXPECT_EQ(text(line.edge(true, 300)), "on@300");
}

TEST(LineDebouncer, ABounceReadAfterItsWindowWasSettledIsStillABounce) {
    LineDebouncer line(10);
    EXPECT_EQ(text(line.edge(true, 100)), "on@100");
    EXPECT_EQ(text(line.settle(500)), "-"); // the reader fell behind: the window is over by the clock
    EXPECT_EQ(text(line.edge(false, 102)), "-");
    EXPECT_EQ(text(line.edge(true, 104)), "-");
    EXPECT_EQ(text(line.settle(501)), "-"); // it came to rest closed, as reported
    EXPECT_EQ(text(line.edge(false, 400)), "off@400");
    // Read late and resting on the other level: reported with the stamp of the edge that made it.
    EXPECT_EQ(text(line.settle(900)), "-");
    EXPECT_EQ(text(line.edge(true, 405)), "-");
    EXPECT_EQ(text(line.settle(901)), "on@405");
}

TEST(LineDebouncer, WithoutDebounceEveryChangePassesAndRepeatsAreDropped) {
    LineDebouncer line(0, true);
    EXPECT_EQ(text(line.edge(true, 1)), "-");
    EXPECT_EQ(text(line.edge(false, 2)), "off@2");
    EXPECT_EQ(text(line.edge(true, 2)), "on@2");
    EXPECT_EQ(line.deadline(), std::nullopt);
    // Across the wrap of the counter.
    LineDebouncer wrap(20);
    EXPECT_EQ(text(wrap.edge(true, 0xFFFFFFF0u)), "on@4294967280");
    EXPECT_EQ(text(wrap.edge(false, 2)), "-");
    EXPECT_EQ(text(wrap.settle(3)), "-");
    EXPECT_EQ(text(wrap.settle(4)), "off@2");
}

TEST(SignalStamp, AStartSignalIsDatedBackToItsEdgeOnlyWhenTheStampIsBelievable) {
    EXPECT_EQ(signal_delay_ms(std::nullopt, 5000), 0);
    EXPECT_EQ(signal_delay_ms(4950u, 5000), 50);
    EXPECT_EQ(signal_delay_ms(5001u, 5000), 0);          // in the future: another clock
    EXPECT_EQ(signal_delay_ms(5000u - 60001u, 5000), 0); // older than a minute: another clock
    EXPECT_EQ(signal_delay_ms(0xFFFFFFF6u, 20), 30);     // across the counter's wrap
    EXPECT_EQ(local_ms_before(30, 50), 86400000 - 20);   // just before midnight
    EXPECT_EQ(local_ms_before(50592750, 50), 50592700);
}

// A device played from the test: open() fails while `missing` is set, wait() hands out what was
// pushed, and returns false once the device is pulled out.
class ScriptedDriver final : public KitDriver {
public:
    struct Shared {
        std::mutex m;
        std::condition_variable cv;
        std::vector<KitDriverEvent> pending;
        // Handed out by the call after the one that hands out `pending`: a burst read in two parts.
        std::vector<KitDriverEvent> later;
        KitLevels levels{};
        bool missing = true;
        bool gone = false;
        bool woken = false;
        std::vector<bool> outputs;
    };
    explicit ScriptedDriver(Shared& s) : s_(s) {}

    std::string open() override {
        const std::lock_guard lock(s_.m);
        if (s_.missing) {
            return "No device at /dev/test";
        }
        s_.gone = false;
        return {};
    }
    void close() override {}
    KitLevels levels() override {
        const std::lock_guard lock(s_.m);
        return s_.levels;
    }
    bool wait(int timeout_ms, std::vector<KitDriverEvent>& out) override {
        std::unique_lock lock(s_.m);
        const auto ready = [&] { return !s_.pending.empty() || !s_.later.empty() || s_.gone || s_.woken; };
        if (timeout_ms < 0) {
            s_.cv.wait(lock, ready);
        } else {
            s_.cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
        }
        s_.woken = false;
        std::vector<KitDriverEvent>& part = s_.pending.empty() ? s_.later : s_.pending;
        out.insert(out.end(), part.begin(), part.end());
        part.clear();
        return !s_.gone;
    }
    void wake() override {
        const std::lock_guard lock(s_.m);
        s_.woken = true;
        s_.cv.notify_all();
    }
    void set_output(bool on) override {
        const std::lock_guard lock(s_.m);
        s_.outputs.push_back(on);
    }
    std::int32_t serial() const override { return 4711; }
    std::string device_type() const override { return "Scripted"; }
    std::string library_version() const override { return "1"; }

private:
    Shared& s_;
};

class DeviceKitTest : public ::testing::Test {
protected:
    DeviceKitTest() {
        DeviceKit::Options options;
        options.inverted[2] = true;
        options.debounce_ms = 0;
        make(options);
    }
    void make(DeviceKit::Options options) {
        options.retry_ms = 1;
        kit = std::make_unique<DeviceKit>(std::make_unique<ScriptedDriver>(shared), options, clock);
        kit->OnAttach = [this] { seen.push_back("attach " + std::to_string(kit->serial_number())); };
        kit->OnDetach = [this] { seen.push_back("detach"); };
        kit->OnInputChange = [this](std::int16_t i, bool s, std::uint32_t stamp) {
            seen.push_back(std::to_string(i) + (s ? "+@" : "-@") + std::to_string(stamp));
        };
    }
    void push(std::vector<KitDriverEvent> events) {
        const std::lock_guard lock(shared.m);
        shared.pending.insert(shared.pending.end(), events.begin(), events.end());
        shared.cv.notify_all();
    }
    template <typename Fn>
    void with_device(Fn fn) {
        const std::lock_guard lock(shared.m);
        fn();
        shared.cv.notify_all();
    }
    // Delivers events until `count` have been seen in all.
    void until(std::size_t count) {
        while (seen.size() < count) {
            pollfd p{kit->event_fd(), POLLIN, 0};
            ASSERT_EQ(::poll(&p, 1, 5000), 1) << "seen so far: " << seen.size();
            kit->dispatch();
        }
    }

    ManualClock clock{1000};
    ScriptedDriver::Shared shared;
    std::unique_ptr<DeviceKit> kit;
    std::vector<std::string> seen;
};

// A reader that fell behind meets a burst in two reads, the window of its first edge already over by
// the clock: the bounce in the first part is not taken for where the contact came to rest.
TEST_F(DeviceKitTest, ABurstReadInTwoPartsAfterItsWindowIsDebouncedAsOne) {
    DeviceKit::Options options;
    options.debounce_ms = 10;
    make(options);
    with_device([&] { shared.missing = false; });
    kit->open();
    until(1);
    using K = KitDriverEvent::Kind;
    with_device([&] {
        shared.pending = {{K::Edge, 0, true, 900}, {K::Edge, 0, false, 902}};
        shared.later = {{K::Edge, 0, true, 904}, {K::Edge, 0, false, 950}};
    });
    until(3);
    EXPECT_EQ(seen[1], "0+@900");
    EXPECT_EQ(seen[2], "0-@950");
}

TEST_F(DeviceKitTest, AttachesWhenTheDeviceAppearsAndReportsEdgesWithTheirOwnStamps) {
    kit->open();
    kit->output_state(0, true); // set before the device is there: applied when it opens
    while (kit->problem().empty()) {
        std::this_thread::yield();
    }
    EXPECT_EQ(kit->problem(), "No device at /dev/test");
    EXPECT_FALSE(kit->IsAttached());
    with_device([&] {
        shared.levels[1] = true;
        shared.missing = false;
    });
    until(1);
    EXPECT_EQ(seen.back(), "attach 4711");
    EXPECT_TRUE(kit->input_state(1));
    EXPECT_TRUE(kit->input_state(2)); // inverted: an open contact reads on
    EXPECT_TRUE(kit->problem().empty());

    using K = KitDriverEvent::Kind;
    push({{K::Edge, 0, true, 950}, {K::Edge, 2, true, 960}, {K::Edge, 7, true, 970}});
    until(3);
    EXPECT_EQ(seen[1], "0+@950");
    EXPECT_EQ(seen[2], "2-@960");
    EXPECT_TRUE(kit->input_state(0));
    EXPECT_FALSE(kit->input_state(2));
    {
        const std::lock_guard lock(shared.m);
        EXPECT_EQ(shared.outputs, (std::vector<bool>{true}));
    }
}

TEST_F(DeviceKitTest, AnUnpluggedDeviceIsDetachedAndTakenUpAgainWhenItIsBack) {
    with_device([&] { shared.missing = false; });
    kit->open();
    until(1);
    kit->output_state(0, true);
    with_device([&] {
        shared.gone = true;
        shared.missing = true;
        shared.levels[3] = true;
    });
    until(2);
    EXPECT_EQ(seen[1], "detach");
    EXPECT_FALSE(kit->IsAttached());
    EXPECT_FALSE(kit->input_state(3));
    EXPECT_EQ(kit->serial_number(), 0);
    with_device([&] { shared.missing = false; });
    until(3);
    EXPECT_EQ(seen[2], "attach 4711");
    EXPECT_TRUE(kit->input_state(3)); // the trigger was held while it was away
    const std::lock_guard lock(shared.m);
    EXPECT_EQ(shared.outputs, (std::vector<bool>{false, true, true})); // the LED lit again
}

} // namespace
} // namespace veltro
