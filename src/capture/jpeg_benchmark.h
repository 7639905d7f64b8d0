#pragma once

#include "capture/jpg_bench.h"

#include <optional>
#include <string>

namespace veltro {

// The "JPEG Benchmark" report: Class_JPG_Bench run once for every picture size of the "Crop size"
// menu, with this computer's name and processor and the local date and time. std::nullopt when a
// compression failed (the bench has told the operator); no report then, rather than one with a
// made-up figure.
std::optional<std::string> jpeg_benchmark_report(Class_JPG_Bench& bench);

} // namespace veltro
