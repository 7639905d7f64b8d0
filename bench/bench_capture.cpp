// The window thread's work per captured frame: crop of a 1920x1080 frame, the store, and the whole
// callback (time stamps, rate window, crop) with the store, for the three picture sizes.
#include "capture/backends/demo/demo_camera.h"
#include "capture/capture_hdmi.h"
#include "capture/hdmi_crop.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

using namespace veltro;

std::vector<std::uint8_t> demo_frame() {
    static const std::vector<std::uint8_t> frame = [] {
        std::vector<std::uint8_t> f(static_cast<std::size_t>(DemoRaceScene::kImageSize));
        DemoRaceScene().render(f.data(), 2100, 2120);
        return f;
    }();
    return frame;
}

void BM_Crop(benchmark::State& state) {
    const auto raw = demo_frame();
    cDIBSection cropped;
    for (auto _ : state) {
        crop_frame(raw.data(), static_cast<std::int32_t>(raw.size()), 1920, 1080,
                   static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)),
                   cropped);
        benchmark::DoNotOptimize(cropped.DIBSectionBitsPtr());
    }
}

struct Source {
    ManualClock clock{1000};
    std::unique_ptr<cls_Capture_HDMI> capture;

    Source(std::int16_t w, std::int16_t h) {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(std::make_unique<DemoCamera>(clock));
        capture =
            std::make_unique<cls_Capture_HDMI>(make_capture_component(std::move(devices), clock), clock);
        capture->component().SelectSource("video:1");
        capture->set_HDMI_Crop(w, h);
        capture->Do_CROP(true);
        capture->MaxFrames(0);
        capture->Post_linear(true);
        capture->Capture_Run();
    }
};

// Frames stored per heat are released now and then outside the timing, as the append pass does.
void release_now_and_then(benchmark::State& state, std::int64_t& stored) {
    if (++stored % 250 == 0) {
        state.PauseTiming();
        frame_collection().clear();
        state.ResumeTiming();
    }
}

void BM_Store(benchmark::State& state) {
    const auto raw = demo_frame();
    Source s(static_cast<std::int16_t>(state.range(0)), static_cast<std::int16_t>(state.range(1)));
    s.capture->OnRGBEvent(raw.data(), static_cast<std::int32_t>(raw.size()), s.clock.millis());
    std::int64_t stored = 0;
    for (auto _ : state) {
        s.capture->Store_HDMI_Buffer();
        release_now_and_then(state, stored);
    }
    frame_collection().clear();
}

void BM_FramePath(benchmark::State& state) {
    const auto raw = demo_frame();
    Source s(static_cast<std::int16_t>(state.range(0)), static_cast<std::int16_t>(state.range(1)));
    std::int64_t stored = 0;
    for (auto _ : state) {
        s.clock.advance(20);
        s.capture->OnRGBEvent(raw.data(), static_cast<std::int32_t>(raw.size()), s.clock.millis());
        s.capture->Store_HDMI_Buffer();
        release_now_and_then(state, stored);
    }
    frame_collection().clear();
}

void BM_DemoRender(benchmark::State& state) {
    DemoRaceScene scene;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(DemoRaceScene::kImageSize));
    double t = 0;
    for (auto _ : state) {
        scene.render(frame.data(), t, t + 20);
        t += 40;
        benchmark::DoNotOptimize(frame.data());
    }
}

BENCHMARK(BM_Crop)->Args({400, 880})->Args({600, 1080})->Args({576, 720})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Store)->Args({400, 880})->Args({600, 1080})->Args({576, 720})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramePath)->Args({400, 880})->Args({600, 1080})->Args({576, 720})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoRender)->Unit(benchmark::kMillisecond);

} // namespace
