// The main window with its start switch on an input device: from the kernel's record to the heat start.
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "evdev_records.h"
#include "fake_operator.h"
#include "scoped_env.h"
#include "startswitch/backends/device_kit.h"
#include "startswitch/kit_backends.h"
#include "startswitch/ui/form_start_switch.h"
#include "support/settings.h"
#include "temp_dir.h"
#include "window_parts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace veltro {
namespace {

class EvdevStartWindow : public ::testing::Test {
protected:
    EvdevStartWindow() : env("VELTRO_DATA_DIR", dir.file("data")) {
        std::filesystem::create_directories(dir.file("data"));
        std::filesystem::create_directories(dir.file("heats"));
        set_settings_path(dir.file("data/Veltro_HDMI.ini"));
        Write_Setting(keys::friendlyname, DemoCamera::kFriendlyName);
        Write_Setting(keys::videoproperty, "0");
        Write_Setting(keys::save_folder, dir.file("heats"));
    }
    ~EvdevStartWindow() override {
        form.reset();
        if (writer >= 0) {
            ::close(writer);
        }
        set_settings_path("");
    }

    void open_window(const KitConfig& config) {
        std::string error;
        std::unique_ptr<KitDriver> driver =
            program_backends().kits.find("evdev")->make_driver(config, clock, error);
        ASSERT_TRUE(driver) << error;
        DeviceKit::Options options;
        options.inverted = config.inverted;
        options.debounce_ms = config.debounce_ms;
        VeltroStart start(program_backends(), clock);
        start.make_component = [this] {
            std::vector<std::unique_ptr<CaptureDevice>> devices;
            devices.push_back(std::make_unique<DemoCamera>(clock));
            return make_capture_component(std::move(devices), clock);
        };
        start.kit = std::make_unique<DeviceKit>(std::move(driver), options, clock);
        kit = start.kit.get();
        start.single_instance = false;
        start.watch_devices = false;
        form = std::make_unique<Form_Veltro>(std::move(start));
        // The kit's thread opens the device and reports it attached.
        ASSERT_TRUE(testing::readable_soon(kit->event_fd()));
        form->dispatch_kit();
    }

    // The window as the program opens it: the kit the settings name.
    void open_window_from_settings() {
        VeltroStart start(program_backends(), clock);
        start.make_component = [this] {
            std::vector<std::unique_ptr<CaptureDevice>> devices;
            devices.push_back(std::make_unique<DemoCamera>(clock));
            return make_capture_component(std::move(devices), clock);
        };
        start.single_instance = false;
        start.watch_devices = false;
        form = std::make_unique<Form_Veltro>(std::move(start));
        form->dispatch_kit();
    }

    void run(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 20) {
            clock.advance(20);
            form->dispatch_capture();
            form->dispatch_kit();
        }
    }
    // The kernel hands the records over; the window handles them when the kit says so.
    void device_says(std::initializer_list<input_event> records) {
        ASSERT_TRUE(testing::write_records(writer, records));
        ASSERT_TRUE(testing::readable_soon(kit->event_fd()));
        form->dispatch_kit();
    }
    QPushButton* button(const char* name) { return form->findChild<QPushButton*>(name); }
    QLabel* label(const char* name) { return form->findChild<QLabel*>(name); }
    // Hands the kit's events to the window, as its descriptor would, until `text` is on the label
    // `name`; false when it is not there within 5 s (the kit's own thread opens the device).
    bool dispatch_until(const char* name, const QString& text) {
        QElapsedTimer waited;
        waited.start();
        while (label(name)->text() != text) {
            if (waited.elapsed() > 5000)
                return false;
            form->dispatch_kit();
            QTest::qWait(1);
        }
        return true;
    }
    // The kit in use as the start-switch page says it: "Attached: " and the device.
    QString kit_status() {
        FormStartSwitch& page = form->start_switch_window();
        page.refresh_status();
        return page.findChild<QLabel*>("Label_kit_status")->text();
    }

    testing::TempDir dir;
    testing::ScopedEnv env;
    testing::FakeOperator op;
    ManualClock clock{100000, 14 * 3600000};
    InterfaceKit* kit = nullptr; // the kit given to the window, if any
    std::unique_ptr<Form_Veltro> form;
    int writer = -1;
};

