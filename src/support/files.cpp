#include "support/files.h"

#include "support/veltro_error.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace veltro {
namespace {

// Writes all of `data` from the start of `file` (or of the view `through` gives of it) and flushes
// it; 0 or the errno of the failure.
int store(File& file, std::string_view data,
          const std::function<std::unique_ptr<File>(File&)>& through) noexcept {
    try {
        std::unique_ptr<File> view = through ? through(file) : nullptr;
        File& target = view ? *view : file;
        write_all_at(target, 0, data.data(), data.size());
        target.sync();
        return 0;
    } catch (const std::system_error& e) {
        return e.code().value();
    } catch (...) {
        return ENOMEM;
    }
}

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

int write_file_atomically(const std::string& path, std::string_view data) noexcept {
    return write_file_atomically(path, data, nullptr);
}

int write_file_atomically(const std::string& path, std::string_view data,
                          const std::function<std::unique_ptr<File>(File&)>& through) noexcept {
    try {
        std::string temp = path + ".tmpXXXXXX";
        UniqueFd fd(sys::mkstemp(temp.data()));
        if (!fd)
            return errno;
        // Held until the rename, so that the leftover sweep of a later run passes it by.
        ::flock(fd.get(), LOCK_EX | LOCK_NB);
        PosixFile file(std::move(fd));
        // Keep the permissions of the file being replaced, or the usual ones for a new file.
        struct stat st {};
        const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
        int rc = ::fchmod(file.descriptor(), mode) == 0 ? 0 : errno;
        if (rc == 0)
            rc = store(file, data, through);
        const int closed = file.close();
        if (rc == 0)
            rc = closed;
        if (rc == 0 && sys::rename(temp.c_str(), path.c_str()) != 0)
            rc = errno;
        if (rc != 0) {
            ::unlink(temp.c_str());
            return rc;
        }
        // Make the rename itself durable.
        const int dir = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY);
        if (dir >= 0) {
            // A rename the folder's flush does not confirm is still in place: the old file is gone
            // either way, so the save counts as done.
            sys::fsync(dir);
            ::close(dir);
        }
        return 0;
    } catch (...) {
        return ENOMEM;
    }
}

int error_number_for_errno(int errnum) {
    switch (errnum) {
    case EACCES:
    case EPERM:
    case EROFS:
        return err::kPermissionDenied;
    case ENOENT:
    case ENOTDIR:
        return err::kFileNotFound;
    case ENOSPC:
    case EDQUOT:
        return err::kDiskFull;
    default:
        return err::kPathFileAccess;
    }
}

void save_file_atomically(const std::string& path, std::string_view data) {
    const int rc = write_file_atomically(path, data);
    if (rc != 0)
        throw VeltroError(error_number_for_errno(rc), "Could not write " + path + ": " + std::strerror(rc));
}

std::string save_temporary_beside(const std::string& path, std::string_view data) {
    std::string temp = path + ".tmpXXXXXX";
    int rc = 0;
    {
        UniqueFd fd(sys::mkstemp(temp.data()));
        if (!fd)
            throw VeltroError(error_number_for_errno(errno),
                              "Could not write " + path + ": " + std::strerror(errno));
        ::flock(fd.get(), LOCK_EX | LOCK_NB);
        PosixFile file(std::move(fd));
        rc = ::fchmod(file.descriptor(), 0644) == 0 ? 0 : errno;
        if (rc == 0)
            rc = store(file, data, nullptr);
        const int closed = file.close();
        if (rc == 0)
            rc = closed;
    }
    if (rc != 0) {
        ::unlink(temp.c_str());
        throw VeltroError(error_number_for_errno(rc), "Could not write " + path + ": " + std::strerror(rc));
    }
    return temp;
}

void remove_leftovers(const std::string& folder, const std::string& prefix) noexcept {
    static constexpr std::string_view kTemplateChars =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix) ||
            name.substr(prefix.size()).find_first_not_of(kTemplateChars) != std::string_view::npos)
            continue;
        const std::string path = folder + "/" + std::string(name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
            continue;
        // A writer still at work holds its lock: its temporary is not a leftover.
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ::closedir(dir);
}

int probe_folder_writable(const std::string& folder) noexcept {
    try {
        std::string probe = folder + "/testfile.txt";
        int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) {
            probe += ".XXXXXX";
            fd = ::mkstemp(probe.data());
        }
        if (fd < 0)
            return errno;
        ::close(fd);
        return ::unlink(probe.c_str()) == 0 ? 0 : errno;
    } catch (...) {
        return ENOMEM;
    }
}

bool is_read_only_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::optional<std::string> read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(buf).str();
}

} // namespace veltro
