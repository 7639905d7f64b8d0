// The start switch on a Linux input device, fed the records the kernel would deliver through pipes.
#include "app/assembly.h"
#include "evdev_records.h"
#include "startswitch/backends/device_kit.h"
#include "startswitch/backends/evdev/evdev_backend.h"
#include "startswitch/backends/evdev/evdev_decoder.h"
#include "startswitch/backends/evdev/evdev_driver.h"
#include "startswitch/backends/evdev/evdev_wiring.h"
#include "temp_dir.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>

namespace veltro {
namespace {

using testing::key;
using testing::readable_soon;
using testing::syn;
using testing::write_records;

KitConfig wired(std::initializer_list<std::string> lines) {
    KitConfig c;
    c.backend = "evdev";
    c.device = "/dev/input/by-id/usb-Encoder-event-joystick";
    std::size_t i = 0;
    for (const std::string& line : lines) {
        c.lines[i++] = line;
    }
    return c;
}

const KitBackend& evdev_backend() {
    return *program_backends().kits.find("evdev");
}

std::string refusal(const KitConfig& config) {
    std::string error;
    const std::unique_ptr<KitDriver> driver = evdev_backend().make_driver(config, system_clock(), error);
    EXPECT_EQ(driver == nullptr, !error.empty());
    return error;
}

TEST(EvdevWiring, KeysAreKernelNamesInAnyCaseOrNumbersAndTheDeviceListNameIsNotPartOfThePath) {
    EXPECT_EQ(evdev_key_code("KEY_A"), KEY_A);
    EXPECT_EQ(evdev_key_code(" key_f1 "), KEY_F1);
    EXPECT_EQ(evdev_key_code("BTN_0"), BTN_0);
    EXPECT_EQ(evdev_key_code("BTN_TRIGGER"), BTN_TRIGGER);
    EXPECT_EQ(evdev_key_code("288"), BTN_TRIGGER);
    EXPECT_EQ(evdev_key_code("767"), KEY_MAX);
    for (const char* bad : {"", "768", "-1", "99999999999999999999", "KEY_", "LED_SCROLLL", "A", "3x"}) {
        EXPECT_EQ(evdev_key_code(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(evdev_led_code("led_scrolll"), LED_SCROLLL);
    EXPECT_EQ(evdev_led_code("16"), std::nullopt);
    EXPECT_EQ(evdev_led_code("KEY_A"), std::nullopt);
    EXPECT_EQ(evdev_key_name(BTN_TRIGGER), "BTN_TRIGGER");

    EXPECT_EQ(evdev_device_path(" /dev/input/event3 (AT Translated Set 2 keyboard)"), "/dev/input/event3");
    EXPECT_EQ(evdev_device_path("/dev/input/by-id/usb-Foot_Switch-event-kbd"),
              "/dev/input/by-id/usb-Foot_Switch-event-kbd");

    std::string error;
    KitConfig c = wired({"key_a", "", "BTN_TRIGGER"});
    c.device = "/dev/input/event3 (Keyboard)";
    c.led_line = "LED_SCROLLL";
    const std::optional<EvdevWiring> w = evdev_wiring(c, error);
    ASSERT_TRUE(w) << error;
    EXPECT_EQ(w->device, "/dev/input/event3");
    EXPECT_EQ(w->keys, (std::array<int, 6>{KEY_A, -1, BTN_TRIGGER, -1, -1, -1}));
    EXPECT_EQ(w->led, LED_SCROLLL);
}

TEST(EvdevWiring, AConfigurationThatCannotWorkIsRefusedWithItsReason) {
    EXPECT_EQ(refusal(wired({"KEY_A", "KEY_B"})), "");

    EXPECT_EQ(refusal(wired({"KEY_A", "KEY_NOPE"})),
              "Input 1: \"KEY_NOPE\" is not a key; give a key name such as KEY_A, KEY_F1 or BTN_0, or a key "
              "number 0 to 767");
    // The same key by name and by number is one line used twice.
    EXPECT_EQ(refusal(wired({"KEY_A", "", "", "30"})),
              "Inputs 0 and 3 are both wired to KEY_A; a key can drive one input only");
    EXPECT_EQ(refusal(wired({"", " "})), "No input is wired: give the key of at least one input");
    KitConfig no_device = wired({"KEY_A"});
    no_device.device = "  ";
    EXPECT_EQ(refusal(no_device), "Choose the input device the start switch is wired to");
    KitConfig bad_led = wired({"KEY_A"});
    bad_led.led_line = "LED_BLINK";
    EXPECT_EQ(refusal(bad_led),
              "LED: \"LED_BLINK\" is not a keyboard LED; give an LED name such as LED_SCROLLL, or a number 0 "
              "to 15");

    // The defaults name real buttons, so they only lack the device.
    const KitConfig defaults = evdev_backend().defaults();
    EXPECT_EQ(defaults.backend, "evdev");
    EXPECT_EQ(refusal(defaults), "Choose the input device the start switch is wired to");
}

TEST(EvdevStamp, KernelStampsLandOnTheCounterAsTheCounterItselfCounts) {
    // Monotonic stamps: whole milliseconds, cut, wrapping at 2^32.
    EXPECT_EQ(evdev_stamp_to_counter(100, 999, 0), 100000u);
    EXPECT_EQ(evdev_stamp_to_counter(100, 999999, 0), 100999u);
    EXPECT_EQ(evdev_stamp_to_counter(4294967, 296000, 0), 0u);
    EXPECT_EQ(evdev_stamp_to_counter(4294967, 295999, 0), 0xFFFFFFFFu);
    // Realtime stamps move by the clocks' difference, to the nanosecond, before they are cut.
    EXPECT_EQ(evdev_stamp_to_counter(1700000100, 0, 1700000000LL * 1000000000), 100000u);
    EXPECT_EQ(evdev_stamp_to_counter(1700000100, 0, 1700000000LL * 1000000000 + 1), 99999u);
    EXPECT_EQ(evdev_stamp_to_counter(1700000100, 1, 1700000000LL * 1000000000 + 1), 100000u);
    // Before the monotonic clock's zero (a realtime clock set back) still counts back from the wrap.
    EXPECT_EQ(evdev_stamp_to_counter(0, 0, 1), 0xFFFFFFFFu);

    // Against the real clocks: a monotonic stamp taken now is what the program's counter reads now,
    // and so is a realtime stamp moved by the offset measured (give or take a millisecond boundary).
    const std::uint32_t before = SystemClock().millis();
    timespec mono{};
    timespec real{};
    clock_gettime(CLOCK_MONOTONIC, &mono);
    clock_gettime(CLOCK_REALTIME, &real);
    const std::int64_t offset = realtime_minus_monotonic_ns();
    const std::uint32_t after = SystemClock().millis();
    const std::uint32_t from_mono = evdev_stamp_to_counter(mono.tv_sec, mono.tv_nsec / 1000, 0);
    const std::uint32_t from_real = evdev_stamp_to_counter(real.tv_sec, real.tv_nsec / 1000, offset);
    EXPECT_GE(elapsed_ms(before, from_mono), 0);
    EXPECT_GE(elapsed_ms(from_mono, after), 0);
    EXPECT_GE(elapsed_ms(before, from_real), -1);
    EXPECT_GE(elapsed_ms(from_real, after), -1);
}

TEST(EvdevDecoder, KeysOfWiredInputsBecomeEdgesWithTheirStampsAndNothingElseDoes) {
    EvdevDecoder d({KEY_A, BTN_TRIGGER, -1, -1, -1, KEY_F1});
    EvdevKeyBits down;
    down[KEY_F1] = true;
    down[KEY_B] = true;
    d.reset(down);
    EXPECT_EQ(d.levels(), (KitLevels{false, false, false, false, false, true}));

    std::vector<KitDriverEvent> out;
    const auto at = [](std::uint16_t type, std::uint16_t code, int value, long sec, long usec) {
        input_event e{};
        e.input_event_sec = sec;
        e.input_event_usec = usec;
        e.type = type;
        e.code = code;
        e.value = value;
        return e;
    };
    EXPECT_EQ(d.feed(at(EV_MSC, MSC_SCAN, 0x90001, 50, 1000), 0, out), std::nullopt);
    d.feed(at(EV_KEY, BTN_TRIGGER, 1, 50, 1000), 0, out);
    d.feed(at(EV_SYN, SYN_REPORT, 0, 50, 1000), 0, out);
    d.feed(at(EV_KEY, BTN_TRIGGER, 2, 50, 300000), 0, out); // autorepeat
    d.feed(at(EV_KEY, KEY_B, 0, 50, 400000), 0, out);       // not wired
    d.feed(at(EV_KEY, KEY_F1, 1, 50, 450000), 0, out);      // already down when opened
    d.feed(at(EV_REL, REL_X, 1, 50, 500000), 0, out);
    d.feed(at(EV_KEY, KEY_F1, 0, 50, 600000), 0, out);
    d.feed(at(EV_KEY, BTN_TRIGGER, 0, 51, 7), 0, out);
    // Realtime stamps are moved onto the counter.
    d.feed(at(EV_KEY, KEY_A, 1, 1000000051, 20000), 1000000000LL * 1000000000, out);

    std::vector<std::string> seen;
    for (const KitDriverEvent& e : out) {
        EXPECT_EQ(e.kind, KitDriverEvent::Kind::Edge);
        seen.push_back(std::to_string(e.slot) + (e.level ? "+@" : "-@") + std::to_string(e.stamp));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"1+@50001", "5-@50600", "1-@51000", "0+@51020"}));
    EXPECT_EQ(d.levels(), (KitLevels{true, false, false, false, false, false}));
}

TEST(EvdevDecoder, RecordsUpToTheReportAfterADropAreSkippedAndTheKeyStateTellsWhatChanged) {
    EvdevDecoder d({KEY_A, KEY_B, KEY_C, -1, -1, -1});
    d.reset({});
    std::vector<KitDriverEvent> out;
    const auto rec = [](std::uint16_t type, std::uint16_t code, int value, long usec) {
        input_event e{};
        e.input_event_sec = 10;
        e.input_event_usec = usec;
        e.type = type;
        e.code = code;
        e.value = value;
        return e;
    };
    d.feed(rec(EV_KEY, KEY_B, 1, 0), 0, out);
    EXPECT_EQ(d.feed(rec(EV_SYN, SYN_DROPPED, 0, 5000), 0, out), std::nullopt);
    EXPECT_EQ(d.feed(rec(EV_KEY, KEY_A, 1, 6000), 0, out), std::nullopt); // incomplete: skipped
    EXPECT_EQ(d.feed(rec(EV_SYN, SYN_REPORT, 0, 9000), 0, out), 10009u);
    ASSERT_EQ(out.size(), 1u); // only the press before the gap
    // Read after the gap: A down, B released meanwhile, C untouched.
    EvdevKeyBits down;
    down[KEY_A] = true;
    d.resync(down, 10009, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1].slot, 0);
    EXPECT_TRUE(out[1].level);
    EXPECT_EQ(out[1].stamp, 10009u);
    EXPECT_EQ(out[2].slot, 1);
    EXPECT_FALSE(out[2].level);
    // Records after the gap count again.
    d.feed(rec(EV_KEY, KEY_C, 1, 20000), 0, out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[3].slot, 2);

    // The kernel's key bits are longs, low bit first.
    std::array<unsigned long, 12> longs{};
    longs[BTN_TRIGGER / (sizeof(unsigned long) * 8)] = 1ul << (BTN_TRIGGER % (sizeof(unsigned long) * 8));
    longs[0] = 1ul << KEY_A;
    const EvdevKeyBits bits = evdev_key_bits(longs);
    EXPECT_EQ(bits.count(), 2u);
    EXPECT_TRUE(bits[BTN_TRIGGER]);
    EXPECT_TRUE(bits[KEY_A]);
}

// The driver on its own, reading a FIFO the test writes.
class EvdevFifo : public ::testing::Test {
protected:
    EvdevFifo() { EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0); }
    ~EvdevFifo() override {
        if (writer >= 0) {
            ::close(writer);
        }
    }
    EvdevWiring wiring(std::array<int, 6> keys) {
        EvdevWiring w;
        w.device = path;
        w.keys = keys;
        return w;
    }
    void open_writer() { writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); }
    std::vector<KitDriverEvent> wait(EvdevDriver& driver, bool alive = true) {
        std::vector<KitDriverEvent> out;
        EXPECT_EQ(driver.wait(5000, out), alive);
        return out;
    }

