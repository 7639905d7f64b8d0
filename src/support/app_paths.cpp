#include "support/app_paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace veltro {
namespace fs = std::filesystem;

std::string data_dir() {
    fs::path dir;
    if (const char* own = std::getenv("VELTRO_DATA_DIR"); own && *own) {
        dir = own;
    } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        dir = fs::path(xdg) / kProgramId;
    } else {
        const char* home = std::getenv("HOME");
        dir = fs::path(home && *home ? home : "/tmp") / ".local" / "share" / kProgramId;
    }
    std::error_code ec;
    fs::create_directories(dir, ec); // a failure shows later, when a file there cannot be written
    return dir.string();
}

std::string data_file(const std::string& name) {
    return (fs::path(data_dir()) / name).string();
}

std::string executable_path() {
    std::error_code ec;
    const auto p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("veltro") : p.string();
}

std::string executable_name() {
    return fs::path(executable_path()).filename().string();
}

std::vector<std::string> operators_guide_places(const std::string& executable) {
    const fs::path dir = fs::path(executable).parent_path();
    // Written without "..", so that a message naming them reads as a plain path.
    return {(dir / ".." / "share" / "doc" / "veltro" / "guide" / "index.html").lexically_normal().string(),
            (dir / "docs" / "guide" / "index.html").lexically_normal().string()};
}

std::optional<std::string> find_operators_guide(const std::string& executable) {
    for (const std::string& place : operators_guide_places(executable)) {
        std::error_code ec;
        if (fs::is_regular_file(place, ec)) {
            return place;
        }
    }
    return std::nullopt;
}

} // namespace veltro
