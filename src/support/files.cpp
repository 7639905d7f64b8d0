#include "support/files.h"

#include "support/veltro_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro {
namespace {

std::optional<std::size_t> fail_after;

int write_all(int fd, std::string_view data) {
    std::size_t limit = data.size();
    if (fail_after && *fail_after < limit)
        limit = *fail_after;
    std::size_t done = 0;
    while (done < limit) {
        const ssize_t n = ::write(fd, data.data() + done, limit - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return limit < data.size() ? ENOSPC : 0;
}

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

int write_file_atomically(const std::string& path, std::string_view data) noexcept {
    try {
        std::string temp = path + ".tmpXXXXXX";
        const int fd = ::mkstemp(temp.data());
        if (fd < 0)
            return errno;
        // Keep the permissions of the file being replaced, or the usual ones for a new file.
        struct stat st {};
        const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
        int rc = ::fchmod(fd, mode) == 0 ? 0 : errno;
        if (rc == 0)
            rc = write_all(fd, data);
        if (rc == 0 && ::fsync(fd) != 0)
            rc = errno;
        if (::close(fd) != 0 && rc == 0)
            rc = errno;
        if (rc == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
            rc = errno;
        if (rc != 0) {
            ::unlink(temp.c_str());
            return rc;
        }
        // Make the rename itself durable.
        const int dir = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY);
        if (dir >= 0) {
            ::fsync(dir);
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
        return err::PermissionDenied;
    case ENOENT:
    case ENOTDIR:
        return err::FileNotFound;
    case ENOSPC:
    case EDQUOT:
        return err::DiskFull;
    default:
        return err::PathFileAccess;
    }
}

void save_file_atomically(const std::string& path, std::string_view data) {
    const int rc = write_file_atomically(path, data);
    if (rc != 0)
        throw VeltroError(error_number_for_errno(rc), "Could not write " + path + ": " + std::strerror(rc));
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

namespace testing {
void fail_atomic_writes_after(std::optional<std::size_t> bytes) {
    fail_after = bytes;
}
} // namespace testing

} // namespace veltro
