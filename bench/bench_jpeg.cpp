// JPEG compress and decompress of a finish-line picture at the recording's quality.
#include "picture/dib_section.h"
#include "picture/jpeg_codec.h"
#include "picture/test_picture.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

using namespace veltro;

void BM_Compress(benchmark::State& state) {
    cDIBSection dib;
    dib.Create(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    Render_Test_Picture(dib, 5);
    std::vector<std::uint8_t> out(dib.SizeImage());
    std::int32_t size = 0;
    for (auto _ : state) {
        size = static_cast<std::int32_t>(out.size());
        JPG_From_DIB(dib, out.data(), size, 80);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["jpeg_bytes"] = size;
}

void BM_Decompress(benchmark::State& state) {
    cDIBSection dib;
    dib.Create(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    Render_Test_Picture(dib, 5);
    std::vector<std::uint8_t> jpg(dib.SizeImage());
    std::int32_t size = static_cast<std::int32_t>(jpg.size());
    JPG_From_DIB(dib, jpg.data(), size, 80);
    cDIBSection out;
    for (auto _ : state) {
        DIB_From_JPG(out, jpg.data(), size);
        benchmark::DoNotOptimize(out.DIBSectionBitsPtr());
    }
}

BENCHMARK(BM_Compress)->Args({600, 1080})->Args({400, 880})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decompress)->Args({600, 1080})->Args({400, 880})->Unit(benchmark::kMillisecond);

} // namespace