    testing::TempDir dir;
    std::string path = dir.file("switch");
    int writer = -1;
};

TEST_F(EvdevFifo, RecordsArriveWhateverPiecesThePipeCutsThemIntoAndTheWriterClosingIsTheDeviceGone) {
    EvdevDriver driver(wiring({-1, -1, KEY_SPACE, -1, -1, -1}));
    ASSERT_EQ(driver.open(), "");
    EXPECT_EQ(driver.serial(), 0);
    EXPECT_EQ(driver.levels(), KitLevels{});
    driver.wake();
    EXPECT_TRUE(wait(driver).empty());
    open_writer();
    ASSERT_GE(writer, 0);

    const input_event press = key(KEY_SPACE, 1, 70000);
    const auto* bytes = reinterpret_cast<const char*>(&press);
    ASSERT_EQ(::write(writer, bytes, 10), 10);
    EXPECT_TRUE(wait(driver).empty());
    ASSERT_EQ(::write(writer, bytes + 10, sizeof press - 10), static_cast<ssize_t>(sizeof press - 10));
    std::vector<KitDriverEvent> out = wait(driver);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].slot, 2);
    EXPECT_TRUE(out[0].level);
    EXPECT_EQ(out[0].stamp, 70000u);

    // Records read just before the writer went are still delivered.
    ASSERT_TRUE(write_records(writer, {key(KEY_SPACE, 0, 70120), syn(SYN_REPORT, 70120)}));
    ::close(writer);
    writer = -1;
    out = wait(driver, false);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_FALSE(out[0].level);
    EXPECT_EQ(out[0].stamp, 70120u);

    // Back again: a new writer is a device plugged in again.
    ASSERT_EQ(driver.open(), "");
    open_writer();
    ASSERT_TRUE(write_records(writer, {key(KEY_SPACE, 1, 80000)}));
    EXPECT_EQ(wait(driver).size(), 1u);
}

