// Capture end to reviewable: how long the operator waits after a capture of 1500 frames of 600*1080
// before the heat can be judged. Side by side, with the same frames: the sequential design (every
// frame held raw until capture ends, then compressed and appended one by one) and the capture
// session (frames compressed while capturing, spooled, and written from the spool in one pass).
// The session's frames are stored before the clock starts and the workers are let finish them, as
// they do at 50 frames a second; what is timed is only what happens after capture ends.
#include "app/capture_session.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/capture_hdmi.h"
#include "capture/frame_collection.h"
#include "capture/hdmi_crop.h"
#include "recording/video_file_handler.h"
#include "support/clocks.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

using namespace veltro;

constexpr std::int32_t kFrames = 1500;
constexpr std::int16_t kWidth = 600;
constexpr std::int16_t kHeight = 1080;

struct Frame {
    cDIBSection picture;
    std::int32_t mill = 0;
};

// Fifty different pictures of the race, in turn.
const std::vector<Frame>& pictures() {
    static const std::vector<Frame> frames = [] {
        std::vector<Frame> f(50);
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(DemoRaceScene::kImageSize));
        DemoRaceScene scene;
        for (std::size_t i = 0; i < f.size(); ++i) {
            const double t = 1800.0 + 20.0 * static_cast<double>(i);
            scene.render(raw.data(), t, t + 20);
            crop_frame(raw.data(), static_cast<std::int32_t>(raw.size()), 1920, 1080, kWidth, kHeight,
                       f[i].picture);
        }
        return f;
    }();
    return frames;
}

std::string new_recording(cls_VideoFile_handler& recording) {
    const auto path = std::filesystem::temp_directory_path() / "bench_capture_end.px3";
    std::filesystem::remove(path);
    std::filesystem::remove(path.string() + ".spool");
    recording.File_name(path.string());
    recording.Cropped_X(kWidth);
    recording.Cropped_Y(kHeight);
    recording.Initiate_PX3_File();
    recording.Close_File();
    return path.string();
}

void BM_SequentialCaptureEnd(benchmark::State& state) {
    const auto& frames = pictures();
    for (auto _ : state) {
        cls_VideoFile_handler recording;
        const std::string path = new_recording(recording);
        for (std::int32_t i = 0; i < kFrames; ++i) {
            const cDIBSection& picture = frames[static_cast<std::size_t>(i) % frames.size()].picture;
            auto item = std::make_unique<CVideobuff_RGB>();
            item->RGB_Length(picture.SizeImage());
            item->FillData_RGB(picture.DIBSectionBitsPtr());
            item->PutTimestamp(20 * i, 20 * i, 20);
            frame_collection().add(std::move(item));
        }
        const auto start = std::chrono::steady_clock::now();
        recording.Calculate_Compressed_Size(
            kFrames, [](std::int32_t n) -> const CVideobuff_RGB& { return frame_collection().item(n); });
        recording.Close_File();
        recording.Open_px3_for_Append();
        for (std::int32_t n = 1; n <= kFrames; ++n) {
            recording.Append_RGB_Frame(n, frame_collection().item(n));
        }
        recording.Close_File();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        frame_collection().clear();
        std::filesystem::remove(path);
    }
}

void BM_SessionCaptureEnd(benchmark::State& state) {
    const auto& frames = pictures();
    ManualClock clock;
    for (auto _ : state) {
        cls_VideoFile_handler recording;
        const std::string path = new_recording(recording);
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(std::make_unique<DemoCamera>(clock));
        cls_Capture_HDMI capture(make_capture_component(std::move(devices), clock), clock);
        CaptureSession session(recording, capture, system_clock());
        const cDIBSection& first = frames.front().picture;
        session.camera_started(first.Width(), first.Height(), 80, {0, false});
        session.begin(0);
        for (std::int32_t i = 0; i < kFrames; ++i) {
            capture.locked([&] {
                session.frame(frames[static_cast<std::size_t>(i) % frames.size()].picture,
                              static_cast<std::uint32_t>(20 * i), 20 * i, 20);
            });
        }
        while (session.counters().written < kFrames) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const auto start = std::chrono::steady_clock::now();
        if (session.end({}) != kFrames) {
            state.SkipWithError("frames missing");
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        std::filesystem::remove(path);
    }
}

BENCHMARK(BM_SequentialCaptureEnd)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SessionCaptureEnd)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
