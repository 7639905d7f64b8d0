// What a trace line costs the caller: formatting plus a queue append, never a disk write.
#include "support/trace.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

void BM_TraceShortLine(benchmark::State& state) {
    const auto path =
        std::filesystem::temp_directory_path() / ("veltro_trace_bench_" + std::to_string(getpid()) + ".txt");
    veltro::set_trace_file(path.string());
    for (auto _ : state)
        veltro::Trace("*Handle_Start, begin", 42, true);
    veltro::trace_flush();
    veltro::set_trace_file("");
    std::filesystem::remove(path);
    std::filesystem::remove(path.parent_path() / (path.stem().string() + ".old.txt"));
}
BENCHMARK(BM_TraceShortLine)->ThreadRange(1, 2);

void BM_FormatTraceLine(benchmark::State& state) {
    std::tm tm{};
    for (auto _ : state)
        benchmark::DoNotOptimize(veltro::format_trace_line("veltro", true, 1234, 1235, tm, "*Set_Time\t3\t"));
}
BENCHMARK(BM_FormatTraceLine);

} // namespace
