#include "support/veltro_error.h"

namespace veltro {

VeltroError::VeltroError(int number, const std::string& description, const char* file, int line)
    : std::runtime_error(description), number_(number), description_(description), file_(file), line_(line) {}

std::string VeltroError::source() const {
    const auto slash = file_.find_last_of('/');
    return (slash == std::string::npos ? file_ : file_.substr(slash + 1)) + ":" + std::to_string(line_);
}

} // namespace veltro
