#pragma once

#include "support/clocks.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// How long one JPEG compression of a picture of a given size takes.
class Class_JPG_Bench {
public:
    // The clock it times with (not owned; tests put their own in).
    explicit Class_JPG_Bench(const Clock& clock);

    // Compresses a fresh (black) width x height picture 10 times at quality 80 into a 100000-byte
    // buffer; `result` = whole milliseconds per compression. A failed compression shows
    // "JPEG comp error!" and returns false with `result` unchanged.
    bool JPG_Bench(std::int32_t width, std::int32_t height, std::int32_t& result);

private:
    const Clock& clock_;
};

struct BenchLine {
    std::string caption; // the picture-size menu caption, e.g. 400*880
    std::int32_t average_ms = 0;
};

// The report: "JPG compression benchmark at: " + date and time, "Computer name = " + name,
// "CPU info: " + processor, one "<caption> =  <ms>ms" line per picture size, "---Report end---";
// lines separated by CR LF.
std::string jpg_bench_report(const std::string& date_time, const std::string& computer_name,
                             const std::string& cpu_info, const std::vector<BenchLine>& lines);

} // namespace veltro
