// The estimate of six boxes' crossings in a demo heat at 600*1080, as the window works it out after a
// click: first on a recording just opened (the empty track made from nine pictures, then two pictures per
// box, band only), then again with those pictures kept. Beside it, what reading the same twelve pictures
// whole with the reader costs, which is what stepping to them in the review does.
#include "app/demo_heat.h"
#include "capture/backends/demo/demo_race_scene.h"
#include "capture/hdmi_crop.h"
#include "recording/finish_estimator.h"
#include "recording/finish_strip.h"
#include "recording/video_file_handler.h"
#include "support/settings.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using namespace veltro;

constexpr std::int16_t kWidth = 600;
constexpr std::int16_t kHeight = 1080;

struct Heat {
    std::string path;
    StripLine line;
    BoxPositions given{};
};

// The demo heats, recorded once per format, each box given the first picture at or past its crossing.
class Heats {
public:
    ~Heats() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const Heat& heat(std::size_t format) {
        auto it = heats_.find(format);
        if (it != heats_.end()) {
            return it->second;
        }
        std::filesystem::create_directories(folder_);
        set_settings_path((folder_ / "Veltro_HDMI.ini").string());
        DemoHeatOptions options;
        options.path = (folder_ / ("heat" + std::to_string(format) + ".px3")).string();
        options.format = format;
        options.crop_width = kWidth;
        options.crop_height = kHeight;
        options.capture_ms = 2600;
        options.fast = true;
        const DemoHeatResult result = record_demo_heat(options);
        Heat h;
        h.path = options.path;
        const std::int32_t x = DemoRaceScene::kFinishX - hdmi_crop_origin(1920, 1080, kWidth, kHeight).x0;
        h.line = {x, kHeight / 10, x, kHeight * 9 / 10};
        FinishStripOptions strip_options;
        strip_options.line = h.line;
        const FinishStrip strip = build_finish_strip(h.path, strip_options);
        for (int box = 1; box <= 6; ++box) {
            const std::int32_t truth = *result.crossing_ms[static_cast<std::size_t>(box - 1)];
            const auto at = std::find_if(strip.times.begin(), strip.times.end(),
                                         [&](const auto& t) { return t && *t >= truth; });
            h.given[static_cast<std::size_t>(box)] = static_cast<std::int16_t>(at - strip.times.begin() + 1);
        }
        return heats_.emplace(format, h).first->second;
    }

private:
    std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() / ("bench_finish_estimate" + std::to_string(::getpid()));
    std::map<std::size_t, Heat> heats_;
};

Heats& heats() {
    static Heats h;
    return h;
}

void count_estimates(benchmark::State& state, const BoxEstimates& e) {
    state.counters["estimates"] =
        static_cast<double>(std::count_if(e.begin(), e.end(), [](const auto& x) { return x.has_value(); }));
}

void BM_EstimateOpened(benchmark::State& state) {
    const Heat& h = heats().heat(static_cast<std::size_t>(state.range(0)));
    BoxEstimates e;
    for (auto _ : state) {
        FinishEstimator estimator(h.path, 200);
        e = estimator.estimate(h.given, h.line);
        benchmark::DoNotOptimize(e);
    }
    count_estimates(state, e);
}

// The empty track alone: nine pictures' bands decoded and their median taken (no box given).
void BM_EmptyTrackOnly(benchmark::State& state) {
    const Heat& h = heats().heat(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        FinishEstimator estimator(h.path, 200);
        benchmark::DoNotOptimize(estimator.estimate(BoxPositions{}, h.line));
    }
}

void BM_EstimateAgain(benchmark::State& state) {
    const Heat& h = heats().heat(static_cast<std::size_t>(state.range(0)));
    FinishEstimator estimator(h.path, 200);
    BoxEstimates e = estimator.estimate(h.given, h.line);
    for (auto _ : state) {
        e = estimator.estimate(h.given, h.line);
        benchmark::DoNotOptimize(e);
    }
    count_estimates(state, e);
}

void BM_ReadTwelvePicturesWhole(benchmark::State& state) {
    const Heat& h = heats().heat(static_cast<std::size_t>(state.range(0)));
    const bool fields = state.range(0) == 0;
    cls_VideoFile_handler rec;
    rec.Open_File(h.path);
    for (auto _ : state) {
        for (int box = 1; box <= 6; ++box) {
            for (std::int32_t p :
                 {h.given[static_cast<std::size_t>(box)] - 1, h.given[static_cast<std::size_t>(box)] + 0}) {
                if (fields) {
                    rec.Draw_RGB_Field(p);
                } else {
                    rec.Draw_RGB_frame(p);
                }
                benchmark::DoNotOptimize(rec.picture().DIBSectionBitsPtr());
            }
        }
    }
}

// 1 = 50 progressive frames a second, 0 = 25 interlaced (fields).
BENCHMARK(BM_EstimateOpened)->ArgName("format")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmptyTrackOnly)->ArgName("format")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EstimateAgain)->ArgName("format")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTwelvePicturesWhole)->ArgName("format")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace
