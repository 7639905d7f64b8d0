#pragma once

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro::testing {

// Takes the write permission from `file` for a test. The superuser may write any file, so as root the
// test acts as an ordinary user (nobody) until back() or the end of the scope; its saved user id stays
// root, which lets it return. `folder` (the file's) is opened to that user.
class ReadOnlyAsUser {
public:
    ReadOnlyAsUser(const std::filesystem::path& file, const std::filesystem::path& folder) {
        using std::filesystem::perms;
        std::filesystem::permissions(file, perms::owner_read | perms::group_read | perms::others_read);
        if (::geteuid() == 0) {
            ::chmod(folder.c_str(), 0755);
            acting_ = ::setresuid(65534, 65534, 0) == 0;
            ok_ = acting_;
        }
    }
    ~ReadOnlyAsUser() { back(); }
    ReadOnlyAsUser(const ReadOnlyAsUser&) = delete;
    ReadOnlyAsUser& operator=(const ReadOnlyAsUser&) = delete;

    // False when running as root and another user could not be taken on.
    bool ok() const { return ok_; }
    // Back to the superuser (when the test had left it); false when that failed.
    bool back() {
        if (!acting_) {
            return true;
        }
        acting_ = false;
        return ::setresuid(0, 0, 0) == 0;
    }

private:
    bool ok_ = true;
    bool acting_ = false;
};

} // namespace veltro::testing