TEST_F(EvdevStartWindow, TheHeatStartsAtTheKernelStampOfTheRmKeyNotWhenTheWindowGotToIt) {
    const std::string fifo = dir.file("foot-switch");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    KitConfig config;
    config.backend = "evdev";
    config.device = fifo;
    config.lines[0] = "KEY_ENTER"; // RM
    config.lines[1] = "key_space"; // start armed
    open_window(config);
    EXPECT_EQ(label("Label_attached")->text(), "Attached, serial = 0");
    writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);

    run(1200); // past the first second, when inputs start to count
    button("Command_start_camera")->click();
    run(4500);
    button("Command_initiate_file")->click();
    ASSERT_FALSE(testing::file_name(*form).empty());

    device_says({testing::key(KEY_SPACE, 1, clock.millis()), testing::syn(SYN_REPORT, clock.millis())});
    EXPECT_EQ(label("Label_remote_start")->text(), "Start armed!");
    EXPECT_EQ(testing::heat_clock(*form), "00:00,00");

    const std::uint32_t edge = clock.millis() - 50;
    device_says({testing::key(KEY_ENTER, 1, edge), testing::syn(SYN_REPORT, edge)});
    EXPECT_EQ(testing::heat_clock(*form), " 00:00,05"); // since the key went down, not since now
}

// The operator moves the start switch from the simulated kit to a foot switch in the settings page.
TEST_F(EvdevStartWindow, TheSettingsPageChecksTheWiringStoresItAndTakesTheDeviceIntoUseAtOnce) {
    const std::string fifo = dir.file("foot-switch");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    open_window_from_settings();
    const QString simulated = kit_status();
    ASSERT_FALSE(simulated.contains("Linux input device")) << simulated.toStdString();
    FormStartSwitch& page = form->start_switch_window();
    page.load();
    page.show();
    auto* backend = page.findChild<QComboBox*>("Combo_backend");
    backend->setCurrentIndex(backend->findData("evdev"));
    // A new choice starts from that hardware's own wiring.
    EXPECT_EQ(page.findChild<QLineEdit*>("Text_line_0")->text(), "BTN_TRIGGER");
    page.findChild<QComboBox*>("Combo_device")->setEditText(QString::fromStdString(fifo));
    page.findChild<QLineEdit*>("Text_line_0")->setText("KEY_ENTER");
    page.findChild<QLineEdit*>("Text_line_1")->setText("KEY_ENTER");
    page.findChild<QCheckBox*>("Check_inverted_3")->setChecked(true);

    // Two inputs on one key: said, nothing stored, the old kit stays.
    EXPECT_FALSE(page.apply());
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_NE(op.last_message().find("both wired to"), std::string::npos) << op.last_message();
    EXPECT_EQ(load_kit_config().backend, "simulated");
    EXPECT_EQ(kit_status(), simulated);

    page.findChild<QLineEdit*>("Text_line_1")->setText("KEY_SPACE");
    ASSERT_TRUE(page.apply()) << op.last_message();
    const KitConfig stored = load_kit_config();
    EXPECT_EQ(stored.backend, "evdev");
    EXPECT_EQ(stored.device, fifo);
    EXPECT_EQ(stored.lines[1], "KEY_SPACE");
    EXPECT_TRUE(stored.inverted[3]);
    EXPECT_TRUE(dispatch_until("Label_attached", "Attached, serial = 0"))
        << label("Label_attached")->text().toStdString();
    const QString status = page.findChild<QLabel*>("Label_kit_status")->text();
    EXPECT_TRUE(status.startsWith("Attached: Linux input device")) << status.toStdString();
    if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR")) {
        page.grab().save(QString(shots) + "/start_switch_settings.png");
    }

    // The next start of the program takes the same device.
    form.reset();
    open_window_from_settings();
    EXPECT_TRUE(dispatch_until("Label_attached", "Attached, serial = 0"));
    EXPECT_TRUE(kit_status().contains("Linux input device")) << kit_status().toStdString();
}

} // namespace
} // namespace veltro
