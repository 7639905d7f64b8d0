// The capture delay measured from the main window: the LED box drawn on the live picture of the demo
// camera, the measurement run on a manual clock, and the operator's answer to the compensation.
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/backends/demo/demo_led.h"
#include "capture/led_probe.h"
#include "fake_operator.h"
#include "recording/video_file_handler.h"
#include "review/ui/picture_box.h"
#include "scoped_env.h"
#include "startswitch/backends/simulated/simulated_kit.h"
#include "support/event_log.h"
#include "support/files.h"
#include "support/settings.h"
#include "temp_dir.h"
#include "window_parts.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(CaptureDelayWindow, TheBoxIsDrawnOnTheLivePictureAndOnlyAYesSetsTheGoalCompensation) {
    testing::TempDir dir;
    testing::ScopedEnv env("VELTRO_DATA_DIR", dir.file("data"));
    testing::FakeOperator op;
    std::filesystem::create_directories(dir.file("data"));
    std::filesystem::create_directories(dir.file("heats"));
    set_settings_path(dir.file("data/Veltro_HDMI.ini"));
    Write_Setting(keys::friendlyname, DemoCamera::kFriendlyName);
    Write_Setting(keys::videoproperty, "1");
    Write_Setting(keys::save_folder, dir.file("heats"));
    Write_Setting(keys::goal_compensation, "150");

    ManualClock clock(500000);
    VeltroStart start(program_backends(), clock);
    start.make_component = [&clock] {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(std::make_unique<DemoCamera>(clock));
        return make_capture_component(std::move(devices), clock);
    };
    start.single_instance = false;
    start.watch_devices = false;
    start.kit = std::make_unique<SimulatedKit>(clock);
    {
        Form_Veltro form(std::move(start));
        QAction* measure = form.findChild<QAction*>("item_measure_delay");
        // The clock a millisecond at a time, the frames and the kit taken and the measurement ticked as
        // their descriptors and timer would have it.
        auto run = [&](std::uint32_t ms) {
            for (std::uint32_t t = 0; t < ms; ++t) {
                clock.advance(1);
                if (t % 10 == 9) {
                    form.dispatch_capture();
                    form.dispatch_kit();
                }
                form.measure_delay_tick();
            }
        };
        // A whole measurement: no more than its 20 flashes and the wait for the last one's pictures.
        auto measured = [&] {
            measure->trigger();
            EXPECT_TRUE(measure->isChecked());
            for (int s = 0; s < 30 && measure->isChecked(); ++s) {
                run(1000);
            }
            EXPECT_FALSE(measure->isChecked());
        };
        form.resize(1366, 740);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        run(1200);
        form.findChild<QPushButton*>("Command_start_camera")->click();
        run(3000); // two 50-frame windows: the frame rate is measured

        measure->trigger();
        EXPECT_NE(op.last_message().find("Place the LED box first"), std::string::npos) << op.last_message();
        EXPECT_FALSE(measure->isChecked());

        // The box dragged around the demo's LED, a little larger than the lamp.
        form.findChild<QAction*>("item_place_led_box")->trigger();
        PictureBox* picture = testing::picture_live(form);
        const LedBox led = demo_led_box(400, 880);
        const QTransform to_widget = picture->picture_transform();
        const QPoint from = to_widget.map(QPointF(led.x - 3, led.y - 3)).toPoint();
        const QPoint to = to_widget.map(QPointF(led.x + led.width + 3, led.y + led.height + 3)).toPoint();
        QTest::mousePress(picture, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), picture->mapToGlobal(QPointF(to)), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(picture, &move);
        QTest::mouseRelease(picture, Qt::LeftButton, {}, to);
        const std::optional<LedBox> box = parse_led_box(Read_Setting(keys::led_box));
        ASSERT_TRUE(box) << Read_Setting(keys::led_box);
        EXPECT_LE(box->x, led.x);
        EXPECT_LE(box->y, led.y);
        EXPECT_GE(box->x + box->width, led.x + led.width);
        EXPECT_GE(box->y + box->height, led.y + led.height);
        EXPECT_LE(box->width, 24);
        // The drag went to the box, not to the goal line.
        EXPECT_EQ(Read_Setting(keys::goal_line_1), "N/A");

        // Yes: the goal compensation becomes the delay measured, and the measurement is logged.
        op.answers = {true};
        measured();
        ASSERT_EQ(op.questions.size(), 1u);
        EXPECT_EQ(op.questions[0].rfind("capture delay 199.5 ms \u00b1 5.9 ms (20 flashes)\n", 0), 0u)
            << op.questions[0];
        EXPECT_NE(op.questions[0].find("Set it to the measured delay, 200 ms?"), std::string::npos);
        EXPECT_EQ(Read_Setting(keys::goal_compensation), "200");
        const std::string log = read_whole_file(event_log_path()).value_or("");
        EXPECT_NE(
            log.find("Capture delay measured: Veltro demo race camera, 1920*1080/50: capture delay 199.5 ms"),
            std::string::npos)
            << log;

        // A recording made now carries the measurement.
        form.Update_Running_Fps();
        form.findChild<QPushButton*>("Command_initiate_file")->click();
        {
            cls_VideoFile_handler recording;
            recording.Open_File(testing::file_name(form));
            const std::string carried = recording.xml_header().velt_capture_delay();
            EXPECT_NE(carried.find("; Veltro demo race camera; 1920*1080/50; capture delay 199.5 ms"),
                      std::string::npos)
                << carried;
        }

        // No: the compensation stays.
        Write_Setting(keys::goal_compensation, "150");
        form.Load_Compensations();
        op.answers = {false};
        measured();
        EXPECT_EQ(op.questions.size(), 2u);
        EXPECT_EQ(Read_Setting(keys::goal_compensation), "150");

        // Stopped halfway: no question, and the LED dark from then on.
        measure->trigger();
        run(5000);
        measure->trigger();
        EXPECT_FALSE(measure->isChecked());
        EXPECT_NE(op.last_message().find("stopped"), std::string::npos) << op.last_message();
        bool lit = false;
        for (int t = 0; t < 3000; ++t) {
            run(1);
            lit = lit || demo_led().lit_at(clock.millis());
        }
        EXPECT_FALSE(lit);
        EXPECT_EQ(op.questions.size(), 2u);
        EXPECT_EQ(Read_Setting(keys::goal_compensation), "150");
        form.close();
    }
    set_settings_path("");
}

} // namespace
} // namespace veltro