TEST_F(EvdevFifo, WhatIsNoInputDeviceIsRefusedAtOpenWithItsReason) {
    EvdevWiring w = wiring({KEY_A, -1, -1, -1, -1, -1});
    w.device = dir.file("missing");
    EXPECT_EQ(EvdevDriver(w).open(), "Cannot open " + w.device + ": No such file or directory");
    w.device = dir.file("file");
    std::ofstream(w.device) << "records";
    EXPECT_EQ(EvdevDriver(w).open(), w.device + " is not an input event device (/dev/input/event...)");
    w.device = "/dev/null";
    EXPECT_EQ(EvdevDriver(w).open(), "/dev/null is not an input event device (/dev/input/event...)");
    // There is nothing to list here.
    EXPECT_TRUE(evdev_devices(dir.file("no-input")).empty());
}

// A device whose other end the test holds: a socket pair carries records both ways, so what the
// driver writes (the LED) can be read. open() finds it only while it is plugged in.
class PluggableSocket {
public:
    ~PluggableSocket() {
        unplug();
        close_test_end();
    }
    void plug() {
        const std::lock_guard lock(m_);
        close_test_end();
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        device_ = fds[0];
        test_ = fds[1];
    }
    // The driver reads the end of its records; what it writes while letting go can still be read.
    void unplug() {
        const std::lock_guard lock(m_);
        if (device_ >= 0) {
            ::close(device_);
            device_ = -1;
            ::shutdown(test_, SHUT_WR);
        }
    }
    EvdevDriver::Opener opener() {
        return [this](int flags) {
            const std::lock_guard lock(m_);
            if (device_ < 0) {
                errno = ENOENT;
                return -1;
            }
            const int fd = ::dup(device_);
            ::fcntl(fd, F_SETFL, flags & O_NONBLOCK);
            return fd;
        };
    }
    int test_end() {
        const std::lock_guard lock(m_);
        return test_;
    }
    // The LED records the driver wrote, "on"/"off" each, or "?" for anything else.
    std::string leds() {
        std::string said;
        input_event e[2];
        while (readable_soon(test_end(), 0)) {
            const ssize_t n = ::read(test_end(), e, sizeof e);
            if (n == 0) {
                break; // the driver let go of the device
            }
            if (n != static_cast<ssize_t>(sizeof e)) {
                return said + "?";
            }
            const bool led = e[0].type == EV_LED && e[0].code == LED_SCROLLL && e[1].type == EV_SYN &&
                             e[1].code == SYN_REPORT;
            said += !led ? "?" : e[0].value ? "on " : "off ";
        }
        return said;
    }

private:
    void close_test_end() {
        if (test_ >= 0) {
            ::close(test_);
            test_ = -1;
        }
    }

