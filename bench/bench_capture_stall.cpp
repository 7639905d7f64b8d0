// Frames lost at a grabber with four buffers at 50 pictures a second while the thread that used to
// take the frames (the window thread) stalls, and while the disk's flush is slow: the frames taken by
// the window thread, as before, against the frames taken by the capture thread, in one run on the
// same pictures. Real time: each case films 3 s.
#include "app/heat_lifecycle.h"
#include "capture/capture_hdmi.h"
#include "capture/fake_v4l2.h"
#include "recording/video_file_handler.h"
#include "support/fault_injection.h"
#include "support/operator.h"
#include "support/settings.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

using namespace veltro;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr std::uint32_t kPeriod = 20;
constexpr int kFrames = 150;

class NoProgress final : public AppendProgress {
public:
    void begin(const std::string&) override {}
    void percent(int) override {}
    void end() override {}
};

// One capture of kFrames pictures; the "window" stalls once, a third of the way in.
void stalled_capture(benchmark::State& state, bool window_takes_frames) {
    const int stall_ms = static_cast<int>(state.range(0));
    const int sync_ms = static_cast<int>(state.range(1));
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "veltro_bench_stall";
    std::filesystem::create_directories(dir);
    set_settings_path((dir / "Veltro_HDMI.ini").string());
    for (auto _ : state) {
        std::filesystem::remove(dir / "heat.px3");
        ManualClock clock(100000);
        testing::FakeV4L2 io(clock, kPeriod);
        io.plug("/fake/video0", {"Grabber", "usb-1", 1920, 1080, 0, true});
        io.drop_when_full(true);
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(
            testing::fake_grabber(io, "/fake/video0", {"Grabber", "usb-1", 1920, 1080, 0, true}));
        cls_Capture_HDMI capture(make_capture_component(std::move(devices), clock), clock);
        capture.watch_device(!window_takes_frames);
        capture.component().SelectSource("video:1");
        cls_VideoFile_handler recording;
        HeatLifecycle heat(capture, recording, clock);
        heat.start_camera(400, 880);
        HeatArming arming;
        heat.initiate((dir / "heat.px3").string(), arming);
        heat.start(clock.millis(), 0, false, {});
        heat.capture_start(true, true, false, clock.millis() + 1);
        fault_injection::slow_syncs(sync_ms);

        std::atomic<bool> filmed{false};
        std::thread camera([&] {
            auto at = steady_clock::now();
            for (int i = 0; i < kFrames; ++i) {
                at += milliseconds(kPeriod);
                std::this_thread::sleep_until(at);
                clock.advance(kPeriod);
            }
            filmed = true;
        });
        bool stalled = false;
        while (!filmed) {
            if (!stalled && clock.millis() >= 100000 + kFrames * kPeriod / 3) {
                std::this_thread::sleep_for(milliseconds(stall_ms)); // a dialog, a print, a repaint
                stalled = true;
            }
            if (window_takes_frames) {
                capture.dispatch_now();
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        camera.join();
        NoProgress progress;
        heat.capture_end(true, false, 10000, progress);
        fault_injection::slow_syncs(0);
        state.counters["lost"] = io.dropped.load();
        state.counters["longest_wait_ms"] = io.longest_wait_ms.load();
        state.counters["stored"] = recording.xml_header().G_Frames_no();
        heat.finish();
    }
    set_settings_path({});
    std::filesystem::remove_all(dir);
}

void BM_WindowThreadTakesFrames(benchmark::State& state) {
    stalled_capture(state, true);
}
void BM_CaptureThreadTakesFrames(benchmark::State& state) {
    stalled_capture(state, false);
}

// {window stall ms, extra ms per flush}
#define CASES ->Args({0, 0})->Args({100, 0})->Args({1000, 0})->Args({0, 250})->Args({0, 1000})
BENCHMARK(BM_WindowThreadTakesFrames) CASES->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureThreadTakesFrames) CASES->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
