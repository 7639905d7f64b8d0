// The performance window fed by the main window from the demo camera on a manual clock, and the
// benchmark report of the "Diagnostics" menu. With VELTRO_SCREENSHOT_DIR set the window is saved there
// as a PNG file once frames went missing.
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/ui/form_hdmi_performance.h"
#include "fake_operator.h"
#include "scoped_env.h"
#include "support/settings.h"
#include "temp_dir.h"
#include "window_parts.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

class PerformanceWindow : public ::testing::Test {
protected:
    PerformanceWindow() : env("VELTRO_DATA_DIR", dir.file("data")) {
        std::filesystem::create_directories(dir.file("data"));
        set_settings_path(dir.file("data/Veltro_HDMI.ini"));
        Write_Setting(keys::friendlyname, DemoCamera::kFriendlyName);
        Write_Setting(keys::videoproperty, "0");
        Write_Setting(keys::save_folder, dir.path());
        VeltroStart start(program_backends(), clock);
        start.make_component = [this] {
            std::vector<std::unique_ptr<CaptureDevice>> devices;
            auto demo = std::make_unique<DemoCamera>(clock);
            camera = demo.get();
            devices.push_back(std::move(demo));
            return make_capture_component(std::move(devices), clock);
        };
        start.single_instance = false;
        start.watch_devices = false;
        capture = testing::give_capture(start);
        form = std::make_unique<Form_Veltro>(std::move(start));
    }
    ~PerformanceWindow() override {
        form.reset();
        set_settings_path("");
    }

    void run(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 20) {
            clock.advance(20);
            form->dispatch_capture();
        }
    }
    void live() {
        form->findChild<QPushButton*>("Command_start_camera")->click();
        run(4500);
        ASSERT_EQ(capture->Running_Fps(), 25);
    }
    QAction* item(const char* name) { return form->findChild<QAction*>(name); }
    Form_HDMI_performance* window() { return form->performance_window(); }
    QString text(const char* label) {
        window()->refresh();
        return window()->findChild<QLabel*>(label)->text();
    }
    int count(const char* label) { return text(label).toInt(); }

    testing::TempDir dir;
    testing::ScopedEnv env;
    testing::FakeOperator op;
    ManualClock clock{100000, 50000000};
    DemoCamera* camera = nullptr;
    cls_Capture_HDMI* capture = nullptr;
    std::unique_ptr<Form_Veltro> form;
};

TEST_F(PerformanceWindow, CountsReceivedCalculatedAndLostFramesOfASourceThatDropsFrames) {
    live();
    item("item_hdmi_performance")->trigger();
    ASSERT_NE(window(), nullptr);
    ASSERT_TRUE(window()->isVisible());
    EXPECT_TRUE(item("item_hdmi_performance")->isChecked());
    EXPECT_EQ(text("Label_prop"), QString(DemoCamera::kFriendlyName) + " / " +
                                      QString::fromStdString(capture->Current_PropertyString()));
    EXPECT_EQ(text("Label_HDMI_dimensions"), "1920*1080, 25 fps");
    EXPECT_EQ(text("Label_min_max_fps"), "min max fps: 25 / 200");

    // 25 frames a second for 10 s: as many arrive as should.
    run(10000);
    EXPECT_EQ(count("Label_Frames_received"), 250);
    EXPECT_EQ(count("Label_frames_Calculated"), 250);
    EXPECT_EQ(count("Label_frames_lost"), 0);
    EXPECT_EQ(window()->deltas().size(), 250u);
    EXPECT_EQ(window()->deltas().back(0), 40);

    // Ten frames lost on the way: the window shows them missing, and the gap in the chart.
    camera->drop_frames(10);
    run(2000);
    EXPECT_EQ(camera->frames_dropped(), 10);
    EXPECT_EQ(count("Label_Frames_received"), 290);
    EXPECT_EQ(count("Label_frames_Calculated"), 300);
    EXPECT_EQ(count("Label_frames_lost"), -10);
    bool gap = false;
    for (std::size_t i = 0; i < 50; ++i)
        gap = gap || window()->deltas().back(i) == 440;
    EXPECT_TRUE(gap);
    if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR")) {
        window()->refresh();
        window()->grab().save(QString(shots) + "/hdmi_performance.png");
    }

    // Clicking the lost count starts counting afresh.
    QTest::mouseClick(window()->findChild<QLabel*>("Label_frames_lost"), Qt::LeftButton);
    EXPECT_EQ(count("Label_Frames_received"), 0);
    EXPECT_EQ(count("Label_frames_Calculated"), 0);
    run(400);
    EXPECT_EQ(count("Label_Frames_received"), 10);
    EXPECT_EQ(count("Label_frames_lost"), 0);

    // "Hide  Form" clears the menu check; a hidden window is not fed.
    window()->findChild<QPushButton*>("Command_Hide_Me")->click();
    EXPECT_FALSE(window()->isVisible());
    EXPECT_FALSE(item("item_hdmi_performance")->isChecked());
    run(400);
    EXPECT_EQ(window()->counters().received(), 10);

    // Opened again, it counts from zero.
    item("item_hdmi_performance")->trigger();
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(count("Label_Frames_received"), 0);
    item("item_hdmi_performance")->trigger();
    EXPECT_FALSE(window()->isVisible());
}

TEST_F(PerformanceWindow, WithoutARunningSourceTheWindowStaysClosed) {
    item("item_hdmi_performance")->trigger();
    EXPECT_EQ(op.last_message(), "No active HDMI source!");
    EXPECT_EQ(window(), nullptr);
    EXPECT_FALSE(item("item_hdmi_performance")->isChecked());
}

TEST_F(PerformanceWindow, ChartDrawsEachDeltaUpFromTheBottomAndClipsAtTheTop) {
    live();
    item("item_hdmi_performance")->trigger();
    window()->Plot_Delta(500); // taller than the chart
    window()->Plot_Delta(30);
    window()->refresh();
    QWidget* chart = window()->findChild<QWidget*>("Picture_Delta_Scroll");
    const QImage image = chart->grab().toImage();
    const int w = image.width();
    const int h = image.height();
    const QColor blue(0, 0, 255);
    const QColor yellow(255, 255, 0);
    // The newest column: 30 pixels of blue from the bottom row, black above.
    EXPECT_EQ(image.pixelColor(w - 1, h - 1), blue);
    EXPECT_EQ(image.pixelColor(w - 1, h - 1 - 29), blue);
    EXPECT_EQ(image.pixelColor(w - 1, h - 1 - 31), Qt::black);
    // The one before it reaches the top edge.
    EXPECT_EQ(image.pixelColor(w - 2, 0), blue);
    // The reference lines cross the chart from the left margin + 2, drawn over the columns.
    for (int ms : {20, 40, 80}) {
        EXPECT_EQ(image.pixelColor(2, h - ms), yellow) << ms;
        EXPECT_EQ(image.pixelColor(w - 2, h - ms), yellow) << ms;
    }
    EXPECT_EQ(image.pixelColor(1, h - 40), Qt::black);
}

TEST_F(PerformanceWindow, JpegBenchmarkReportsEveryPictureSize) {
    item("item_jpeg_benchmark")->trigger();
    const std::string report = op.last_message();
    EXPECT_EQ(report.rfind("JPG compression benchmark at: ", 0), 0u) << report;
    for (const char* line : {"\r\nComputer name = ", "\r\nCPU info: ", "\r\n400*880 =  ", "\r\n600*1080 =  ",
                             "\r\n576*720 =  ", "ms\r\n---Report end---"})
        EXPECT_NE(report.find(line), std::string::npos) << line;
}

} // namespace
} // namespace veltro
