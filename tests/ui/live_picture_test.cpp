// The live picture and the operator screens as they look. With VELTRO_SCREENSHOT_DIR set, the
// pictures are also saved there (scripts/screenshots runs this under a virtual display).
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "fake_operator.h"
#include "review/ui/picture_box.h"
#include "scoped_env.h"
#include "startswitch/backends/simulated/simulated_kit.h"
#include "startswitch/ui/simulated_kit_window.h"
#include "support/settings.h"
#include "support/ui/form_veltro_settings.h"
#include "temp_dir.h"
#include "window_parts.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

void save(QWidget& w, const char* name) {
    if (const char* dir = std::getenv("VELTRO_SCREENSHOT_DIR")) {
        w.grab().save(QString("%1/%2.png").arg(dir, name));
    }
}

int pixels_of(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

TEST(LivePicture, ShowsTheCameraWithGoalLineAndTheCaptureFlowOnScreen) {
    testing::TempDir dir;
    testing::ScopedEnv env("VELTRO_DATA_DIR", dir.file("data"));
    testing::FakeOperator op;
    std::filesystem::create_directories(dir.file("data"));
    std::filesystem::create_directories(dir.file("heats"));
    set_settings_path(dir.file("data/Veltro_HDMI.ini"));
    Write_Setting(keys::friendlyname, DemoCamera::kFriendlyName);
    Write_Setting(keys::videoproperty, "0");
    Write_Setting(keys::save_folder, dir.file("heats"));

    ManualClock clock(500000);
    DemoCamera* camera = nullptr;
    VeltroStart start(program_backends(), clock);
    start.make_component = [&clock, &camera] {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(std::make_unique<DemoCamera>(clock));
        camera = static_cast<DemoCamera*>(devices.back().get());
        return make_capture_component(std::move(devices), clock);
    };
    start.single_instance = false;
    start.watch_devices = false;
    auto simulated = std::make_unique<SimulatedKit>(clock);
    SimulatedKit& kit = *simulated;
    start.kit = std::move(simulated);
    {
        Form_Veltro form(std::move(start));
        auto run = [&](std::uint32_t ms) {
            for (std::uint32_t t = 0; t < ms; t += 20) {
                clock.advance(20);
                form.dispatch_capture();
                form.dispatch_kit();
            }
        };
        form.resize(1366, 740);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        run(1200);
        form.findChild<QPushButton*>("Command_start_camera")->click();
        run(4200);
        form.Update_Running_Fps();
        QApplication::processEvents();

        // The picture box shows the cropped frame (400*880) with the goal line in light green.
        ASSERT_EQ(testing::picture_live(form)->image().size(), QSize(400, 880));
        const QImage shown = testing::picture_live(form)->grab().toImage();
        EXPECT_GT(pixels_of(shown, qRgb(128, 255, 128)), 50);
        save(form, "main_window_live");

        form.findChild<QPushButton*>("Command_initiate_file")->click();
        kit.set_input(1, true);
        kit.set_input(0, true);
        run(20);
        ASSERT_NE(testing::heat_clock(form), "00:00,00"); // the heat runs
        // Capture from a little before the first dog reaches the line until it is on it.
        int lap = 0;
        while (camera->crossing_mill(1, lap) < clock.millis() + 800) {
            ++lap;
        }
        run(camera->crossing_mill(1, lap) - clock.millis() - 800);
        kit.set_input(3, true);
        run(900);
        form.Update_heat_time();
        QApplication::processEvents();
        EXPECT_TRUE(testing::capturing(form));
        save(form, "main_window_capturing");

        SimulatedKitWindow* kit_window = form.simulated_kit_window();
        ASSERT_NE(kit_window, nullptr);
        kit_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(kit_window));
        EXPECT_TRUE(kit_window->input_switch(3)->isChecked());
        EXPECT_TRUE(kit_window->led_on());
        // The window's switches drive the board.
        kit_window->input_switch(3)->click();
        run(20);
        EXPECT_FALSE(testing::capturing(form));
        kit_window->input_switch(3)->click();
        run(20);
        save(*kit_window, "simulated_kit");

        Form_Veltro_settings& settings = form.settings_window();
        settings.load(200, 200, 0);
        settings.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&settings));
        save(settings, "settings_window");
        form.close();
    }
    set_settings_path("");
}

} // namespace
} // namespace veltro

namespace veltro {
namespace {

// As the program runs: real time, the devices' descriptors watched by the window.
TEST(LivePicture, FramesAndKitEventsArriveThroughTheEventLoop) {
    testing::TempDir dir;
    testing::ScopedEnv env("VELTRO_DATA_DIR", dir.file("data"));
    testing::FakeOperator op;
    std::filesystem::create_directories(dir.file("data"));
    set_settings_path(dir.file("data/Veltro_HDMI.ini"));
    Write_Setting(keys::friendlyname, DemoCamera::kFriendlyName);
    Write_Setting(keys::videoproperty, "1");
    VeltroStart start(program_backends(), system_clock());
    start.make_component = [] {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(std::make_unique<DemoCamera>());
        return make_capture_component(std::move(devices), system_clock());
    };
    start.single_instance = false;
    cls_Capture_HDMI* capture = testing::give_capture(start);
    auto simulated = std::make_unique<SimulatedKit>(system_clock());
    SimulatedKit& kit = *simulated;
    start.kit = std::move(simulated);
    {
        Form_Veltro form(std::move(start));
        QLabel* attached = form.findChild<QLabel*>("Label_attached");
        QTRY_VERIFY_WITH_TIMEOUT(attached->text().startsWith("Attached"), 2000);
        form.findChild<QPushButton*>("Command_start_camera")->click();
        QTRY_VERIFY_WITH_TIMEOUT(capture->HDMI_events() > 60, 5000);
        EXPECT_FALSE(testing::picture_live(form)->empty());
        QTest::qWait(1100); // past the kit's settling second
        kit.set_input(0, true);
        QTRY_VERIFY_WITH_TIMEOUT(kit.output_state(0), 2000);
    }
    set_settings_path("");
}

} // namespace
} // namespace veltro
