#include "capture/jpeg_benchmark.h"

#include "capture/picture_size.h"
#include "support/process_facts.h"
#include "support/text.h"

#include <vector>

namespace veltro {

std::optional<std::string> jpeg_benchmark_report(Class_JPG_Bench& bench) {
    const std::string when = now_default_datetime();
    std::vector<BenchLine> lines;
    for (const char* caption : kCropCaptions) {
        const std::optional<CropSize> size = parse_crop_caption(caption);
        BenchLine line{caption, 0};
        if (!size || !bench.JPG_Bench(size->width, size->height, line.average_ms)) {
            return std::nullopt;
        }
        lines.push_back(line);
    }
    const ProcessFacts& f = process_facts();
    return jpg_bench_report(when, f.computer_name, f.cpu_info, lines);
}

} // namespace veltro
