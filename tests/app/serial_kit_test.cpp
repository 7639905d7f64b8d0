// The start switch on a serial port's modem lines: the wiring settings, what the port's lines make of
// a contact, the kit built on them, and the parts of the real port that run without an adapter.
#include "app/backends/device_kit.h"
#include "app/backends/serial/interruptible_call.h"
#include "app/backends/serial/serial_kit.h"
#include "app/backends/serial/tty_modem_lines.h"
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
using Counts = std::array<std::uint32_t, kModemInputs.size()>;

// A serial port played from the test. wait() hands out the pushed steps one at a time (each leaves
// the lines as it says) and otherwise waits out its timeout; open() fails while the adapter is
// missing; set() drives the output lines.
class FakeModemLines final : public ModemLines {
public:
    struct Step {
        Wake wake = Wake::Changed;
        int bits = 0;
        Counts changes{};
        std::uint32_t stamp = 0;
    };
    struct Port {
        std::mutex m;
        std::condition_variable cv;
        std::deque<Step> steps;
        int bits = 0;
        Counts changes{};
        bool counted = true;
        bool missing = false;
        bool dead = false;
        bool interrupted = false;
        int outputs = 0;
    };

    explicit FakeModemLines(Port& p) : p_(p) {}

    std::string open(const std::string& device) override {
        const std::lock_guard lock(p_.m);
        if (p_.missing) {
            return device + ": No such file or directory";
        }
        p_.dead = false;
        p_.outputs = TIOCM_RTS | TIOCM_DTR; // what the kernel asserts on opening
        return {};
    }
    void close() override {
        const std::lock_guard lock(p_.m);
        p_.outputs = 0;
    }
    std::string read(ModemReading& out) override {
        const std::lock_guard lock(p_.m);
        if (p_.dead) {
            return "/dev/ttyUSB0: Input/output error";
        }
        out.bits = p_.bits;
        out.changes.reset();
        if (p_.counted) {
            out.changes = p_.changes;
        }
        return {};
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
        const Step s = p_.steps.front();
        p_.steps.pop_front();
        if (s.wake == Wake::Gone) {
            p_.dead = true;
            return {Wake::Gone, s.stamp, "/dev/ttyUSB0: Input/output error"};
        }
        p_.bits = s.bits;
        p_.changes = s.changes;
        return {s.wake, s.stamp, {}};
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

std::size_t line_of(int bit) {
    std::size_t i = 0;
    while (kModemInputs[i].bit != bit) {
        ++i;
    }
    return i;
}

// Writes the steps of a port's script from what the contacts do, counting changes as a port does.
struct Script {
    FakeModemLines::Port& port;
    int bits = 0;
    Counts changes{};

    void push(Wake wake, std::uint32_t stamp) {
        const std::lock_guard lock(port.m);
        port.steps.push_back({wake, bits, changes, stamp});
        port.cv.notify_all();
    }
    // The lines become `to`; the port wakes the waiter (or not: the change goes unnoticed).
    void change(int to, std::uint32_t stamp, Wake wake = Wake::Changed) {
        for (const ModemInput& in : kModemInputs) {
            if ((bits ^ to) & in.bit) {
                ++changes[line_of(in.bit)];
            }
        }
        bits = to;
        push(wake, stamp);
    }
    // The contact on `bit` closes and opens again before the lines are read.
    void pulse(int bit, std::uint32_t stamp) {
        changes[line_of(bit)] += 2;
        push(Wake::Changed, stamp);
    }
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

std::string events_text(const std::vector<KitDriverEvent>& events) {
    std::string out;
    for (const KitDriverEvent& e : events) {
        out += (out.empty() ? "" : " ") + std::to_string(e.slot) + (e.level ? "+@" : "-@") +
               std::to_string(e.stamp);
    }
    return out;
}

TEST(SerialWiring, RefusesWiringThatCannotWorkAndSaysWhy) {
    struct Case {
        KitConfig config;
        const char* error;
    };
    KitConfig no_port = wiring({{2, "CTS"}});
    no_port.device = "  ";
    const Case cases[] = {
        {no_port, "Choose the serial port of the start switch (such as /dev/ttyUSB0)"},
        {wiring({{2, "CTX"}}), "Input 2: \"CTX\" is not a modem line; use CTS, DSR, DCD or RI"},
        {wiring({{0, "dtr"}}),
         "Input 0: DTR is driven by the program; wire the contact from it to CTS, DSR, DCD or RI"},
        {wiring({{0, "DSR"}, {4, "dsr "}}),
         "Inputs 0 and 4 are both on DSR; each input needs a line of its own"},
        {wiring({}), "No input is on a modem line; wire the start contact to CTS, DSR, DCD or RI"},
        {wiring({{2, "CTS"}}, "CTS"), "The LED cannot be on \"CTS\"; use RTS, DTR or no LED"},
    };
    for (const Case& c : cases) {
        std::string error;
        FakeModemLines::Port port;
        EXPECT_EQ(make_serial_driver(c.config, error, std::make_unique<FakeModemLines>(port)), nullptr);
        EXPECT_EQ(error, c.error);
    }
    // Typed by hand: case and spaces do not matter.
    std::string error = "stale";
    const auto ok = serial_wiring(wiring({{1, " cts"}, {3, "Ri"}, {5, "dcd"}}, " dtr "), error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(ok->inputs, (std::array<int, 6>{0, TIOCM_CTS, 0, TIOCM_RI, 0, TIOCM_CD}));
    EXPECT_EQ(ok->led, TIOCM_DTR);
    FakeModemLines::Port port;
    EXPECT_NE(make_serial_driver(wiring({{2, "CTS"}}), error, std::make_unique<FakeModemLines>(port)),
              nullptr);
    EXPECT_EQ(error, "");
}

TEST(SerialBackend, IsRegisteredAndItsDefaultsMakeADriver) {
    const KitBackend* b = find_kit_backend("serial");
    ASSERT_NE(b, nullptr);
    const KitConfig c = b->defaults();
    EXPECT_EQ(c.backend, "serial");
    std::string error;
    EXPECT_NE(b->make_driver(c, error), nullptr) << error;
}

class SerialDriverTest : public ::testing::Test {
protected:
    std::unique_ptr<KitDriver> driver(const KitConfig& config, int settle_ms = 0) {
        std::string error;
        auto d = make_serial_driver(config, error, std::make_unique<FakeModemLines>(port), {0, settle_ms});
        EXPECT_EQ(error, "");
        return d;
    }
    std::string wait(KitDriver& d, bool* alive = nullptr) {
        std::vector<KitDriverEvent> out;
        const bool a = d.wait(-1, out);
        if (alive) {
            *alive = a;
        } else {
            EXPECT_TRUE(a);
        }
        return events_text(out);
    }

    FakeModemLines::Port port;
    Script script{port};
};

TEST_F(SerialDriverTest, ReportsEachWiredLineThatChangedWithTheMomentThePortWoke) {
    port.bits = TIOCM_DSR;
    script.bits = TIOCM_DSR;
    auto d = driver(wiring({{0, "DCD"}, {1, "DSR"}, {4, "CTS"}}));
    ASSERT_EQ(d->open(), "");
    EXPECT_EQ(d->levels(), (KitLevels{false, true, false, false, false, false}));

    script.change(TIOCM_CTS | TIOCM_CD | TIOCM_RI, 5000); // RI is not wired
    EXPECT_EQ(wait(*d), "0+@5000 1-@5000 4+@5000");
    script.change(TIOCM_CTS | TIOCM_CD, 5100);
    EXPECT_EQ(wait(*d), "");
    EXPECT_EQ(wait(*d), ""); // nothing happened
    // A change the port did not wake for is found when the wait ends anyway, stamped then.
    script.change(TIOCM_CD, 5200, Wake::Quiet);
    EXPECT_EQ(wait(*d), "4-@5200");
}

TEST_F(SerialDriverTest, AContactThatOpenedAgainBeforeTheLinesWereReadIsReportedFromItsClosing) {
    auto d = driver(wiring({{2, "CTS"}}));
    ASSERT_EQ(d->open(), "");
    script.pulse(TIOCM_CTS, 7000);
    EXPECT_EQ(wait(*d), "2+@7000 2-@7000");

    // The lines are read before the counts: a change that falls between shows in the counts first.
    // It is reported once, when the levels show it.
    ++script.changes[line_of(TIOCM_CTS)];
    script.push(Wake::Changed, 7100);
    EXPECT_EQ(wait(*d), "");
    script.bits = TIOCM_CTS;
    script.push(Wake::Quiet, 7105);
    EXPECT_EQ(wait(*d), "2+@7105");
    script.change(0, 7200);
    EXPECT_EQ(wait(*d), "2-@7200");
    script.pulse(TIOCM_CTS, 7300);
    EXPECT_EQ(wait(*d), "2+@7300 2-@7300");

    // A port that counts nothing reports what its levels show.
    port.counted = false;
    script.pulse(TIOCM_CTS, 7400);
    EXPECT_EQ(wait(*d), "");
    script.change(TIOCM_CTS, 7500);
    EXPECT_EQ(wait(*d), "2+@7500");
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
        d->set_output(false);
        EXPECT_EQ(port.outputs, c.supply) << c.led;
        d->close();
    }
}

TEST_F(SerialDriverTest, ContactsShowingOnceThePortIsPoweredAreTheAttachLevelsNotAChange) {
    auto d = driver(wiring({{2, "CTS"}, {3, "DSR"}}), 5);
    // Closed while the port was shut; the adapter reports it shortly after the supply comes on.
    script.change(TIOCM_CTS, 100);
    ASSERT_EQ(d->open(), "");
    EXPECT_EQ(d->levels(), (KitLevels{false, false, true, false, false, false}));
    EXPECT_EQ(wait(*d), "");
}

TEST_F(SerialDriverTest, AFailedPortIsGoneAndOpensAgainWithTheLevelsItHasThen) {
    auto d = driver(wiring({{2, "CTS"}}));
    ASSERT_EQ(d->open(), "");
    script.push(Wake::Gone, 0);
    bool alive = true;
    EXPECT_EQ(wait(*d, &alive), "");
    EXPECT_FALSE(alive);
    d->close();
    port.missing = true;
    EXPECT_EQ(d->open(), "/dev/ttyUSB0: No such file or directory");
    port.missing = false;
    port.bits = TIOCM_CTS; // held closed while it was away
    ASSERT_EQ(d->open(), "");
    EXPECT_TRUE(d->levels()[2]);
    EXPECT_EQ(wait(*d), "");

    // A read that fails after a wake is gone too.
    port.dead = true;
    script.push(Wake::Quiet, 0);
    EXPECT_EQ(wait(*d, &alive), "");
    EXPECT_FALSE(alive);
}

TEST_F(SerialDriverTest, AWakeEndsTheNextWaitWithoutTakingAChangeEvenWhenItCameWhileOpening) {
    auto d = driver(wiring({{2, "CTS"}}));
    ASSERT_EQ(d->open(), "");
    script.change(TIOCM_CTS, 300);
    d->wake();
    EXPECT_EQ(wait(*d), "");
    EXPECT_EQ(wait(*d), "2+@300");
    d->close();

    auto slow = driver(wiring({{2, "CTS"}}), 5);
    slow->wake(); // the kit is being closed while the port opens
    ASSERT_EQ(slow->open(), "");
    script.change(0, 400);
    EXPECT_EQ(wait(*slow), "");
    EXPECT_EQ(wait(*slow), "2-@400");
}

// The kit on a serial port, on its own thread, as the program runs it.
class SerialKitTest : public ::testing::Test {
protected:
    SerialKitTest() {
        std::string error;
        KitConfig config = wiring({{2, "CTS"}, {3, "DSR"}}, "RTS");
        auto driver = make_serial_driver(config, error, std::make_unique<FakeModemLines>(port), {50, 0});
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
    // Delivers events until `count` have been seen in all.
    void until(std::size_t count) {
        while (seen.size() < count) {
            pollfd p{kit->Event_fd(), POLLIN, 0};
            ASSERT_EQ(::poll(&p, 1, 5000), 1) << "seen so far: " << seen.size();
            kit->dispatch();
        }
    }
    int outputs() {
        const std::lock_guard lock(port.m);
        return port.outputs;
    }

    ManualClock clock{1000};
    FakeModemLines::Port port;
    Script script{port};
    std::unique_ptr<DeviceKit> kit;
    std::vector<std::string> seen;
};

TEST_F(SerialKitTest, ABouncingContactStartsAtItsFirstEdgeAndAnUnpluggedPortComesBack) {
    kit->Open();
    until(1);
    EXPECT_EQ(seen[0], "attach");
    EXPECT_FALSE(kit->InputState(2));
    EXPECT_TRUE(kit->InputState(3)); // inverted, DSR clear
    kit->OutputState(0, true);
    EXPECT_EQ(outputs(), TIOCM_RTS | TIOCM_DTR);

    script.change(TIOCM_CTS, 1000);
    script.change(0, 1003);
    script.change(TIOCM_CTS, 1005);
    script.change(TIOCM_CTS | TIOCM_DSR, 1006);
    until(3);
    EXPECT_EQ(seen[1], "2+@1000");
    EXPECT_EQ(seen[2], "3-@1006");
    // The windows close with the contacts where they came to rest: nothing more.
    clock.set_millis(1050);
    script.change(TIOCM_DSR, 1100);
    until(4);
    EXPECT_EQ(seen[3], "2-@1100");

    // Closed and open again before the port was read: the closing passes, the opening follows when
    // the window closes.
    script.pulse(TIOCM_CTS, 1200);
    until(5);
    EXPECT_EQ(seen[4], "2+@1200");
    clock.set_millis(1300);
    until(6);
    EXPECT_EQ(seen[5], "2-@1200");

    {
        const std::lock_guard lock(port.m);
        port.missing = true;
    }
    script.push(Wake::Gone, 0);
    until(7);
    EXPECT_EQ(seen[6], "detach");
    EXPECT_FALSE(kit->IsAttached());
    {
        const std::lock_guard lock(port.m);
        port.bits = TIOCM_CTS;
        port.missing = false;
    }
    until(8);
    EXPECT_EQ(seen[7], "attach");
    EXPECT_TRUE(kit->InputState(2));
    EXPECT_TRUE(kit->InputState(3));             // DSR clear again
    EXPECT_EQ(outputs(), TIOCM_RTS | TIOCM_DTR); // the LED lit again
}

// A pipe to block in. Should a wait never end (a lost signal), the pipe is closed after half a
// minute: every read then ends at once with something the test does not expect, instead of hanging.
class StuckRead {
public:
    StuckRead() {
        EXPECT_EQ(::pipe(fds_), 0);
        watchdog_ = std::thread([this] {
            std::unique_lock lock(m_);
            if (!cv_.wait_for(lock, std::chrono::seconds(30), [this] { return done_; })) {
                ::close(std::exchange(fds_[1], -1));
            }
        });
    }
    ~StuckRead() {
        {
            const std::lock_guard lock(m_);
            done_ = true;
        }
        cv_.notify_all();
        watchdog_.join();
        ::close(fds_[0]);
        if (fds_[1] >= 0) {
            ::close(fds_[1]);
        }
    }
    int read() {
        char c = 0;
        return static_cast<int>(::read(fds_[0], &c, 1));
    }
    void feed() {
        const std::lock_guard lock(m_);
        ASSERT_EQ(::write(fds_[1], "x", 1), 1);
    }

private:
    int fds_[2]{-1, -1};
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread watchdog_;
};

TEST(InterruptibleCall, EndsAfterItsTimeoutOrWithWhatTheCallGave) {
    using Outcome = InterruptibleCall::Outcome;
    StuckRead pipe;
    const auto read_one = [&] { return pipe.read(); };
    InterruptibleCall call;
    EXPECT_EQ(call.run(0, read_one).outcome, Outcome::TimedOut);
    EXPECT_EQ(call.run(20, read_one).outcome, Outcome::TimedOut);
    pipe.feed();
    auto r = call.run(-1, read_one);
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(r.value, 1);
    r = call.run(-1, [] { return ::close(-1); });
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(r.error, EBADF);

    // An interrupt while nothing waits ends the next wait at once, and that one only.
    call.interrupt();
    bool called = false;
    EXPECT_EQ(call.run(-1,
                       [&] {
                           called = true;
                           return 0;
                       })
                  .outcome,
              Outcome::Interrupted);
    EXPECT_FALSE(called);
    EXPECT_EQ(call.run(0, read_one).outcome, Outcome::TimedOut);

    // The signal of an interrupt that comes just before the blocking call is spent before it is
    // entered; the call must still end.
    for (int round = 0; round < 20; ++round) {
        EXPECT_EQ(call.run(-1,
                           [&] {
                               call.interrupt();
                               return pipe.read();
                           })
                      .outcome,
                  Outcome::Interrupted);
    }
}

TEST(InterruptibleCall, AnInterruptFromAnotherThreadEndsABlockedCallWhenEverItComes) {
    StuckRead pipe;
    InterruptibleCall call;
    std::mutex m;
    std::condition_variable cv;
    int started = 0;
    bool finished = false;
    constexpr int kRounds = 200;
    // The interrupts land before, during and after the call is entered.
    std::thread waker([&] {
        for (int round = 1; round <= kRounds; ++round) {
            std::unique_lock lock(m);
            cv.wait(lock, [&] { return started >= round || finished; });
            lock.unlock();
            call.interrupt();
        }
    });
    int interrupted = 0;
    for (int round = 1; round <= kRounds; ++round) {
        {
            const std::lock_guard lock(m);
            started = round;
        }
        cv.notify_all();
        if (call.run(-1, [&] { return pipe.read(); }).outcome != InterruptibleCall::Outcome::Interrupted) {
            break;
        }
        ++interrupted;
    }
    {
        const std::lock_guard lock(m);
        finished = true;
    }
    cv.notify_all();
    waker.join();
    EXPECT_EQ(interrupted, kRounds);
}

TEST(TtyModemLines, StampsAreOnTheProgramsMillisecondCounter) {
    EXPECT_EQ(counter_ms({0, 999999}), 0u);
    EXPECT_EQ(counter_ms({1, 999999999}), 1999u);
    EXPECT_EQ(counter_ms({4294967, 295999999}), 0xFFFFFFFFu);
    EXPECT_EQ(counter_ms({4294967, 296000000}), 0u); // the counter wraps
    EXPECT_EQ(counter_ms({8589934, 592000001}), 0u);
    timespec before{};
    timespec after{};
    ::clock_gettime(CLOCK_MONOTONIC, &before);
    const std::uint32_t program = system_clock().millis();
    ::clock_gettime(CLOCK_MONOTONIC, &after);
    EXPECT_GE(elapsed_ms(counter_ms(before), program), 0);
    EXPECT_GE(elapsed_ms(program, counter_ms(after)), 0);
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
