// Recording hot paths: the append pass at capture end and one review step.
#include "picture/test_picture.h"
#include "picture/video_buffer.h"
#include "recording/test_recording.h"
#include "recording/video_file_handler.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace veltro;

std::string bench_path(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string(name) + std::to_string(::getpid()) + ".px3"))
        .string();
}

// Capture end of a heat: D from trial frames, then 250 frames compressed and appended, header
// rewritten and flushed.
void BM_AppendPass250(benchmark::State& state) {
    const auto w = static_cast<std::int32_t>(state.range(0));
    const auto h = static_cast<std::int32_t>(state.range(1));
    const CapturedFrames frames(w, h, 250, 1000);
    const std::string path = bench_path("bench_append");
    for (auto _ : state) {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, w, h);
        Append_Test_Frames(rec, frames);
    }
    std::filesystem::remove(path);
}

// One step of the review slider: read a record, decode its JPEG, extract the field.
void BM_ReviewStep(benchmark::State& state) {
    const auto w = static_cast<std::int32_t>(state.range(0));
    const auto h = static_cast<std::int32_t>(state.range(1));
    const std::string path = bench_path("bench_review");
    {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, w, h);
        Append_Test_Frames(rec, CapturedFrames(w, h, 20, 1000));
    }
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    std::int32_t field = 1;
    for (auto _ : state) {
        // Every step shows another frame, so each one reads and decodes.
        field = field + 2 > 40 ? 1 : field + 2;
        rec.Draw_RGB_Field(field);
        benchmark::DoNotOptimize(rec.picture().DIBSectionBitsPtr());
    }
    rec.Close_File();
    std::filesystem::remove(path);
}

BENCHMARK(BM_AppendPass250)->Args({600, 1080})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReviewStep)->Args({400, 880})->Args({600, 1080})->Unit(benchmark::kMillisecond);

} // namespace
