#include "capture/jpeg_benchmark.h"

#include "capture/picture_size.h"
#include "support/process_facts.h"
#include "support/text.h"

#include <vector>

namespace veltro {

std::optional<std::string> JPEG_Benchmark_Report(Class_JPG_Bench& bench) {
    const std::string when = now_default_datetime();
    std::vector<BenchLine> lines;
    for (const char* caption : kCropCaptions) {
        const std::optional<Crop_size> size = Parse_crop_caption(caption);
        BenchLine line{caption, 0};
        if (!size || !bench.JPG_Bench(size->width, size->height, line.average_ms)) {
            return std::nullopt;
        }
        lines.push_back(line);
    }
    const ProcessFacts& f = process_facts();
    return JPG_Bench_Report(when, f.computer_name, f.cpu_info, lines);
}

} // namespace veltro
