// The finish strip of a demo heat of 1500 pictures of 600*1080 (30 s at 50 frames a second, and
// 30 s of fields at 25 interlaced frames a second), against the old way of getting the same pixels:
// every picture read and decoded whole by the reader, its field taken, the line's pixels copied.
// Run both side by side in one run; the window wants the strip within a second of opening.
#include "app/demo_heat.h"
#include "recording/finish_strip.h"
#include "recording/video_file_handler.h"
#include "review/goal_line.h"
#include "support/settings.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using namespace veltro;

constexpr std::int16_t kWidth = 600;
constexpr std::int16_t kHeight = 1080;
constexpr std::int32_t kPictures = 1500;
constexpr std::int32_t kColumnWidth = 4;

// The demo heats, recorded once per format and removed when the program ends.
class Heats {
public:
    ~Heats() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const std::string& path(std::size_t format) {
        auto it = paths_.find(format);
        if (it == paths_.end()) {
            std::filesystem::create_directories(folder_);
            set_settings_path((folder_ / "Veltro_HDMI.ini").string());
            DemoHeatOptions options;
            options.path = (folder_ / ("heat" + std::to_string(format) + ".px3")).string();
            options.format = format;
            options.crop_width = kWidth;
            options.crop_height = kHeight;
            options.fast = true;
            // The first picture arrives 200 ms after the start; 1500 pictures after it.
            options.capture_ms = 200 + (format == 0 ? kPictures / 2 * 40 : kPictures * 20);
            record_demo_heat(options);
            it = paths_.emplace(format, options.path).first;
        }
        return it->second;
    }

private:
    std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() / ("bench_finish_strip" + std::to_string(::getpid()));
    std::map<std::size_t, std::string> paths_;
};

Heats& heats() {
    static Heats h;
    return h;
}

const Goal_line kLine = Reset_Goal_Line(kWidth, kHeight);

void BM_FinishStrip(benchmark::State& state) {
    const std::string& path = heats().path(static_cast<std::size_t>(state.range(0)));
    FinishStripOptions options;
    options.line = {kLine.x1, kLine.y1, kLine.x2, kLine.y2};
    std::int32_t pictures = 0;
    for (auto _ : state) {
        const FinishStrip strip = build_finish_strip(path, options);
        pictures = strip.pictures();
        benchmark::DoNotOptimize(strip.image.DIBSectionBitsPtr());
    }
    state.counters["pictures"] = pictures;
}

// What the window could do with the reader alone: one decoder, every picture whole.
void BM_WholePictures(benchmark::State& state) {
    const std::string& path = heats().path(static_cast<std::size_t>(state.range(0)));
    const bool fields = state.range(0) == 0;
    std::int32_t pictures = 0;
    for (auto _ : state) {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        pictures = fields ? rec.Num_fields() : rec.num_Frames();
        cDIBSection strip;
        strip.Create(pictures * kColumnWidth, kLine.y2 - kLine.y1 + 1);
        for (std::int32_t p = 1; p <= pictures; ++p) {
            if (fields) {
                rec.Draw_RGB_Field(p);
            } else {
                rec.Draw_RGB_frame(p);
            }
            for (std::int32_t y = kLine.y1; y <= kLine.y2; ++y) {
                const std::uint8_t* from = rec.picture().scan_line(y) + 3 * kLine.x1;
                std::uint8_t* to = strip.scan_line(y - kLine.y1) + 3 * (p - 1) * kColumnWidth;
                for (std::int32_t c = 0; c < kColumnWidth; ++c) {
                    std::memcpy(to + 3 * c, from, 3);
                }
            }
        }
        benchmark::DoNotOptimize(strip.DIBSectionBitsPtr());
    }
    state.counters["pictures"] = pictures;
}

// The demo formats: 1 = 50 progressive frames a second (1500 frames), 0 = 25 interlaced (750 frames,
// 1500 fields).
BENCHMARK(BM_FinishStrip)->ArgName("format")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WholePictures)->ArgName("format")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
