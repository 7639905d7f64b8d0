// Frames lost at a grabber with four buffers at 50 pictures a second while the thread that used to
// take the frames (the window thread) stalls, and while the disk's flush is slow: the frames taken by
// the window thread, as before, against the frames taken by the capture thread, in one run on the
// same pictures. Real time: each case films 3 s.
#include "fake_heat.h"
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
using bench::kPeriod;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kFrames = 150;

// One capture of kFrames pictures; the "window" stalls once, a third of the way in.
void stalled_capture(benchmark::State& state, bool window_takes_frames) {
    const int stall_ms = static_cast<int>(state.range(0));
    const int sync_ms = static_cast<int>(state.range(1));
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "veltro_bench_stall";
    std::filesystem::create_directories(dir);
    set_settings_path((dir / "Veltro_HDMI.ini").string());
    for (auto _ : state) {
        std::filesystem::remove(dir / "heat.px3");
        bench::FakeHeat h(dir / "heat.px3", !window_takes_frames);
        fault_injection::slow_syncs(sync_ms);

        std::atomic<bool> filmed{false};
        std::thread camera([&] {
            auto at = steady_clock::now();
            for (int i = 0; i < kFrames; ++i) {
                at += milliseconds(kPeriod);
                std::this_thread::sleep_until(at);
                h.clock.advance(kPeriod);
            }
            filmed = true;
        });
        bool stalled = false;
        while (!filmed) {
            if (!stalled && h.clock.millis() >= 100000 + kFrames * kPeriod / 3) {
                std::this_thread::sleep_for(milliseconds(stall_ms)); // a dialog, a print, a repaint
                stalled = true;
            }
            if (window_takes_frames) {
                h.capture->dispatch_now();
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        camera.join();
        h.end();
        fault_injection::slow_syncs(0);
        state.counters["lost"] = h.io.dropped.load();
        state.counters["longest_wait_ms"] = h.io.longest_wait_ms.load();
        state.counters["stored"] = h.recording.xml_header().G_Frames_no();
        h.heat.finish();
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
