// The start switch on a serial port's modem lines: the wiring settings, what the port's lines make of
// a contact, the kit built on them, and the parts of the real port that run without an adapter.
#include "startswitch/backends/device_kit.h"
#include "startswitch/backends/serial/interruptible_call.h"
#include "startswitch/backends/serial/serial_kit.h"
#include "startswitch/backends/serial/tty_modem_lines.h"
#include "temp_dir.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace veltro {
namespace {

using Wake = ModemLines::Wake;

// A serial port played from the test. Its script is written as the contacts act (the counts follow
// as a port keeps them); wait() hands the steps out one at a time, each leaving the lines as it
// says, and otherwise waits out its timeout. open() fails while the adapter is missing.
struct Port {
    struct Step {
        Wake wake;
        ModemReading lines;
        std::uint32_t stamp;
    };
    std::mutex m;
    std::condition_variable cv;
    std::deque<Step> steps;
    ModemReading now{0, std::array<std::uint32_t, 4>{}};
    ModemReading script = now;
    bool missing = false;
    bool dead = false;
    bool interrupted = false;
    int outputs = 0;

    void push(Wake wake, std::uint32_t stamp) {
        const std::lock_guard lock(m);
        steps.push_back({wake, script, stamp});
        cv.notify_all();
    }
    // The lines become `to`; the port wakes the waiter for it, or the change goes unnoticed.
    void change(int to, std::uint32_t stamp, Wake wake = Wake::Changed) {
        for (std::size_t i = 0; i < kModemInputs.size(); ++i) {
            (*script.changes)[i] += ((script.bits ^ to) & kModemInputs[i].bit) != 0;
        }
        script.bits = to;
        push(wake, stamp);
    }
    // The contact on CTS closes and opens again before the lines are read.
    void pulse(std::uint32_t stamp) {
        (*script.changes)[0] += 2;
        push(Wake::Changed, stamp);
    }
};

class FakeModemLines final : public ModemLines {
public:
    explicit FakeModemLines(Port& p) : p_(p) {}

    std::string open(const std::string& device) override {
        const std::lock_guard lock(p_.m);
        p_.dead = false;
        p_.outputs = TIOCM_RTS | TIOCM_DTR; // as the kernel opens a port
        return p_.missing ? device + ": No such file or directory" : "";
    }
    void close() override {}
    std::string read(ModemReading& out) override {
        const std::lock_guard lock(p_.m);
        out = p_.now;
        return p_.dead ? "/dev/ttyUSB0: Input/output error" : "";
    }
    WaitResult wait(int, int timeout_ms) override {
        std::unique_lock lock(p_.m);
        p_.cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                       [&] { return !p_.steps.empty() || p_.interrupted; });
        if (std::exchange(p_.interrupted, false)) {
            return {Wake::Woken, 0, {}};
        }
        if (p_.steps.empty()) {
            return {Wake::Quiet, 0, {}};
        }
        const Port::Step s = p_.steps.front();
        p_.steps.pop_front();
        p_.dead = s.wake == Wake::Gone;
        p_.now = s.lines;
        return {s.wake, s.stamp, p_.dead ? "/dev/ttyUSB0: Input/output error" : ""};
    }
    std::string set(int bits, bool on) override {
        const std::lock_guard lock(p_.m);
        p_.outputs = on ? p_.outputs | bits : p_.outputs & ~bits;
        return {};
    }
    void interrupt() override {
        const std::lock_guard lock(p_.m);
        p_.interrupted = true;
        p_.cv.notify_all();
    }

private:
    Port& p_;
};

KitConfig wiring(std::initializer_list<std::pair<std::size_t, const char*>> lines, const char* led = "") {
    KitConfig c;
    c.backend = "serial";
    c.device = "/dev/ttyUSB0";
    for (const auto& [slot, name] : lines) {
        c.lines[slot] = name;
    }
    c.led_line = led;
    return c;
}

