#include "capture/jpg_bench.h"

#include "picture/dib_section.h"
#include "picture/jpeg_codec.h"
#include "support/clocks.h"
#include "support/operator.h"
#include "support/veltro_error.h"

#include <vector>

namespace veltro {

Class_JPG_Bench::Class_JPG_Bench(const Clock& clock) : clock_(clock) {}

bool Class_JPG_Bench::JPG_Bench(std::int32_t width, std::int32_t height, std::int32_t& result) {
    cDIBSection dib;
    if (!dib.Create(width, height)) {
        the_operator().message("JPEG comp error!");
        return false;
    }
    std::vector<std::uint8_t> buffer(100000);
    const std::uint32_t start = clock_.millis();
    try {
        for (int i = 0; i < 10; ++i) {
            std::int32_t size = static_cast<std::int32_t>(buffer.size());
            JPG_From_DIB(dib, buffer.data(), size, 80);
        }
    } catch (const VeltroError&) {
        the_operator().message("JPEG comp error!");
        return false;
    }
    result = elapsed_ms(start, clock_.millis()) / 10;
    return true;
}

std::string jpg_bench_report(const std::string& date_time, const std::string& computer_name,
                             const std::string& cpu_info, const std::vector<BenchLine>& lines) {
    std::string text = "JPG compression benchmark at: " + date_time + "\r\n";
    text += "Computer name = " + computer_name + "\r\n";
    text += "CPU info: " + cpu_info + "\r\n";
    for (const auto& l : lines) {
        text += l.caption + " =  " + std::to_string(l.average_ms) + "ms\r\n";
    }
    text += "---Report end---";
    return text;
}

} // namespace veltro
