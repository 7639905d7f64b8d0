// Every operator click in review rewrites the recording header, so one assignment (time, frame,
// click time, dead heat) plus the serialization of the whole header is the path that must stay fast.
#include "recording/xml_header.h"

#include <benchmark/benchmark.h>

namespace {

void BM_SetTimeAndSerialize(benchmark::State& state) {
    veltro::Cls_XML_header header;
    header.Create_Header();
    std::int32_t t = 31250;
    for (auto _ : state) {
        const std::int16_t box = static_cast<std::int16_t>(t % 6 + 1);
        header.Velt_Heat_time(box, false, t);
        header.Velt_heat_frame(box, static_cast<std::int16_t>(t / 40));
        header.Velt_Heat_Click_Time(box, t + 1700);
        header.Velt_dead_heat(box, (t & 1) != 0);
        std::string text = header.XML_string();
        benchmark::DoNotOptimize(text.data());
        t += 10;
    }
}
BENCHMARK(BM_SetTimeAndSerialize);

void BM_SerializeOnly(benchmark::State& state) {
    veltro::Cls_XML_header header;
    header.Create_Header();
    for (auto _ : state) {
        std::string text = header.Get_DOM_string();
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_SerializeOnly);

void BM_LoadHeaderText(benchmark::State& state) {
    veltro::Cls_XML_header source;
    source.Create_Header();
    const std::string text = source.XML_string();
    veltro::Cls_XML_header header;
    for (auto _ : state) {
        header.XML_string(text);
        benchmark::DoNotOptimize(header.Has_XML());
    }
}
BENCHMARK(BM_LoadHeaderText);

} // namespace
