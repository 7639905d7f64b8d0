// px3tool bench: the "JPEG Benchmark" report of the main window, on the command line.
#include "capture/jpeg_benchmark.h"
#include "px3tool_commands.h"

#include <iostream>

namespace px3tool {

int bench(const Args& args) {
    if (!args.empty()) {
        throw UsageError{"bench takes no arguments, not '" + args.front() + "'"};
    }
    // A failed compression has told stderr already ("JPEG comp error!").
    veltro::Class_JPG_Bench jpg_bench(veltro::system_clock());
    const std::optional<std::string> report = veltro::jpeg_benchmark_report(jpg_bench);
    if (!report) {
        return 1;
    }
    // The report as the message box shows it, CR LF and all, ending its last line the same way.
    std::cout << *report << "\r\n";
    return 0;
}

} // namespace px3tool