    std::mutex m_;
    int device_ = -1;
    int test_ = -1;
};

// The kit as the program runs it: a DeviceKit over the driver, on a thread of its own.
struct KitLog {
    std::vector<std::string> seen;
    void listen(InterfaceKit& kit) {
        kit.OnAttach = [this, &kit] { seen.push_back("attach " + std::to_string(kit.serial_number())); };
        kit.OnDetach = [this] { seen.push_back("detach"); };
        kit.OnInputChange = [this](std::int16_t i, bool s, std::uint32_t stamp) {
            seen.push_back(std::to_string(i) + (s ? "+@" : "-@") + std::to_string(stamp));
        };
    }
    // Dispatches until `count` callbacks have come, or the kit has been quiet for a generous while.
    std::vector<std::string> take(InterfaceKit& kit, std::size_t count) {
        while (seen.size() < count && readable_soon(kit.event_fd())) {
            kit.dispatch();
        }
        return std::exchange(seen, {});
    }
};

TEST_F(EvdevFifo, KitMapsInvertsAndDebouncesKeysAndComesBackAfterTheDeviceWasGone) {
    ManualClock clock(60000);
    DeviceKit::Options options;
    options.inverted[4] = true;
    options.debounce_ms = 10;
    options.retry_ms = 10;
    DeviceKit kit(std::make_unique<EvdevDriver>(wiring({BTN_TRIGGER, -1, -1, -1, KEY_ENTER, BTN_0})), options,
                  clock);
    KitLog log;
    log.listen(kit);
    kit.open();
    EXPECT_EQ(log.take(kit, 1), std::vector<std::string>{"attach 0"});
    EXPECT_TRUE(kit.input_state(4)); // inverted: a contact that opens to signal
    open_writer();
    ASSERT_GE(writer, 0);

    // A bouncing contact: the first edge passes at once with its own stamp; the rest only decide where
    // it came to rest, known when the window has passed.
    ASSERT_TRUE(write_records(writer, {key(BTN_TRIGGER, 1, 60000), syn(SYN_REPORT, 60000),
                                       key(BTN_TRIGGER, 0, 60002), key(BTN_TRIGGER, 1, 60004),
                                       key(BTN_TRIGGER, 0, 60006), key(KEY_ENTER, 1, 60007)}));
    EXPECT_EQ(log.take(kit, 2), (std::vector<std::string>{"0+@60000", "4-@60007"}));
    clock.set_millis(60020);
    EXPECT_EQ(log.take(kit, 1), std::vector<std::string>{"0-@60006"});
    EXPECT_FALSE(kit.input_state(0));

    ::close(writer);
    writer = -1;
    EXPECT_EQ(log.take(kit, 2), (std::vector<std::string>{"detach", "attach 0"}));
    open_writer();
    ASSERT_GE(writer, 0);
    ASSERT_TRUE(write_records(writer, {key(BTN_0, 1, 61000), key(BTN_0, 2, 61100)}));
    EXPECT_EQ(log.take(kit, 1), std::vector<std::string>{"5+@61000"});
    EXPECT_TRUE(kit.input_state(5));
}

