// The operator waits on the event file three ways: opening it (read and checked for all 100 heats),
// importing a dog list (every name stored and the editor's heat refreshed) and applying a race card.
#include "events/dog_import.h"
#include "events/event_document.h"
#include "events/event_session.h"
#include "events/race_card.h"
#include "support/operator.h"

#include <benchmark/benchmark.h>
#include <sstream>

namespace {

std::string full_event_bytes() {
    veltro::EventDocument doc;
    doc.Create_Veltro_Race_File();
    for (std::int16_t heat = 1; heat <= veltro::kEventHeats; ++heat)
        for (std::int16_t box = 1; box <= 6; ++box)
            doc.dog_name(heat, box, "Dog " + std::to_string(heat) + "-" + std::to_string(box));
    return doc.serialise();
}

// Every dog name of the event, found as the document finds it and by evaluating the file format's
// XPath text with the library, as it did before.
void BM_FindEveryDogName(benchmark::State& state) {
    veltro::EventDocument doc;
    doc.load(full_event_bytes());
    const bool xpath = state.range(0) != 0;
    for (auto _ : state)
        for (std::int16_t heat = 1; heat <= veltro::kEventHeats; ++heat)
            for (std::int16_t box = 1; box <= 6; ++box) {
                if (xpath)
                    benchmark::DoNotOptimize(
                        doc.dom()
                            .select_node(veltro::EventDocument::dog_name_path(heat, box).c_str())
                            .node());
                else
                    benchmark::DoNotOptimize(doc.dog_name(heat, box));
            }
}
BENCHMARK(BM_FindEveryDogName)->ArgName("xpath")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_OpenEventFile(benchmark::State& state) {
    const std::string bytes = full_event_bytes();
    veltro::EventDocument doc;
    for (auto _ : state) {
        doc.load(bytes);
        benchmark::DoNotOptimize(doc.first_missing_node());
    }
}
BENCHMARK(BM_OpenEventFile)->Unit(benchmark::kMillisecond);

// A dog list for the whole event: "Start NNN" then six names, for every heat.
void BM_ImportDogList(benchmark::State& state) {
    std::string list;
    for (int heat = 1; heat <= veltro::kEventHeats; ++heat) {
        list += "Start" + std::to_string(heat) + "\r\n";
        for (int box = 1; box <= 6; ++box)
            list += "Runner " + std::to_string(heat) + "/" + std::to_string(box) + "\r\n";
    }
    veltro::QuietOperator quiet;
    veltro::EventSession session("/nonexistent/Veltro Event Files");
    session.document().Create_Veltro_Race_File();
    for (auto _ : state) {
        std::istringstream in(list);
        benchmark::DoNotOptimize(veltro::Import_Dogs(in, session));
    }
}
BENCHMARK(BM_ImportDogList)->Unit(benchmark::kMillisecond);

void BM_ApplyRaceCard(benchmark::State& state) {
    std::string csv = "heat;box;name\n";
    for (int heat = 1; heat <= veltro::kEventHeats; ++heat)
        for (int box = 1; box <= 6; ++box)
            csv += std::to_string(heat) + ";" + std::to_string(box) + ";Card " +
                   std::to_string(heat * 10 + box) + "\n";
    const std::optional<veltro::RaceCard> card = veltro::parse_race_card(csv);
    veltro::EventDocument doc;
    for (auto _ : state) {
        doc.Create_Veltro_Race_File();
        benchmark::DoNotOptimize(veltro::apply_race_card(*card, doc));
    }
}
BENCHMARK(BM_ApplyRaceCard)->Unit(benchmark::kMillisecond);

} // namespace
