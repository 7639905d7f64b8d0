// The moved-camera check at "Initiate file", per live picture at both tall crops: the shift search
// alone (the live picture's edge profiles around the goal line and their correlation with the kept
// ones), and the whole check as the window runs it (the kept file read and parsed, the search, and the
// picture kept again). The check runs on the window thread from a copy of the live picture, never on
// the capture thread; the copy is timed beside it. Last, what moving the demo camera's scene costs.

#include "app/moved_camera.h"
#include "capture/demo_pictures.h"
#include "review/camera_shift.h"
#include "support/trace.h"
#include "temp_dir.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

using namespace veltro;

struct Pictures {
    Goal_line line;
    cDIBSection still;
    cDIBSection live;
};

Pictures pictures(const benchmark::State& state) {
    const DemoRaceScene scene;
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    return {Reset_Goal_Line(width, height), testing::demo_picture(scene, testing::kNoDogs, {}, width, height),
            testing::demo_picture(scene, testing::kDogsAtTheLine, {3, 1}, width, height, 8)};
}

void BM_ShiftSearch(benchmark::State& state) {
    const Pictures p = pictures(state);
    const ShiftReference reference = make_shift_reference(p.still, p.line, "heat");
    for (auto _ : state) {
        const CameraShift shift = measure_camera_shift(reference, p.live);
        benchmark::DoNotOptimize(shift);
    }
}

void BM_WholeCheck(benchmark::State& state) {
    const Pictures p = pictures(state);
    testing::TempDir dir;
    const std::string path = dir.file("reference.txt");
    set_trace_file(dir.file("trace.txt")); // a line a check
    (void)check_moved_camera(path, p.still, p.line, "heat 1");
    for (auto _ : state) {
        // A picture that has not moved: the kept one is read, compared with and replaced every time.
        const MovedCameraCheck check = check_moved_camera(path, p.still, p.line, "heat 2");
        benchmark::DoNotOptimize(check);
    }
    set_trace_file("");
}

void BM_LivePictureCopy(benchmark::State& state) {
    const Pictures p = pictures(state);
    cDIBSection copy;
    copy.Create(p.live.Width(), p.live.Height());
    for (auto _ : state) {
        std::memcpy(copy.DIBSectionBitsPtr(), p.live.DIBSectionBitsPtr(),
                    static_cast<std::size_t>(p.live.SizeImage()));
        benchmark::ClobberMemory();
    }
}

// What the demo camera's shift setting costs it per 1920*1080 frame, on its own timer thread.
void BM_DemoSceneShift(benchmark::State& state) {
    const DemoRaceScene scene;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(DemoRaceScene::kImageSize));
    scene.render(frame.data(), testing::kNoDogs, testing::kNoDogs);
    for (auto _ : state) {
        shift_scene(frame.data(), DemoRaceScene::kWidth, DemoRaceScene::kHeight, DemoRaceScene::kStride,
                    {3, 1});
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(BM_ShiftSearch)->Args({400, 880})->Args({600, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WholeCheck)->Args({400, 880})->Args({600, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LivePictureCopy)->Args({400, 880})->Args({600, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DemoSceneShift)->Unit(benchmark::kMicrosecond);
