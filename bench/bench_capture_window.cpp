// The capture path per frame (callback with time stamps, rate window and crop, then the store) with
// and without a visible performance window fed on every frame, side by side. Between frames the
// window events run, as the program's event loop does, so the window's coalesced repaints are paid
// for in the fed run.
#include "capture/backends/demo/demo_camera.h"
#include "capture/capture_hdmi.h"
#include "capture/ui/form_hdmi_performance.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

namespace {

using namespace veltro;

QApplication& app() {
    static int argc = 1;
    static char name[] = "bench_capture_window";
    static char* argv[] = {name, nullptr};
    static QApplication* a = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *a;
}

const std::vector<std::uint8_t>& demo_frame() {
    static const std::vector<std::uint8_t> frame = [] {
        std::vector<std::uint8_t> f(static_cast<std::size_t>(DemoRaceScene::kImageSize));
        DemoRaceScene().render(f.data(), 2100, 2120);
        return f;
    }();
    return frame;
}

void frame_path(benchmark::State& state, bool fed) {
    app();
    const auto& raw = demo_frame();
    ManualClock clock{1000};
    std::vector<std::unique_ptr<CaptureDevice>> devices;
    devices.push_back(std::make_unique<DemoCamera>(clock));
    cls_Capture_HDMI capture(make_capture_component(std::move(devices), clock), clock);
    capture.component().SelectSource("video:1");
    capture.set_HDMI_Crop(static_cast<std::int16_t>(state.range(0)),
                          static_cast<std::int16_t>(state.range(1)));
    capture.Do_CROP(true);
    capture.MaxFrames(0);
    capture.Post_linear(true);
    capture.Capture_Run();
    Form_HDMI_performance window(clock, [] { return 25; });
    if (fed) {
        window.show();
        // The first paint of a new window (fonts, backing store) is paid once, before timing.
        QCoreApplication::processEvents();
        window.repaint();
        QCoreApplication::processEvents();
    }
    std::int64_t stored = 0;
    for (auto _ : state) {
        clock.advance(40);
        capture.OnRGBEvent(raw.data(), static_cast<std::int32_t>(raw.size()), clock.millis());
        if (fed && window.isVisible()) {
            window.HDMI_event(capture.last_Capture_mill(), capture.last_Capture_delta());
        }
        capture.Store_HDMI_Buffer();
        QCoreApplication::processEvents();
        if (++stored % 250 == 0) {
            state.PauseTiming();
            frame_collection().clear();
            state.ResumeTiming();
        }
    }
    frame_collection().clear();
}

void BM_FramePath_WindowHidden(benchmark::State& state) {
    frame_path(state, false);
}
void BM_FramePath_WindowFed(benchmark::State& state) {
    frame_path(state, true);
}

// Each size hidden then fed, one after the other, so the two figures are taken side by side.
BENCHMARK(BM_FramePath_WindowHidden)->Args({400, 880})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramePath_WindowFed)->Args({400, 880})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramePath_WindowHidden)->Args({600, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramePath_WindowFed)->Args({600, 1080})->Unit(benchmark::kMillisecond);

} // namespace
