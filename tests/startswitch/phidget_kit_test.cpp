// The start switch on a vendor kit, through a stand-in for the vendor's library loaded by path.
#include "startswitch/backends/device_kit.h"
#include "startswitch/backends/phidget/phidget_backend.h"

#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>

namespace veltro {
namespace {

const std::vector<std::string> kFake{FAKE_PHIDGET21_PATH};

TEST(PhidgetKitConfig, WiringThatCannotWorkIsRefusedWithItsReason) {
    KitBackends kits;
    register_phidget_backend(kits, kFake);
    const KitBackend& backend = kits.list().at(0);
    const KitConfig good = backend.defaults();
    std::string error = "left over";
    EXPECT_NE(backend.make_driver(good, system_clock(), error), nullptr);
    EXPECT_EQ(error, "");

    struct Case {
        std::function<void(KitConfig&)> change;
        std::string says;
    };
    const std::vector<Case> cases = {
        {[](KitConfig& c) { c.device = "12a"; }, "serial number \"12a\""},
        {[](KitConfig& c) { c.device = "-5"; }, "serial number \"-5\""},
        {[](KitConfig& c) { c.device = "0"; }, "serial number \"0\""},
        {[](KitConfig& c) { c.device = "99999999999"; }, "serial number \"99999999999\""},
        {[](KitConfig& c) { c.lines[2] = "16"; }, "Start switch input 2: \"16\" is not an input"},
        {[](KitConfig& c) { c.lines[0] = "x"; }, "Start switch input 0: \"x\""},
        {[](KitConfig& c) { c.lines[3] = "-1"; }, "Start switch input 3: \"-1\""},
        {[](KitConfig& c) { c.lines[4] = "1"; },
         "Phidget input 1 is given to both start switch inputs 1 and 4"},
        {[](KitConfig& c) { c.led_line = "16"; }, "LED: \"16\" is not an output"},
    };
    for (const Case& c : cases) {
        KitConfig config = good;
        c.change(config);
        EXPECT_EQ(backend.make_driver(config, system_clock(), error), nullptr) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }

    // Blanks, "any" in any case, lines left out and no LED are all fine.
    KitConfig sparse = good;
    sparse.device = " 4711 ";
    sparse.lines = {"3", "", "15", " 0", "", ""};
    sparse.led_line = "";
    const std::optional<PhidgetWiring> wiring = phidget_wiring(sparse, error);
    ASSERT_TRUE(wiring) << error;
    EXPECT_EQ(wiring->serial, 4711);
    EXPECT_EQ(wiring->inputs, (std::array<int, 6>{3, -1, 15, 0, -1, -1}));
    EXPECT_EQ(wiring->led, -1);
    sparse.device = "ANY";
    EXPECT_EQ(phidget_wiring(sparse, error)->serial, -1);
}

TEST(PhidgetLibrary, MissingOrForeignLibraryIsTheReasonTheKitIsNotOpen) {
    PhidgetKitDriver missing({}, {"/nonexistent/libphidget21.so.0", "libphidget21-absent.so"},
                             system_clock());
    EXPECT_EQ(missing.open(), "The Phidget library (libphidget21) is not installed");
    // Asked again (the kit retries), it answers the same and nothing else happens.
    EXPECT_EQ(missing.open(), "The Phidget library (libphidget21) is not installed");
    EXPECT_EQ(missing.library_version(), "");
    missing.close();

    // A library of that name that is something else.
    PhidgetKitDriver foreign({}, {"libz.so.1"}, system_clock());
    EXPECT_EQ(foreign.open(),
              "The Phidget library libz.so.1 is not usable: it has no CPhidgetInterfaceKit_create");
}

// The stand-in's controls, from the same loaded copy the driver uses.
class PhidgetKitTest : public ::testing::Test {
protected:
    void SetUp() override {
        library_ = ::dlopen(FAKE_PHIDGET21_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << ::dlerror();
        bind(reset, "fake_kit_reset");
        bind(attach, "fake_kit_attach");
        bind(detach, "fake_kit_detach");
        bind(input, "fake_kit_input");
        bind(output, "fake_kit_output");
        bind(fail_open, "fake_kit_fail_open");
        bind(handles, "fake_kit_handles");
        bind(wait_open, "fake_kit_wait_open");
        ASSERT_FALSE(HasFailure());
        reset();
    }
    void TearDown() override {
        if (handles) {
            EXPECT_EQ(handles(), 0) << "a kit handle was left open";
        }
    }

    template <class Fn>
    void bind(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(::dlsym(library_, name));
        if (!fn) {
            ADD_FAILURE() << "the stand-in library has no " << name;
        }
    }

    std::unique_ptr<DeviceKit> make_kit(const KitConfig& config) {
        std::string error;
        const std::optional<PhidgetWiring> wiring = phidget_wiring(config, error);
        EXPECT_TRUE(wiring) << error;
        DeviceKit::Options options;
        options.inverted = config.inverted;
        options.debounce_ms = config.debounce_ms;
        auto kit = std::make_unique<DeviceKit>(std::make_unique<PhidgetKitDriver>(*wiring, kFake, clock_),
                                               options, clock_);
        kit->OnAttach = [this] { seen_.push_back("attach"); };
        kit->OnDetach = [this] { seen_.push_back("detach"); };
        kit->OnInputChange = [this](std::int16_t i, bool s, std::uint32_t stamp) {
            seen_.push_back(std::to_string(i) + (s ? "+@" : "-@") + std::to_string(stamp));
        };
        return kit;
    }

    // Delivers the kit's events until `count` have come, waiting up to 5 s for each.
    ::testing::AssertionResult await(DeviceKit& kit, std::size_t count) {
        while (seen_.size() < count) {
            pollfd p{kit.event_fd(), POLLIN, 0};
            if (::poll(&p, 1, 5000) != 1) {
                return ::testing::AssertionFailure() << "only " << seen_.size() << " events came";
            }
            kit.dispatch();
        }
        return ::testing::AssertionSuccess();
    }

    static KitConfig config(std::string device, std::array<std::string, 6> lines, std::string led = "") {
        KitConfig c;
        c.backend = "phidget";
        c.device = std::move(device);
        c.lines = std::move(lines);
        c.led_line = std::move(led);
        c.debounce_ms = 0;
        return c;
    }

    void* library_ = nullptr;
    void (*reset)() = nullptr;
    int (*attach)(int serial, int inputs) = nullptr;
    void (*detach)() = nullptr;
    void (*input)(int index, int state) = nullptr;
    int (*output)(int index) = nullptr;
    void (*fail_open)(int code) = nullptr;
    int (*handles)() = nullptr;
    int (*wait_open)(int timeout_ms) = nullptr;

    ManualClock clock_{5000};
    std::vector<std::string> seen_;
};

TEST_F(PhidgetKitTest, RefusedOpenIsTheLibrarysReasonAndLeavesNoHandle) {
    PhidgetKitDriver driver({.serial = 4711}, kFake, clock_);
    fail_open(13);
    EXPECT_EQ(driver.open(), "The Phidget library could not open kit 4711: the kit did not answer in time");
    EXPECT_EQ(handles(), 0);
    EXPECT_EQ(driver.open(), "");
    EXPECT_EQ(driver.library_version(), "Test library 2.1");
    EXPECT_EQ(handles(), 1);
    driver.close();
}

TEST_F(PhidgetKitTest, LevelsAreTheKitsAtItsAttachAndLaterEdgesFollowIt) {
    PhidgetKitDriver driver({.inputs = {3, -1, -1, -1, -1, -1}}, kFake, clock_);
    ASSERT_EQ(driver.open(), "");
    input(3, 1);
    EXPECT_EQ(attach(77, 8), 1);
    clock_.advance(4);
    input(3, 0); // before the kit's thread has taken the attach
    std::vector<KitDriverEvent> events;
    ASSERT_TRUE(driver.wait(5000, events));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, KitDriverEvent::Kind::Attached);
    EXPECT_TRUE(driver.levels()[0]);
    EXPECT_EQ(driver.serial(), 77);
    events.clear();
    ASSERT_TRUE(driver.wait(5000, events));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, KitDriverEvent::Kind::Edge);
    EXPECT_EQ(events[0].slot, 0);
    EXPECT_FALSE(events[0].level);
    EXPECT_EQ(events[0].stamp, 5004u);
    driver.close();
}

TEST_F(PhidgetKitTest, TakesOnlyItsOwnKitAndReportsInputsMappedInvertedAndStampedAtTheEdge) {
    KitConfig c = config("4711", {"3", "0", "", "", "", "7"});
    c.inverted[1] = true;
    const auto kit = make_kit(c);
    input(3, 1); // closed before the kit is plugged in
    kit->open();
    ASSERT_EQ(wait_open(5000), 1);
    EXPECT_EQ(attach(1234, 16), 0);
    EXPECT_EQ(attach(4711, 16), 1);
    ASSERT_TRUE(await(*kit, 1));
    EXPECT_EQ(kit->serial_number(), 4711);
    EXPECT_TRUE(kit->input_state(0));
    EXPECT_TRUE(kit->input_state(1)); // open, inverted
    EXPECT_FALSE(kit->input_state(5));
    EXPECT_EQ(kit->device_type(), "Test interface kit");

    input(0, 1);
    clock_.advance(7);
    input(9, 1); // not wired
    input(7, 1);
    clock_.advance(5);
    input(3, 0);
    clock_.advance(300); // delivered late, stamped still with their edges
    ASSERT_TRUE(await(*kit, 4));
    EXPECT_EQ(seen_, (std::vector<std::string>{"attach", "1-@5000", "5+@5007", "0-@5012"}));
    EXPECT_FALSE(kit->input_state(0));
}

TEST_F(PhidgetKitTest, DebounceKeepsTheFirstEdgeAndReportsTheLevelABounceLeft) {
    KitConfig c = config("any", {"2", "5", "", "", "", ""});
    c.debounce_ms = 10;
    const auto kit = make_kit(c);
    kit->open();
    ASSERT_EQ(wait_open(5000), 1);
    attach(99, 8);
    ASSERT_TRUE(await(*kit, 1));

    input(2, 1);
    for (const int level : {0, 1, 0}) {
        clock_.advance(2);
        input(2, level);
    }
    // Another line's edge comes out only after the kit has taken the bounces before it.
    input(5, 1);
    ASSERT_TRUE(await(*kit, 3));
    clock_.advance(4); // the end of the first edge's window
    ASSERT_TRUE(await(*kit, 4));
    EXPECT_EQ(seen_, (std::vector<std::string>{"attach", "0+@5000", "1+@5006", "0-@5006"}));
}

TEST_F(PhidgetKitTest, UnpluggedKitDetachesAndComesBackWithItsLedAndInputs) {
    const auto kit = make_kit(config("", {"1", "", "", "", "", ""}, "2"));
    kit->open();
    ASSERT_EQ(wait_open(5000), 1);
    attach(55, 8);
    ASSERT_TRUE(await(*kit, 1));
    kit->output_state(0, true);
    EXPECT_EQ(output(2), 1);

    detach();
    ASSERT_TRUE(await(*kit, 2));
    EXPECT_FALSE(kit->IsAttached());
    input(1, 1); // while unplugged: no event, but the level at the next attach
    attach(55, 8);
    ASSERT_TRUE(await(*kit, 3));
    EXPECT_EQ(output(2), 1); // a kit plugged in has its outputs low; the LED is put back
    EXPECT_TRUE(kit->input_state(0));
    kit->output_state(0, false);
    EXPECT_EQ(output(2), 0);
    clock_.advance(20);
    input(1, 0);
    ASSERT_TRUE(await(*kit, 4));
    EXPECT_EQ(seen_, (std::vector<std::string>{"attach", "detach", "attach", "0-@5020"}));
}

} // namespace
} // namespace veltro