TEST(EvdevKit, TheLedIsSetAgainWhenTheDeviceComesBack) {
    PluggableSocket socket;
    socket.plug();
    EvdevWiring w;
    w.device = "/dev/input/event7";
    w.keys[0] = KEY_A;
    w.led = LED_SCROLLL;
    DeviceKit::Options options;
    options.retry_ms = 10;
    DeviceKit kit(std::make_unique<EvdevDriver>(w, socket.opener()), options, system_clock());
    KitLog log;
    log.listen(kit);
    kit.open();
    EXPECT_EQ(log.take(kit, 1), std::vector<std::string>{"attach 0"});
    kit.output_state(0, true);
    ASSERT_TRUE(readable_soon(socket.test_end()));
    // The LED as set when the device opened, then on.
    EXPECT_EQ(socket.leds(), "off on ");

    socket.unplug();
    EXPECT_EQ(log.take(kit, 1), std::vector<std::string>{"detach"});
    EXPECT_EQ(socket.leds(), "off ");
    socket.plug();
    EXPECT_EQ(log.take(kit, 1), std::vector<std::string>{"attach 0"});
    ASSERT_TRUE(readable_soon(socket.test_end()));
    EXPECT_EQ(socket.leds(), "on ");
    EXPECT_TRUE(kit.output_state(0));
}

} // namespace
} // namespace veltro
