// One redraw of the review picture as the window does it when the operator scrubs: read the record,
// decode its JPEG, take the field, work out its heat time, hand it to the picture box (which runs it
// through the view's table) and paint the box: the picture scaled into place, the goal line, handles
// and camera name over it. Each runs plain (1x, as recorded) and through the view (4x around the goal
// line, brightness, contrast and gamma raised), side by side, and each with the read-ahead off (the
// window decodes every picture) and on (the worker has decoded the next picture by the time the
// operator steps, as it has at the display's pace; the figure is the window thread's share).
#include "picture/test_picture.h"
#include "picture/video_buffer.h"
#include "recording/test_recording.h"
#include "recording/video_file_handler.h"
#include "review/read_ahead.h"
#include "review/review.h"
#include "review/ui/picture_box.h"
#include "review/ui/review_overlay.h"
#include "support/settings.h"
#include "timing/heat_timing.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using namespace veltro;

constexpr std::int32_t kFrames = 20;

QApplication& gui() {
    static int argc = 1;
    static char name[] = "bench_review_redraw";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// A picture box the size of the picture (the window shows it about that big), with `overlay` drawn
// over it as the main window does; with `through_view` zoomed 4x on the goal line and enhanced.
struct Shown {
    Shown(std::int32_t w, std::int32_t h, bool through_view, std::function<ReviewOverlay()> overlay)
        : target(w, h, QImage::Format_RGB32) {
        box.resize(w, h);
        box.add_overlay([this, overlay](QPainter& painter, const QSize& size) {
            paint_review_overlay(painter, overlay(), size, box.view_transform());
        });
        if (through_view) {
            const Goal_line line = Reset_Goal_Line(w, h);
            box.view().zoom_by(4, {line.x1 + 0.0, (line.y1 + line.y2) / 2.0}, w, h);
            box.view().step_brightness(+2);
            box.view().step_contrast(+2);
            box.view().step_gamma(+3);
        }
    }
    void show(const cDIBSection& picture) {
        box.show_adjusted(picture);
        box.render(&target);
    }
    PictureBox box;
    QImage target;
};

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
    const auto w = static_cast<std::int32_t>(state.range(0));
    const auto h = static_cast<std::int32_t>(state.range(1));
    const std::string path = write_heat(w, h);
    cls_VideoFile_handler rec;
    HeatTiming timing(system_clock());
    Review review(rec, timing, system_clock());
    if (review.open(path) != Review::OpenResult::Opened) {
        state.SkipWithError("recording did not open");
        return;
    }
    Shown shown(w, h, state.range(2) != 0, [&] { return overlay_of(review, rec, false, false); });
    const bool ahead = state.range(3) != 0;
    review.read_ahead(ahead);
    review.view_band(band_in_view(shown.box.view(), w, h));
    std::int32_t position = 1;
    for (auto _ : state) {
        if (ahead) {
            state.PauseTiming();
            review.settle_read_ahead();
            state.ResumeTiming();
        }
        position = position + 2 > review.slider_max() ? 1 : position + 2;
        review.set_position(position);
        shown.show(review.picture());
        benchmark::DoNotOptimize(shown.target.constBits());
    }
    state.SetLabel(std::string(state.range(2) != 0 ? "4x, enhanced" : "plain") +
                   (ahead ? ", read-ahead" : ""));
    review.close();
    std::filesystem::remove(path);
}

// The window thread's share alone: the picture into the box (and through the table) and the paint.
void BM_ReviewDrawOnly(benchmark::State& state) {
    gui();
    cDIBSection picture;
    picture.Create(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    Render_Test_Picture(picture, 3);
    ReviewOverlay overlay;
    overlay.goal_line = Reset_Goal_Line(picture.Width(), picture.Height());
    overlay.goal_line.x2 += 17; // a slanted line, as cameras are rarely square to the track
    overlay.handles = overlay.goal_line;
    overlay.colour = 0x80FF80;
    overlay.camera_name = "Goal";
    Shown shown(picture.Width(), picture.Height(), state.range(2) != 0, [&] { return overlay; });
    for (auto _ : state) {
        shown.show(picture);
        benchmark::DoNotOptimize(shown.target.constBits());
    }
    state.SetLabel(state.range(2) != 0 ? "4x, enhanced" : "plain");
}

} // namespace

// Plain (0) and through the view (1), without and with the read-ahead, next to each other in one run.
BENCHMARK(BM_ReviewRedraw)
    ->ArgsProduct({{400}, {880}, {0, 1}, {0, 1}})
    ->ArgsProduct({{600}, {1080}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReviewDrawOnly)
    ->ArgsProduct({{400}, {880}, {0, 1}})
    ->ArgsProduct({{600}, {1080}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
