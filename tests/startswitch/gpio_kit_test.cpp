// The start switch on GPIO lines: the kernel's edge stamps on the program's counter, the wiring
// checks, and the driver fed by a GPIO chip played from the test, alone and under the DeviceKit.
#include "app/assembly.h"
#include "startswitch/backends/device_kit.h"
#include "startswitch/backends/gpio/gpio_kit.h"

#include <deque>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <set>
#include <unistd.h>
#include <utility>

namespace veltro {
namespace {

// A chip played from the test. Each requested input has a pipe for its event descriptor: an edge
// pushed by the test is queued and a byte written, so poll() wakes as on the kernel's descriptor.
// Unplugging closes the write ends, which poll() reports as a hang-up, as a newer kernel does.
struct FakeChipState {
    struct Input {
        int read_fd = -1;
        int write_fd = -1;
        std::deque<GpioEdge> edges;
    };

    std::mutex m;
    GpioChipInfo info{"gpiochip0", "test-gpio", 32, {}};
    std::map<std::string, unsigned> names{{"SWITCH", 17}, {"START", 5}, {"LAMP", 20}};
    bool plugged = true;
    bool present = true; // false: removed without a word, as older kernels do
    std::map<unsigned, bool> high;
    std::set<unsigned> busy;
    std::map<unsigned, Input> inputs;
    std::map<unsigned, std::vector<bool>> outputs;
    int requests = 0;
    int presence_checks = 0;

    // Queues `edges` of one line together, so that they are read in one go.
    void push(unsigned offset, const std::vector<GpioEdge>& edges) {
        const std::lock_guard lock(m);
        Input& in = inputs.at(offset);
        in.edges.insert(in.edges.end(), edges.begin(), edges.end());
        ASSERT_EQ(::write(in.write_fd, "e", 1), 1);
    }
    void unplug() {
        const std::lock_guard lock(m);
        plugged = false;
        for (auto& [offset, in] : inputs) {
            ::close(std::exchange(in.write_fd, -1));
        }
    }
};

class FakeChip final : public GpioChip {
public:
    explicit FakeChip(std::shared_ptr<FakeChipState> s) : s_(std::move(s)) {}
    ~FakeChip() override {
        const std::lock_guard lock(s_->m);
        for (auto& [offset, in] : s_->inputs) {
            for (const int fd : {in.read_fd, in.write_fd}) {
                if (fd >= 0) {
                    ::close(fd);
                }
            }
        }
        s_->inputs.clear();
        s_->outputs.clear();
    }
    GpioChipInfo info() const override { return s_->info; }
    std::optional<unsigned> find_line(const std::string& name) override {
        const auto it = s_->names.find(name);
        return it == s_->names.end() ? std::nullopt : std::optional<unsigned>(it->second);
    }
    std::string request_input(unsigned offset) override {
        const std::lock_guard lock(s_->m);
        int fds[2] = {-1, -1};
        if (take(offset) && ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            s_->inputs[offset] = {fds[0], fds[1], {}};
            return {};
        }
        return "GPIO line " + std::to_string(offset) + " of gpiochip0 is in use by \"other\"";
    }
    std::string request_output(unsigned offset) override {
        const std::lock_guard lock(s_->m);
        if (!take(offset)) {
            return "GPIO line " + std::to_string(offset) + " of gpiochip0 is in use by \"other\"";
        }
        s_->outputs[offset] = {false};
        return {};
    }
    int event_fd(unsigned offset) const override {
        const std::lock_guard lock(s_->m);
        return s_->inputs.at(offset).read_fd;
    }
    bool read_edges(unsigned offset, std::vector<GpioEdge>& out) override {
        const std::lock_guard lock(s_->m);
        FakeChipState::Input& in = s_->inputs.at(offset);
        char bytes[64];
        while (::read(in.read_fd, bytes, sizeof bytes) > 0) {
        }
        out.insert(out.end(), in.edges.begin(), in.edges.end());
        in.edges.clear();
        return s_->plugged;
    }
    std::optional<bool> value(unsigned offset) override {
        const std::lock_guard lock(s_->m);
        return s_->high[offset];
    }
    bool set_value(unsigned offset, bool high) override {
        const std::lock_guard lock(s_->m);
        s_->outputs.at(offset).push_back(high);
        return s_->plugged;
    }
    bool present() override {
        const std::lock_guard lock(s_->m);
        ++s_->presence_checks;
        return s_->plugged && s_->present;
    }

private:
    bool take(unsigned offset) {
        ++s_->requests;
        return !s_->busy.contains(offset);
    }
    std::shared_ptr<FakeChipState> s_;
};

class FakeLibrary final : public GpioLibrary {
public:
    std::shared_ptr<FakeChipState> chip = std::make_shared<FakeChipState>();

