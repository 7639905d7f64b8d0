// The simulated interface kit, the start click and the recording-name rule.
#include "app/recording_name.h"
#include "local_time.h"
#include "startswitch/backends/simulated/simulated_kit.h"
#include "startswitch/start_click.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <vector>

namespace veltro {
namespace {

TEST(RecordingName, ReplacesInTheFileNameOnlyAndKeepsTheFolder) {
    const std::tm t = testing::local_time(2024, 5, 1, 14, 3, 7);
    EXPECT_EQ(recording_name("/heats", "Spring Cup", "4", t), "/heats/Spring Cup_4_2024_05_01 14_03_07.px3");
    EXPECT_EQ(recording_name("/data/club-races,2024", "Derby-Night, Main", "12", t),
              "/data/club-races,2024/Derby_Night_ Main_12_2024_05_01 14_03_07.px3");
    // A "/" in the event name would lead into a folder that does not exist.
    EXPECT_EQ(recording_name("/heats/", "A/B", "1", t), "/heats/A_B_1_2024_05_01 14_03_07.px3");
}

TEST(StartClick, IsA1940ByteEightBitMonoWaveAt11025) {
    const std::vector<std::uint8_t> w = start_click_wave();
    ASSERT_EQ(w.size(), 1940u);
    auto u32 = [&](std::size_t at) {
        return w[at] | w[at + 1] << 8 | w[at + 2] << 16 | static_cast<std::uint32_t>(w[at + 3]) << 24;
    };
    auto u16 = [&](std::size_t at) { return w[at] | w[at + 1] << 8; };
    EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), 1932u);
    EXPECT_EQ(std::string(w.begin() + 8, w.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u16(20), 1); // PCM
    EXPECT_EQ(u16(22), 1); // mono
    EXPECT_EQ(u32(24), 11025u);
    EXPECT_EQ(u16(34), 8);
    EXPECT_EQ(std::string(w.begin() + 36, w.begin() + 40), "data");
    EXPECT_EQ(u32(40), 1896u);
    // A click, not silence: it starts loud and dies away to the 8-bit centre.
    int loud = 0;
    for (std::size_t i = 44; i < 144; ++i)
        loud = std::max(loud, std::abs(w[i] - 128));
    EXPECT_GT(loud, 60);
    EXPECT_LE(std::abs(w.back() - 128), 1);
}

struct KitEvents {
    std::vector<std::string> seen;
    void listen(SimulatedKit& kit) {
        kit.OnAttach = [this] { seen.push_back("attach"); };
        kit.OnDetach = [this] { seen.push_back("detach"); };
        kit.OnInputChange = [this](std::int16_t i, bool s, std::uint32_t stamp) {
            seen.push_back(std::to_string(i) + (s ? "+@" : "-@") + std::to_string(stamp));
        };
    }
};

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

TEST(SimulatedKit, ReportsChangesThroughItsDescriptorInOrderStampedWhenMade) {
    ManualClock clock(1000);
    SimulatedKit kit(clock);
    KitEvents ev;
    ev.listen(kit);
    EXPECT_FALSE(readable(kit.event_fd()));
    kit.open();
    kit.set_input(1, true);
    kit.set_input(1, true); // no change, no event
    clock.advance(40);
    kit.set_input(0, true);
    clock.advance(50);
    kit.set_input(7, true); // no such input
    EXPECT_TRUE(kit.input_state(0));
    EXPECT_TRUE(readable(kit.event_fd()));
    EXPECT_TRUE(ev.seen.empty()); // nothing before dispatch
    kit.dispatch();
    EXPECT_EQ(ev.seen, (std::vector<std::string>{"attach", "1+@1000", "0+@1040"}));
    EXPECT_FALSE(readable(kit.event_fd()));
    EXPECT_EQ(kit.serial_number(), SimulatedKit::kSerial);
}

TEST(SimulatedKit, DetachedBoardReportsNoInputsAndDropsItsLed) {
    SimulatedKit kit(system_clock());
    KitEvents ev;
    ev.listen(kit);
    std::vector<bool> led;
    kit.output_changed = [&](bool on) { led.push_back(on); };
    kit.open();
    kit.output_state(0, true);
    kit.output_state(0, true);
    kit.output_state(1, true); // the kit has one output
    kit.detach();
    kit.set_input(3, true);
    EXPECT_FALSE(kit.input_state(3));
    kit.output_state(0, true); // a detached board cannot be driven
    kit.dispatch();
    EXPECT_EQ(ev.seen, (std::vector<std::string>{"attach", "detach"}));
    EXPECT_EQ(led, (std::vector<bool>{true, false}));
    EXPECT_EQ(kit.serial_number(), 0);
    // Attached again, the switch position is what the board shows.
    kit.attach();
    EXPECT_TRUE(kit.input_state(3));
}

TEST(SimulatedKit, HandlerThatFlipsASwitchGetsItsEventInTheSamePass) {
    SimulatedKit kit(system_clock());
    std::vector<std::string> seen;
    kit.OnInputChange = [&](std::int16_t i, bool s, std::uint32_t) {
        seen.push_back(std::to_string(i) + (s ? "+" : "-"));
        if (i == 3 && s)
            kit.set_input(3, false);
    };
    kit.open();
    kit.set_input(3, true);
    kit.dispatch();
    EXPECT_EQ(seen, (std::vector<std::string>{"3+", "3-"}));
}

} // namespace
} // namespace veltro