TEST(SerialWiring, RefusesWiringThatCannotWorkAndSaysWhy) {
    KitConfig no_port = wiring({{2, "CTS"}});
    no_port.device = "  ";
    const std::pair<KitConfig, const char*> cases[] = {
        {no_port, "Choose the serial port of the start switch (such as /dev/ttyUSB0)"},
        {wiring({{2, "CTX"}}), "Input 2: \"CTX\" is not a modem line; use CTS, DSR, DCD or RI"},
        {wiring({{0, "dtr"}}),
         "Input 0: DTR is driven by the program; wire the contact from it to CTS, DSR, DCD or RI"},
        {wiring({{0, "DSR"}, {4, "dsr "}}),
         "Inputs 0 and 4 are both on DSR; each input needs a line of its own"},
        {wiring({}), "No input is on a modem line; wire the start contact to CTS, DSR, DCD or RI"},
        {wiring({{2, "CTS"}}, "CTS"), "The LED cannot be on \"CTS\"; use RTS, DTR or no LED"},
    };
    Port port;
    for (const auto& [config, message] : cases) {
        std::string error;
        EXPECT_EQ(make_serial_driver(config, error, std::make_unique<FakeModemLines>(port)), nullptr);
        EXPECT_EQ(error, message);
    }
    // Typed by hand: case and spaces do not matter.
    std::string error;
    const auto ok = serial_wiring(wiring({{1, " cts"}, {3, "Ri"}, {5, "dcd"}}, " dtr "), error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(ok->inputs, (std::array<int, 6>{0, TIOCM_CTS, 0, TIOCM_RI, 0, TIOCM_CD}));
    EXPECT_EQ(ok->led, TIOCM_DTR);
    // The settings page's entry starts from a wiring that works.
    KitBackends kits;
    register_serial_backend(kits);
    const KitBackend& b = kits.list().at(0);
    EXPECT_NE(b.make_driver(b.defaults(), system_clock(), error), nullptr) << error;
}

class SerialDriverTest : public ::testing::Test {
protected:
    std::unique_ptr<KitDriver> driver(const KitConfig& config, int settle_ms = 0) {
        std::string error;
        auto d = make_serial_driver(config, error, std::make_unique<FakeModemLines>(port), {0, settle_ms});
        EXPECT_EQ(error, "");
        return d;
    }
    // What one wait of the kit reports; "gone" when the port failed.
    std::string wait(KitDriver& d) {
        std::vector<KitDriverEvent> out;
        std::string text = d.wait(-1, out) ? "" : "gone";
        for (const KitDriverEvent& e : out) {
            text += (text.empty() ? "" : " ") + std::to_string(e.slot) + (e.level ? "+@" : "-@") +
                    std::to_string(e.stamp);
        }
        return text;
    }

    Port port;
};

TEST_F(SerialDriverTest, ReportsEachWiredLineThatChangedWithTheMomentThePortWoke) {
    port.now.bits = port.script.bits = TIOCM_DSR;
    auto d = driver(wiring({{0, "DCD"}, {1, "DSR"}, {4, "CTS"}}));
    ASSERT_EQ(d->open(), "");
    EXPECT_EQ(d->levels(), (KitLevels{false, true, false, false, false, false}));
    port.change(TIOCM_CTS | TIOCM_CD | TIOCM_RI, 5000); // RI is not wired
    EXPECT_EQ(wait(*d), "0+@5000 1-@5000 4+@5000");
    port.change(TIOCM_CTS | TIOCM_CD, 5100);
    EXPECT_EQ(wait(*d), "");
    // A change the port did not wake for is found when the wait ends anyway, stamped then.
    port.change(TIOCM_CD, 5200, Wake::Quiet);
    EXPECT_EQ(wait(*d), "4-@5200");
}

TEST_F(SerialDriverTest, AContactThatOpenedAgainBeforeTheLinesWereReadIsReportedFromItsClosing) {
    auto d = driver(wiring({{2, "CTS"}}));
    ASSERT_EQ(d->open(), "");
    port.pulse(7000);
    EXPECT_EQ(wait(*d), "2+@7000 2-@7000");
    // The lines are read before the counts: a change between the two shows in the counts first, and
    // is reported once, when the levels show it.
    ++(*port.script.changes)[0];
    port.push(Wake::Changed, 7100);
    EXPECT_EQ(wait(*d), "");
    // Should the contact open again before the next reading, that is a closing and an opening.
    ++(*port.script.changes)[0];
    port.push(Wake::Changed, 7102);
    EXPECT_EQ(wait(*d), "2+@7102 2-@7102");
    ++(*port.script.changes)[0];
    port.push(Wake::Changed, 7104);
    EXPECT_EQ(wait(*d), "");
    port.script.bits = TIOCM_CTS;
    port.push(Wake::Quiet, 7105);
    EXPECT_EQ(wait(*d), "2+@7105");
    port.change(0, 7200);
    EXPECT_EQ(wait(*d), "2-@7200");
    port.pulse(7300);
    EXPECT_EQ(wait(*d), "2+@7300 2-@7300");
}

TEST_F(SerialDriverTest, TheLedIsOnOneOfRtsAndDtrWhileTheOtherPowersTheContacts) {
    struct Case {
        const char* led;
        int lit;
        int supply;
    };
    for (const Case c : {Case{"RTS", TIOCM_RTS, TIOCM_DTR}, Case{"DTR", TIOCM_DTR, TIOCM_RTS},
                         Case{"", 0, TIOCM_RTS | TIOCM_DTR}}) {
        auto d = driver(wiring({{2, "CTS"}}, c.led));
        ASSERT_EQ(d->open(), "");
        d->set_output(false); // as the kit does on opening
        EXPECT_EQ(port.outputs, c.supply) << c.led;
        d->set_output(true);
        EXPECT_EQ(port.outputs, c.supply | c.lit) << c.led;
    }
}

TEST_F(SerialDriverTest, ContactsShowingOnceThePortIsPoweredAreTheAttachLevelsNotAChange) {
    // Closed while the port was shut; the adapter reports it shortly after the supply comes on.
    port.change(TIOCM_CTS, 100);
    auto d = driver(wiring({{2, "CTS"}, {3, "DSR"}}), 5);
    ASSERT_EQ(d->open(), "");
    EXPECT_EQ(d->levels(), (KitLevels{false, false, true, false, false, false}));
    EXPECT_EQ(wait(*d), "");
}

TEST_F(SerialDriverTest, AFailedPortIsGoneAndOpensAgainWithTheLevelsItHasThen) {
    auto d = driver(wiring({{2, "CTS"}}));
    ASSERT_EQ(d->open(), "");
    port.push(Wake::Gone, 0);
    EXPECT_EQ(wait(*d), "gone");
    d->close();
    port.missing = true;
    EXPECT_EQ(d->open(), "/dev/ttyUSB0: No such file or directory");
    port.missing = false;
    port.now.bits = TIOCM_CTS; // held closed while it was away
    ASSERT_EQ(d->open(), "");
    EXPECT_TRUE(d->levels()[2]);
    EXPECT_EQ(wait(*d), "");
    // A read that fails after a wait is gone too.
    port.dead = true;
    EXPECT_EQ(wait(*d), "gone");
}

TEST_F(SerialDriverTest, AWakeEndsTheNextWaitWithoutTakingAChangeEvenWhenItCameWhileOpening) {
    auto d = driver(wiring({{2, "CTS"}}), 5);
    d->wake(); // the kit is being closed while the port opens
    ASSERT_EQ(d->open(), "");
    port.change(TIOCM_CTS, 300);
    EXPECT_EQ(wait(*d), "");
    EXPECT_EQ(wait(*d), "2+@300");
    d->wake();
    EXPECT_EQ(wait(*d), "");
}

// The kit on a serial port, on its own thread, as the program runs it.
class SerialKitTest : public ::testing::Test {
protected:
    SerialKitTest() {
        std::string error;
        auto driver = make_serial_driver(wiring({{2, "CTS"}, {3, "DSR"}}, "RTS"), error,
                                         std::make_unique<FakeModemLines>(port), {50, 0});
        DeviceKit::Options options;
        options.inverted[3] = true; // a contact that opens to signal
        options.debounce_ms = 10;
        options.retry_ms = 1;
        kit = std::make_unique<DeviceKit>(std::move(driver), options, clock);
        kit->OnAttach = [this] { seen.push_back("attach"); };
        kit->OnDetach = [this] { seen.push_back("detach"); };
        kit->OnInputChange = [this](std::int16_t i, bool s, std::uint32_t stamp) {
            seen.push_back(std::to_string(i) + (s ? "+@" : "-@") + std::to_string(stamp));
        };
    }
    // Delivers events until `count` have been seen in all; the last one.
    std::string until(std::size_t count) {
        while (seen.size() < count) {
            pollfd p{kit->event_fd(), POLLIN, 0};
            if (::poll(&p, 1, 5000) != 1) {
                return "nothing after " + std::to_string(seen.size());
            }
            kit->dispatch();
        }
        return seen[count - 1];
    }
    template <typename Fn>
    void with_port(Fn fn) {
        const std::lock_guard lock(port.m);
        fn();
    }

    ManualClock clock{1000};
    Port port;
    std::unique_ptr<DeviceKit> kit;
    std::vector<std::string> seen;
};

TEST_F(SerialKitTest, ABouncingContactStartsAtItsFirstEdgeAndAnUnpluggedPortComesBack) {
    kit->open();
    EXPECT_EQ(until(1), "attach");
    EXPECT_FALSE(kit->input_state(2));
    EXPECT_TRUE(kit->input_state(3)); // inverted, DSR clear
    kit->output_state(0, true);
    with_port([&] { EXPECT_EQ(port.outputs, TIOCM_RTS | TIOCM_DTR); });

    port.change(TIOCM_CTS, 1000);
    port.change(0, 1003);
    port.change(TIOCM_CTS, 1005);
    port.change(TIOCM_CTS | TIOCM_DSR, 1006);
    EXPECT_EQ(until(2), "2+@1000");
    EXPECT_EQ(until(3), "3-@1006");
    // The windows close with the contacts where they came to rest: nothing more.
    clock.set_millis(1050);
    port.change(TIOCM_DSR, 1100);
    EXPECT_EQ(until(4), "2-@1100");
    // Closed and open again before the port was read: the closing passes at once, the opening
    // when the window closes.
    port.pulse(1200);
    EXPECT_EQ(until(5), "2+@1200");
    clock.set_millis(1300);
    EXPECT_EQ(until(6), "2-@1200");

    with_port([&] { port.missing = true; });
    port.push(Wake::Gone, 0);
    EXPECT_EQ(until(7), "detach");
    EXPECT_FALSE(kit->IsAttached());
    with_port([&] {
        port.now.bits = TIOCM_CTS;
        port.missing = false;
    });
    EXPECT_EQ(until(8), "attach");
    EXPECT_TRUE(kit->input_state(2));
    EXPECT_TRUE(kit->input_state(3));
    with_port([&] { EXPECT_EQ(port.outputs, TIOCM_RTS | TIOCM_DTR); }); // the LED lit again
}

TEST(InterruptibleCall, EndsAfterItsTimeoutOrWhenInterruptedEvenJustBeforeTheCall) {
    using Outcome = InterruptibleCall::Outcome;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const auto read_one = [&] {
        char c = 0;
        return static_cast<int>(::read(fds[0], &c, 1));
    };
    ::alarm(30); // a lost signal would block the read for good: the alarm ends the test instead
    InterruptibleCall call;
    EXPECT_EQ(call.run(0, read_one).outcome, Outcome::TimedOut);
    EXPECT_EQ(call.run(20, read_one).outcome, Outcome::TimedOut);
    EXPECT_EQ(::write(fds[1], "x", 1), 1);
    const auto r = call.run(-1, read_one);
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(r.value, 1);
    EXPECT_EQ(call.run(-1, [] { return ::close(-1); }).error, EBADF);

    // An interrupt while nothing waits ends the next wait at once, and that one only.
    call.interrupt();
    bool called = false;
    const auto flag = [&] {
        called = true;
        return 0;
    };
    EXPECT_EQ(call.run(-1, flag).outcome, Outcome::Interrupted);
    EXPECT_FALSE(called);
    EXPECT_EQ(call.run(0, read_one).outcome, Outcome::TimedOut);
    // The signal of an interrupt that comes just before the call is entered is spent before it.
    for (int round = 0; round < 20; ++round) {
        const auto interrupted_then_read = [&] {
            call.interrupt();
            return read_one();
        };
        EXPECT_EQ(call.run(-1, interrupted_then_read).outcome, Outcome::Interrupted);
    }
    // From another thread, whenever it comes.
    std::atomic<bool> done{false};
    std::thread other([&] {
        while (!done) {
            call.interrupt();
        }
    });
    for (int round = 0; round < 200; ++round) {
        EXPECT_EQ(call.run(-1, read_one).outcome, Outcome::Interrupted);
    }
    done = true;
    other.join();
    ::alarm(0);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(TtyModemLines, RefusesWhatIsNoSerialPortWithAReason) {
    TtyModemLines lines;
    testing::TempDir dir;
    EXPECT_EQ(lines.open(dir.file("ttyUSB9")), dir.file("ttyUSB9") + ": No such file or directory");
    std::ofstream(dir.file("plain")) << "x";
    EXPECT_EQ(lines.open(dir.file("plain")),
              dir.file("plain") + " has no modem lines: it is not a serial port");
    // A pseudo terminal is a tty without modem lines.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string pty = ::ptsname(master);
    EXPECT_EQ(lines.open(pty), pty + " has no modem lines: it is not a serial port");
    ::close(master);
}

TEST(TtyModemLines, ListsStableNamesFirstAndOnlyBuiltInPortsWithAUart) {
    testing::TempDir dev;
    testing::TempDir sys;
    namespace fs = std::filesystem;
    fs::create_directories(dev.path() / "serial/by-id");
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "ttyS2", "ttySX", "tty1"}) {
        std::ofstream(dev.file(name)) << "";
    }
    fs::create_symlink("../../ttyUSB2", dev.path() / "serial/by-id/usb-Maker_Adapter_A1-if00-port0");
    for (const auto& [name, type] : {std::pair{"ttyS0", "4"}, std::pair{"ttyS1", "0"}}) {
        fs::create_directories(sys.path() / name);
        std::ofstream(sys.path() / name / "type") << type << "\n";
    }
    // ttyS2 has no type to read and does not answer TIOCMGET: not offered either.
    const std::string d = dev.path().string();
    EXPECT_EQ(serial_ports(d, sys.path().string()),
              (std::vector<std::string>{d + "/serial/by-id/usb-Maker_Adapter_A1-if00-port0", d + "/ttyUSB2",
                                        d + "/ttyUSB10", d + "/ttyACM0", d + "/ttyS0"}));
    EXPECT_TRUE(serial_ports(dev.file("none"), sys.path().string()).empty());
}

} // namespace
} // namespace veltro
