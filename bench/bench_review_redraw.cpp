// One redraw of the review picture as the window does it when the operator scrubs: read the record,
// decode its JPEG, take the field, work out its heat time, copy it into an image and draw the goal
// line, handles and camera name over it.
#include "app/review.h"
#include "app/ui/picture_box.h"
#include "app/ui/review_overlay.h"
#include "picture/test_picture.h"
#include "picture/video_buffer.h"
#include "recording/test_recording.h"
#include "recording/video_file_handler.h"
#include "support/settings.h"
#include "timing/heat_timing.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using namespace veltro;

constexpr std::int32_t kFrames = 20;

QGuiApplication& gui() {
    static int argc = 1;
    static char name[] = "bench_review_redraw";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

std::string write_heat(std::int32_t w, std::int32_t h) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("bench_redraw" + std::to_string(::getpid()) + ".px3"))
            .string();
    cls_VideoFile_handler rec;
    Arm_Test_Recording(rec, path, w, h, true, "1000");
    Append_Test_Frames(rec, CapturedFrames(w, h, kFrames, 13000));
    return path;
}

// Read, decode, field, time, draw: every step lands on another frame, so each one decodes.
void BM_ReviewRedraw(benchmark::State& state) {
    gui();
    set_settings_path((std::filesystem::temp_directory_path() / "bench_redraw.ini").string());
    const std::string path =
        write_heat(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    cls_VideoFile_handler rec;
    HeatTiming timing;
    Review review(rec, timing);
    if (review.Open(path) != Review::Open_result::Opened) {
        state.SkipWithError("recording did not open");
        return;
    }
    std::int32_t position = 1;
    for (auto _ : state) {
        position = position + 2 > review.Slider_max() ? 1 : position + 2;
        review.Set_position(position);
        QImage image = to_qimage(rec.Picture());
        QPainter painter(&image);
        Paint_review_overlay(painter, Overlay_of(review, rec, false, false), image.size());
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    review.Close();
    std::filesystem::remove(path);
}

// The window thread's share alone: copy the rendered field into an image and draw the overlay.
void BM_ReviewDrawOnly(benchmark::State& state) {
    gui();
    cDIBSection picture;
    picture.Create(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    Render_Test_Picture(picture, 3);
    Review_overlay overlay;
    overlay.goal_line = Reset_Goal_Line(picture.Width(), picture.Height());
    overlay.goal_line.x2 += 17; // a slanted line, as cameras are rarely square to the track
    overlay.handles = overlay.goal_line;
    overlay.colour = 0x80FF80;
    overlay.camera_name = "Goal";
    for (auto _ : state) {
        QImage image = to_qimage(picture);
        QPainter painter(&image);
        Paint_review_overlay(painter, overlay, image.size());
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

} // namespace

BENCHMARK(BM_ReviewRedraw)->Args({400, 880})->Args({600, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReviewDrawOnly)->Args({400, 880})->Args({600, 1080})->Unit(benchmark::kMillisecond);
