// A demo heat judged end to end as the operator does it: step through the pictures with the arrow
// key, watch each dog's nose reach the goal line, click its box, and compare the assigned times with
// the true crossing moments the demo recording reports (what `px3tool demo` prints). With
// VELTRO_SCREENSHOT_DIR set the review and the results window are also saved there as PNG files
// (README's pictures are made so, under xvfb-run).
#include "app/demo_heat.h"
#include "app/review.h"
#include "app/time_text.h"
#include "app/ui/review_controller.h"
#include "app/ui/review_picture.h"
#include "capture/backends/demo/demo_race_scene.h"
#include "capture/hdmi_crop.h"
#include "events/ui/form_velt_results.h"
#include "fake_operator.h"
#include "recording/video_file_handler.h"
#include "scoped_env.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QVBoxLayout>
#include <cmath>
#include <gtest/gtest.h>

namespace veltro {
namespace {

struct Judged {
    std::int32_t assigned = 0;
    std::int32_t truth = 0;
};

// Records a demo heat in `format` (0: 25 interlaced frames per second, judged field by field; 1: 50
// progressive, frame by frame), judges it through the review and returns each box's times.
std::array<Judged, 6> judge(std::size_t format, const char* shots) {
    testing::TempDir dir;
    testing::ScopedEnv data_env("VELTRO_DATA_DIR", dir.path().string());
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    testing::FakeOperator op;
    // Judged against the scene's own clock: the demo camera has no delay to compensate.
    Write_Setting(keys::goal_compensation, "0");
    DemoHeatOptions options;
    options.path = dir.file("demo.px3");
    options.format = format;
    options.fast = true;
    const DemoHeatResult demo = Record_Demo_Heat(options);

    cls_VideoFile_handler rec;
    HeatTiming timing;
    timing.Load_Compensations();
    Review review(rec, timing);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* picture = new Review_picture(review, rec, &window);
    auto* slider = new QSlider(Qt::Horizontal, &window);
    auto* time_label = new QLabel(&window);
    QFont big = time_label->font();
    big.setPointSize(16);
    big.setBold(true);
    time_label->setFont(big);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(slider);
    layout->addWidget(time_label);
    Form_Velt_Results results(&window);
    Review_controller controller(rec, timing, review, picture, slider, &results);
    QObject::connect(&controller, &Review_controller::picture_shown, [&] {
        time_label->setText(controller.Frame_time_text() + "    picture " +
                            QString::number(review.Play_position()));
    });
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(controller.Open(options.path), Review::Open_result::Opened);
    EXPECT_EQ(review.Field_mode(), format == 0);

    // Where the finish column and each dog's head lie in the cropped picture.
    const CropOrigin crop = HDMI_Crop_Origin(DemoRaceScene::kWidth, DemoRaceScene::kHeight,
                                             options.crop_width, options.crop_height);
    const int finish_x = DemoRaceScene::kFinishX - crop.x0;
    EXPECT_EQ(review.Drawn_goal_line().x1, finish_x); // the goal line lies on the finish column

    // Mean brightness of the dog's head rows in the finish column: the track's white finish line
    // until the dark head covers it.
    auto finish_column_brightness = [&](const QImage& image, int box) {
        const auto [first, last] = DemoRaceScene::Head_Rows(box);
        int sum = 0;
        for (int y = first - crop.y0; y <= last - crop.y0; ++y)
            sum += qGray(image.pixel(finish_x, y));
        return sum / (last - first + 1);
    };
    std::array<Judged, 6> judged{};
    std::array<bool, 6> done{};
    int left = 6;
    review.Goto_Time(1500); // well before the first dog
    while (left > 0 && review.Play_position() < review.Slider_max()) {
        QTest::keyClick(slider, Qt::Key_Right);
        // What is under the goal line: the operator looks past the thin line at the dog.
        const QImage under = Picture_image(rec.Picture());
        for (int box = 1; box <= 6; ++box) {
            if (done[static_cast<std::size_t>(box - 1)] || finish_column_brightness(under, box) > 120)
                continue;
            controller.Box_press(static_cast<std::int16_t>(box));
            EXPECT_TRUE(controller.Box_click(static_cast<std::int16_t>(box)));
            controller.Box_release();
            done[static_cast<std::size_t>(box - 1)] = true;
            --left;
            if (shots && box == 4 && format == 0) {
                QApplication::processEvents();
                window.grab().save(QString(shots) + "/review.png");
            }
        }
    }
    EXPECT_EQ(left, 0);
    for (int box = 1; box <= 6; ++box) {
        judged[static_cast<std::size_t>(box - 1)] = {
            rec.Velt_Heat_time(static_cast<std::int16_t>(box), false),
            demo.crossing_ms[static_cast<std::size_t>(box - 1)].value_or(-1)};
    }
    EXPECT_EQ(results.Row(0).rank, "1");
    if (shots && format == 0) {
        results.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&results));
        results.grab().save(QString(shots) + "/results.png");
    }
    review.Close();
    set_settings_path({});
    return judged;
}

TEST(JudgeDemoHeat, EveryTimeIsWithinOnePicturePeriodOfTheTrueCrossing) {
    const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR");
    for (const std::size_t format : {std::size_t{0}, std::size_t{1}}) {
        const std::array<Judged, 6> judged = judge(format, shots);
        for (int box = 1; box <= 6; ++box) {
            const Judged& j = judged[static_cast<std::size_t>(box - 1)];
            // The first picture showing the nose on the line is at most one picture period (20 ms,
            // a field or a 50 fps frame) after the crossing; the program adds 2 ms to every
            // picture's time.
            EXPECT_GE(j.assigned - 2, j.truth) << "format " << format << " box " << box;
            EXPECT_LE(j.assigned - 2, j.truth + 20) << "format " << format << " box " << box << ": assigned "
                                                    << Display_Mill_Time(j.assigned, true);
        }
    }
}

} // namespace
} // namespace veltro
