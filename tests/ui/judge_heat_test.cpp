// A heat judged end to end as the operator does it: step through the pictures with the arrow keys,
// watch each dog's nose reach the goal line, click its box, and compare the assigned times with the
// moments the dogs truly crossed. With VELTRO_SCREENSHOT_DIR set the review and the results window
// are also saved as PNG files there (README's pictures are made so, under xvfb-run).
#include "app/review.h"
#include "app/time_text.h"
#include "app/ui/review_controller.h"
#include "app/ui/review_picture.h"
#include "capture/test_picture.h"
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
#include <memory>
#include <vector>

namespace veltro {
namespace {

constexpr std::int32_t kWidth = 480;
constexpr std::int32_t kHeight = 720;
constexpr std::int32_t kFrames = 80;
constexpr std::int32_t kPeriod = 20; // ms between pictures: 50 per second, shown as frames
constexpr std::int32_t kFirstStamp = 30000;
constexpr std::int32_t kStart = 29000;      // the start signal, 1 s before the first picture
constexpr std::int32_t kGoalX = kWidth / 2; // the finish line of the scene, where the goal line lies

// The scene's dog in lane `lane` has its nose (centre + kWidth / 10 + 4) at x = frame (3 + lane) +
// 37 lane - 30 + 52: it reaches the goal line at this (fractional) frame.
double crossing_frame(int lane) {
    return (kGoalX + 30.0 - (kWidth / 10 + 4) - 37.0 * lane) / (3.0 + lane);
}

void record_heat(const std::string& path) {
    cls_VideoFile_handler rec;
    rec.File_name(path);
    rec.RGB_interlaced(false);
    rec.Cropped_X(kWidth);
    rec.Cropped_Y(kHeight);
    rec.Initiate_PX3_File();
    rec.Measured_fps(50);
    rec.Velt_event("Demo meeting");
    rec.Velt_Heat_ID("3");
    rec.Velt_Heat_Name("Sprint 480 m");
    rec.Velt_start_PC_mill(std::to_string(kStart));
    rec.Velt_start_DateTime("2026-12-06 20:15:03");
    rec.Velt_Goal_Finish(std::to_string(kGoalX) + ",20," + std::to_string(kGoalX) + ",700");
    const char* dogs[] = {"Fast Lady", "Slow Joe", "Red Comet", "Blue Moon", "Sandy", "Tiger"};
    for (std::int16_t box = 1; box <= 6; ++box)
        rec.Velt_Dog_name(box, dogs[box - 1]);
    rec.Write_XML_header();
    rec.Close_File();
    std::vector<std::unique_ptr<CVideobuff_RGB>> frames;
    for (std::int32_t i = 0; i < kFrames; ++i) {
        cDIBSection d;
        d.Create(kWidth, kHeight);
        Render_Test_Picture(d, i);
        auto f = std::make_unique<CVideobuff_RGB>();
        f->RGB_Length(d.SizeImage());
        f->FillData_RGB(d.DIBSectionBitsPtr());
        f->PutTimestamp(kFirstStamp + kPeriod * i, 45000000 + kPeriod * i, kPeriod);
        frames.push_back(std::move(f));
    }
    rec.Calculate_Compressed_Size(kFrames, [&](std::int32_t i) -> const CVideobuff_RGB& {
        return *frames[static_cast<std::size_t>(i - 1)];
    });
    rec.Close_File();
    rec.Open_px3_for_Append();
    for (std::int32_t i = 1; i <= kFrames; ++i)
        rec.Append_RGB_Frame(i, *frames[static_cast<std::size_t>(i - 1)]);
    rec.Close_File();
}

// How far the patch just left of the goal line at row y differs from the same patch of another
// picture: the mean over 4 x 5 pixels, so the track's grain does not count.
int difference(const QImage& a, const QImage& b, int y) {
    int sum = 0;
    for (int dy = -2; dy <= 2; ++dy)
        for (int x = kGoalX - 5; x <= kGoalX - 2; ++x) {
            const QColor p = a.pixelColor(x, y + dy), q = b.pixelColor(x, y + dy);
            sum +=
                std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue());
        }
    return sum / 20;
}

TEST(JudgeHeat, EveryAssignedTimeIsWithinOnePicturePeriodOfTheTrueCrossing) {
    testing::TempDir dir;
    testing::ScopedEnv data_env("VELTRO_DATA_DIR", dir.path().string());
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    testing::FakeOperator op;
    // Judged against the raw crossing: no compensation for the camera's delay.
    Write_Setting(keys::goal_compensation, "0");
    const std::string path = dir.file("Demo meeting_3.px3");
    record_heat(path);

    cls_VideoFile_handler rec;
    HeatTiming timing;
    timing.Load_Compensations();
    Review review(rec, timing);
    QWidget window;
    window.setWindowTitle(QString("Veltro_HDMI ") + QString::fromStdString(path));
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
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(controller.Open(path), Review::Open_result::Opened);
    ASSERT_FALSE(review.Field_mode());

    // The operator steps forward and clicks a box the moment its dog's nose touches the line. The
    // nose is seen just before the line, where the track shows beside the painted finish line.
    const QImage empty_track = picture->Shown_image();
    const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR");
    std::vector<bool> judged(6, false);
    int left = 6;
    while (left > 0 && review.Play_position() < review.Slider_max()) {
        QTest::keyClick(slider, Qt::Key_Right);
        const QImage shown = picture->Shown_image();
        for (int lane = 0; lane < 6; ++lane) {
            const int y = lane * (kHeight / 6) + kHeight / 12;
            if (judged[static_cast<std::size_t>(lane)] || difference(shown, empty_track, y) < 70)
                continue;
            const auto box = static_cast<std::int16_t>(lane + 1);
            controller.Box_press(box);
            ASSERT_TRUE(controller.Box_click(box));
            controller.Box_release();
            judged[static_cast<std::size_t>(lane)] = true;
            --left;
            if (shots && box == 3) {
                QApplication::processEvents();
                window.grab().save(QString(shots) + "/review.png");
            }
        }
    }
    ASSERT_EQ(left, 0);

    for (int lane = 0; lane < 6; ++lane) {
        const auto box = static_cast<std::int16_t>(lane + 1);
        const double truth = kFirstStamp - kStart + kPeriod * crossing_frame(lane);
        // The program adds 2 ms to every picture's time.
        EXPECT_LE(std::abs(rec.Velt_Heat_time(box, false) - 2 - truth), kPeriod)
            << "box " << box << " assigned " << Display_Mill_Time(rec.Velt_Heat_time(box, false), true);
    }
    // Lane 6's dog is the fastest, lane 1's the slowest.
    EXPECT_EQ(results.Row(0).dog_name, "Tiger");
    EXPECT_EQ(results.Row(5).dog_name, "Fast Lady");
    if (shots) {
        results.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&results));
        results.grab().save(QString(shots) + "/results.png");
    }
    review.Close();
    set_settings_path({});
}

} // namespace
} // namespace veltro
