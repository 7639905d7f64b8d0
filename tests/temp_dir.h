#pragma once

#include <filesystem>
#include <string>

namespace veltro::testing {

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "veltro-test-XXXXXX").string();
        path_ = mkdtemp(templ.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace veltro::testing