    GpioOpened open(const std::string& device) override {
        GpioOpened r;
        if (device == "/dev/null") {
            r.error = "\"/dev/null\" is not a GPIO chip";
        } else if (const std::lock_guard lock(chip->m); device != chip->info.name || !chip->plugged) {
            r.absent = true;
            r.error = "GPIO chip \"" + device + "\" not found";
        } else {
            r.chip = std::make_unique<FakeChip>(chip);
        }
        return r;
    }
    std::vector<GpioChipInfo> chips() override {
        return {chip->info,
                {"gpiochip1", "", 8, {}},
                {"gpiochip12", {}, 0, "cannot be opened: Permission denied"}};
    }
    std::string version() const override { return "fake 1"; }
};

timespec monotonic_now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

timespec plus_ms(timespec t, long ms) {
    t.tv_nsec += ms * 1000000;
    t.tv_sec += t.tv_nsec / 1000000000;
    t.tv_nsec %= 1000000000;
    return t;
}

TEST(GpioStamp, KernelStampsLandOnTheCounterTruncatedWhicheverClockTheKernelUsed) {
    const GpioClocks now{{5000, 0}, {1'700'000'000, 250'000'000}};
    EXPECT_EQ(gpio_stamp_millis({4999, 987'654'321}, now), 4'999'987u); // truncated, never rounded up
    // A kernel before 5.7 stamps on the wall clock: half a second before now is half a second before.
    EXPECT_EQ(gpio_stamp_millis({1'699'999'999, 750'000'000}, now), 4'999'500u);
    // A stamp on neither clock is put at the moment it was read.
    EXPECT_EQ(gpio_stamp_millis({987'654'321'000, 0}, now), 5'000'000u);
    // The counter wraps after 2^32 ms, and so does a stamp, also one from before the clock's zero.
    EXPECT_EQ(gpio_stamp_millis({4'294'968, 296'999'999}, {{4'294'968, 500'000'000}, {}}), 1000u);
    EXPECT_EQ(gpio_stamp_millis({1'699'999'999, 750'000'001}, {{0, 200'000'000}, {1'700'000'000, 0}}),
              static_cast<std::uint32_t>(-50));
}

TEST(GpioStamp, AnEdgeStampedNowIsOnTheProgramsOwnCounter) {
    const std::uint32_t before = system_clock().millis();
    const std::uint32_t stamp = gpio_stamp_millis(monotonic_now(), read_gpio_clocks());
    const std::uint32_t after = system_clock().millis();
    EXPECT_GE(elapsed_ms(before, stamp), 0);
    EXPECT_GE(elapsed_ms(stamp, after), 0);
    EXPECT_LT(elapsed_ms(before, after), 60000);
}

TEST(GpioBackend, DeviceListEntriesLeadBackToTheirChipsAndTheDefaultsWork) {
    auto library = std::make_shared<FakeLibrary>();
    KitBackends kits;
    register_gpio_backend(kits, library);
    const KitBackend& backend = kits.list().at(0);
    const std::vector<std::string> entries = backend.devices();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], "gpiochip0 (test-gpio, 32 lines)");
    EXPECT_EQ(entries[2], "gpiochip12 (cannot be opened: Permission denied)");
    for (const auto& [entry, name] : {std::pair{entries[0], "gpiochip0"},
                                      {entries[1], "gpiochip1"},
                                      {entries[2], "gpiochip12"},
                                      {" /dev/gpiochip3 ", "/dev/gpiochip3"},
                                      {"USB adapter (left)", "USB adapter (left)"}}) {
        EXPECT_EQ(gpio_device_name(entry), name);
    }
    KitConfig config = backend.defaults();
    config.device = entries[0];
    std::string error;
    EXPECT_NE(backend.make_driver(config, system_clock(), error), nullptr) << error;
    EXPECT_TRUE(program_backends().kits.find("gpio")) << "registered for the settings page";
}

TEST(GpioBackend, AWiringThatCannotWorkIsRefusedWithWhyAndNothingIsRequested) {
    auto library = std::make_shared<FakeLibrary>();
    KitConfig good;
    good.backend = "gpio";
    good.device = "gpiochip0";
    good.lines[0] = "17";
    good.lines[4] = " START ";
    good.led_line = "LAMP";
    const struct {
        void (*change)(KitConfig&);
        const char* error;
    } cases[] = {
        {[](KitConfig& c) { c.device = " "; }, "No GPIO chip is chosen"},
        {[](KitConfig& c) { c.lines = {}; }, "No input is wired to a GPIO line"},
        {[](KitConfig& c) { c.lines[2] = "17 "; }, "Input 0 and input 2 are both wired to GPIO line \"17\""},
        {[](KitConfig& c) { c.led_line = "START"; },
         "Input 4 and the LED are both wired to GPIO line \"START\""},
        {[](KitConfig& c) { c.lines[1] = "SWITCH"; },
         "Input 0 and input 1 are both on GPIO line 17 of gpiochip0"},
        {[](KitConfig& c) { c.led_line = "5"; }, "Input 4 and the LED are both on GPIO line 5 of gpiochip0"},
        {[](KitConfig& c) { c.lines[3] = "32"; },
         "Input 3: gpiochip0 has no GPIO line 32 (it has 32 lines, numbered from 0)"},
        {[](KitConfig& c) { c.lines[3] = "99999999999999999999"; },
         "Input 3: gpiochip0 has no GPIO line 9999"},
        {[](KitConfig& c) { c.lines[5] = "STOP"; }, "Input 5: gpiochip0 has no GPIO line named \"STOP\""},
        {[](KitConfig& c) { c.led_line = "LED"; }, "The LED: gpiochip0 has no GPIO line named \"LED\""},
        {[](KitConfig& c) { c.device = "/dev/null"; }, "\"/dev/null\" is not a GPIO chip"},
    };
    for (const auto& c : cases) {
        KitConfig config = good;
        c.change(config);
        std::string error;
        EXPECT_EQ(make_gpio_driver(config, library, error), nullptr) << c.error;
        EXPECT_TRUE(error.starts_with(c.error)) << error;
    }
    std::string error;
    EXPECT_NE(make_gpio_driver(good, library, error), nullptr) << error;
    EXPECT_EQ(library->chip->requests, 0) << "lines are taken when the kit opens, not when it is made";

    // A chip that is not plugged in yet is no error: the lines are looked up when it comes.
    good.device = "gpiochip7";
    const auto later = make_gpio_driver(good, library, error);
    ASSERT_NE(later, nullptr) << error;
    EXPECT_EQ(later->open(), "GPIO chip \"gpiochip7\" not found");
}

TEST(GpioDriver, LinesAreTakenWholeAndAWaitEndsOnAWakeAndWhenTheChipGoesLoudlyOrSilently) {
    auto library = std::make_shared<FakeLibrary>();
    const std::shared_ptr<FakeChipState> chip = library->chip;
    KitConfig config;
    config.device = "gpiochip0 (test-gpio, 32 lines)";
    config.lines = {"SWITCH", "", "5", "", "", "3"};
    config.led_line = "20";
    chip->high = {{17, true}, {5, false}, {3, true}};
    GpioKitDriver driver(library, config);
    std::vector<KitDriverEvent> events;

    chip->busy = {5};
    EXPECT_EQ(driver.open(), "GPIO line 5 of gpiochip0 is in use by \"other\"");
    EXPECT_TRUE(chip->inputs.empty()) << "the lines taken before are given back";
    EXPECT_FALSE(driver.wait(0, events));
    chip->busy = {20}; // a dark LED is no reason to go without the start switch
    ASSERT_EQ(driver.open(), "");
    driver.set_output(true);
    EXPECT_FALSE(chip->outputs.contains(20));
    EXPECT_EQ(driver.levels(), (KitLevels{true, false, false, false, false, true}));

    // Had this wait timed out instead of being woken, it would have asked for the chip.
    driver.wake();
    EXPECT_TRUE(driver.wait(-1, events));
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(chip->presence_checks, 0);

    chip->unplug(); // a newer kernel hangs up the line's descriptor
    EXPECT_FALSE(driver.wait(5000, events));
    EXPECT_EQ(chip->presence_checks, 0);
    driver.close();
    EXPECT_EQ(driver.open(), "GPIO chip \"gpiochip0\" not found");
    chip->plugged = true;
    ASSERT_EQ(driver.open(), "");
    chip->present = false; // an older kernel says nothing: the quiet wait asks the chip
    EXPECT_FALSE(driver.wait(0, events));
    EXPECT_TRUE(events.empty());
}

TEST(GpioDeviceKit, ASwitchOnGpioLinesStartsWithItsEdgeDebouncedInvertedAndSurvivesAReplug) {
    auto library = std::make_shared<FakeLibrary>();
    const std::shared_ptr<FakeChipState> chip = library->chip;
    chip->high = {{17, true}, {4, true}};
    KitBackends kits;
    register_gpio_backend(kits, library);
    KitConfig config = kits.list().at(0).defaults();
    config.lines[3] = "4";
    config.led_line = "LAMP";
    std::string error;
    std::unique_ptr<KitDriver> driver = make_gpio_driver(config, library, error);
    ASSERT_NE(driver, nullptr) << error;
    DeviceKit::Options options;
    options.inverted = config.inverted;
    options.debounce_ms = config.debounce_ms;
    options.retry_ms = 1;
    DeviceKit kit(std::move(driver), options, system_clock());
    std::vector<std::string> seen;
    kit.OnAttach = [&] { seen.push_back("attach " + std::to_string(kit.serial_number())); };
    kit.OnDetach = [&] { seen.push_back("detach"); };
    kit.OnInputChange = [&](std::int16_t i, bool s, std::uint32_t stamp) {
        seen.push_back(std::to_string(i) + (s ? "+@" : "-@") + std::to_string(stamp));
    };
    const auto until = [&](std::size_t count) {
        while (seen.size() < count) {
            pollfd p{kit.event_fd(), POLLIN, 0};
            ASSERT_EQ(::poll(&p, 1, 5000), 1) << "seen so far: " << seen.size();
            kit.dispatch();
        }
    };

    kit.open();
    until(1);
    EXPECT_EQ(seen[0], "attach 0");
    EXPECT_FALSE(kit.input_state(0)); // pulled up and inverted: an open contact is off

    // The contact closes with a bounce and opens half a second later.
    const timespec t = plus_ms(monotonic_now(), -1000);
    chip->push(17, {{false, t}, {true, plus_ms(t, 2)}, {false, plus_ms(t, 4)}, {true, plus_ms(t, 500)}});
    chip->push(4, {{false, plus_ms(t, 600)}});
    until(4);
    const GpioClocks now = read_gpio_clocks();
    const auto at = [&](long ms) { return std::to_string(gpio_stamp_millis(plus_ms(t, ms), now)); };
    EXPECT_EQ(seen[1], "0+@" + at(0));
    EXPECT_EQ(seen[2], "0-@" + at(500));
    EXPECT_EQ(seen[3], "3+@" + at(600));
    EXPECT_TRUE(kit.input_state(3));

    kit.output_state(0, true);
    chip->unplug();
    until(5);
    EXPECT_EQ(seen[4], "detach");
    {
        const std::lock_guard lock(chip->m);
        chip->plugged = true;
        chip->high[4] = false;
    }
    until(6);
    EXPECT_EQ(seen[5], "attach 0");
    EXPECT_TRUE(kit.input_state(3)); // held closed while it was away
    const timespec later = monotonic_now();
    chip->push(17, {{false, later}});
    until(7);
    EXPECT_EQ(seen[6], "0+@" + std::to_string(gpio_stamp_millis(later, read_gpio_clocks())));
    const std::lock_guard lock(chip->m);
    EXPECT_EQ(chip->outputs.at(20), (std::vector<bool>{false, true})) << "the LED lit again";
}

TEST(GpioLibgpiod, AMissingChipIsWaitedForAndAnythingElseIsRefusedUnopened) {
    const std::shared_ptr<GpioLibrary> library = libgpiod_library();
    for (const std::string device : {"gpiochip4242", "4242", "/dev/gpiochip4242", "no such label"}) {
        const GpioOpened r = library->open(device);
        EXPECT_TRUE(!r.chip && r.absent) << device;
        EXPECT_EQ(r.error, "GPIO chip \"" + device + "\" not found");
    }
    const GpioOpened null = library->open("/dev/null");
    EXPECT_TRUE(!null.chip && !null.absent);
    EXPECT_EQ(null.error, "\"/dev/null\" is not a GPIO chip");
    EXPECT_TRUE(library->version().starts_with("libgpiod "));

    const KitBackend& gpio = *program_backends().kits.find("gpio");
    KitConfig config = gpio.defaults();
    config.device = "gpiochip4242";
    std::string error;
    const auto driver = gpio.make_driver(config, system_clock(), error);
    ASSERT_NE(driver, nullptr) << error;
    EXPECT_EQ(driver->open(), "GPIO chip \"gpiochip4242\" not found");
    config.device = "null";
    EXPECT_EQ(gpio.make_driver(config, system_clock(), error), nullptr);
    EXPECT_EQ(error, "\"null\" is not a GPIO chip");
}

} // namespace
} // namespace veltro
