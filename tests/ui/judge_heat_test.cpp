// A demo heat judged end to end in the main window as the operator does it: step through the
// pictures with the arrow key, watch each dog's nose reach the goal line, click its box button, and compare
// the assigned times with the true crossing moments the demo recording reports (what `px3tool demo` prints).
// With VELTRO_SCREENSHOT_DIR set the review (while judging, and with every box marked on the play slider)
// and the results window are also saved there as PNG files
// (README's pictures are made so, under xvfb-run).
#include "app/demo_heat.h"
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/backends/demo/demo_race_scene.h"
#include "capture/hdmi_crop.h"
#include "events/ui/form_velt_results.h"
#include "fake_operator.h"
#include "recording/video_file_handler.h"
#include "review/review.h"
#include "review/ui/picture_box.h"
#include "review_parts.h"
#include "scoped_env.h"
#include "support/settings.h"
#include "temp_dir.h"
#include "timing/time_text.h"
#include "timing/ui/box_tile.h"
#include "window_parts.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

namespace veltro {
namespace {

struct Judged {
    std::int32_t assigned = 0;
    std::int32_t truth = 0;
    QString estimate; // beside the time in the results window
};

// Records a demo heat in `format` (0: 25 interlaced frames per second, judged field by field; others
// progressive, frame by frame), judges it in the main window and returns each box's times.
std::array<Judged, 6> judge(std::size_t format, const char* shots) {
    testing::TempDir dir;
    testing::ScopedEnv data_env("VELTRO_DATA_DIR", dir.path().string());
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    testing::FakeOperator op;
    // With the default goal compensation, which takes back the demo camera's capture delay.
    DemoHeatOptions options;
    options.path = dir.file("Test Event_1.px3");
    options.format = format;
    options.fast = true;
    const DemoHeatResult demo = record_demo_heat(options);

    ManualClock clock{100000};
    VeltroStart start(program_backends(), clock);
    start.make_component = [&clock] {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(std::make_unique<DemoCamera>(clock));
        return make_capture_component(std::move(devices), clock);
    };
    start.single_instance = false;
    start.watch_devices = false;
    auto form = std::make_unique<Form_Veltro>(std::move(start));
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->Handle_Open(options.path);
    QSlider* slider = testing::slider_play(*form);
    EXPECT_TRUE(slider->isEnabled());
    // Field by field at 25 frames per second, frame by frame at 50.
    EXPECT_EQ(slider->maximum(), (format == 0 ? 2 : 1) * demo.frames);
    testing::RecordedPictures pictures(options.path);

    // Where the finish column and each dog's head lie in the cropped picture.
    const CropOrigin crop = hdmi_crop_origin(DemoRaceScene::kWidth, DemoRaceScene::kHeight,
                                             options.crop_width, options.crop_height);
    const int finish_x = DemoRaceScene::kFinishX - crop.x0;
    // The goal line is drawn on the finish column.
    const Goal_line line = pictures.opened_goal_line();
    EXPECT_NEAR(testing::drawn_line_x(*testing::picture_live(*form), (line.y1 + line.y2) / 2.0,
                                      bgr_colour(Display_Goal_times().colour))
                    .value_or(-1),
                finish_x, 0.5);

    // Mean brightness of the dog's head rows in the finish column: the track's white finish line
    // until the dark head covers it.
    auto finish_column_brightness = [&](const QImage& image, int box) {
        const auto [first, last] = DemoRaceScene::head_rows(box);
        int sum = 0;
        for (int y = first - crop.y0; y <= last - crop.y0; ++y)
            sum += qGray(image.pixel(finish_x, y));
        return sum / (last - first + 1);
    };
    std::array<Judged, 6> judged{};
    std::array<bool, 6> done{};
    int left = 6;
    testing::show_time(*form, pictures, 1500); // well before the first dog
    while (left > 0 && slider->value() < slider->maximum()) {
        QTest::keyClick(slider, Qt::Key_Right);
        // What is under the goal line: the operator looks past the thin line at the dog.
        const QImage under = pictures.picture(testing::picture_number(*form));
        for (int box = 1; box <= 6; ++box) {
            if (done[static_cast<std::size_t>(box - 1)] || finish_column_brightness(under, box) > 120)
                continue;
            QTest::mouseClick(form->findChild<QPushButton*>(QString("Command_box_%1").arg(box)),
                              Qt::LeftButton);
            done[static_cast<std::size_t>(box - 1)] = true;
            --left;
            if (shots && box == 4 && format == 0) {
                QApplication::processEvents();
                form->grab().save(QString(shots) + "/review.png");
            }
        }
    }
    EXPECT_EQ(left, 0);
    cls_VideoFile_handler stored;
    stored.Open_File(options.path);
    for (int box = 1; box <= 6; ++box) {
        judged[static_cast<std::size_t>(box - 1)] = {
            stored.Velt_Heat_time(static_cast<std::int16_t>(box), false),
            demo.crossing_ms[static_cast<std::size_t>(box - 1)].value_or(-1),
            {}};
    }
    EXPECT_EQ(form->results_window().row(0).rank, "1");
    for (int i = 0; i < 6; ++i) {
        const std::int16_t box = form->results_window().row(i).box;
        if (box < 1 || box > 6)
            continue;
        judged[static_cast<std::size_t>(box - 1)].estimate =
            form->results_window().findChild<QLabel*>(QString("Label_estimate_%1").arg(i))->text();
    }
    if (shots && format == 0) {
        // All six judged: back to the start, then Page Down to the first dog's mark; the six marks
        // and the capture's first picture show on the play slider.
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        slider->setFocus();
        slider->setValue(1);
        QTest::keyClick(slider, Qt::Key_PageDown);
        QApplication::processEvents();
        form->grab().save(QString(shots) + "/review_marks.png");
        Form_Velt_Results& results = form->results_window();
        results.raise();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&results));
        results.grab().save(QString(shots) + "/results.png");
    }
    form.reset();
    set_settings_path({});
    return judged;
}

TEST(JudgeDemoHeat, EveryTimeIsWithinOnePicturePeriodOfTheTrueCrossing) {
    const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR");
    // 25 interlaced, 50 and 200 progressive.
    for (const std::size_t format : {std::size_t{0}, std::size_t{1}, std::size_t{4}}) {
        const std::array<Judged, 6> judged = judge(format, shots);
        const std::int32_t period = format == 0 ? 20 : 1000 / DemoCamera::kRates[format];
        for (int box = 1; box <= 6; ++box) {
            const Judged& j = judged[static_cast<std::size_t>(box - 1)];
            // The first picture showing the nose on the line is at most one picture period (20 ms
            // for a field or a 50 fps frame, 5 ms at 200) after the crossing; the program adds 2 ms
            // to every picture's time.
            EXPECT_GE(j.assigned - 2, j.truth) << "format " << format << " box " << box;
            EXPECT_LE(j.assigned - 2, j.truth + period)
                << "format " << format << " box " << box << ": assigned "
                << Display_Mill_Time(j.assigned, true);
            // Beside it, the estimate between that picture and the one before: "≈ 2,145 ±3 ms".
            const QRegularExpressionMatch m =
                QRegularExpression(QString::fromUtf8("^\u2248 (\\d+),(\\d{3}) \u00b1(\\d+) ms$"))
                    .match(j.estimate);
            ASSERT_TRUE(m.hasMatch()) << j.estimate.toStdString();
            EXPECT_NEAR(m.captured(1).toInt() * 1000 + m.captured(2).toInt(), j.truth, 5) << "box " << box;
        }
    }
}

} // namespace
} // namespace veltro
