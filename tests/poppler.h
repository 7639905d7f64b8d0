#pragma once
// Reading back what the program printed to a PDF file, through poppler's command-line tools.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace veltro::testing {

// What `command` writes to its standard output.
inline std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

inline bool poppler_present() {
    return std::system("pdftoppm -v >/dev/null 2>&1") == 0 &&
           std::system("pdftotext -v >/dev/null 2>&1") == 0;
}

} // namespace veltro::testing
