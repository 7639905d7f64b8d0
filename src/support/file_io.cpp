#include "support/file_io.h"

#include <cerrno>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace veltro {
namespace {

[[noreturn]] void fail(int errnum) {
    throw std::system_error(errnum, std::generic_category());
}

} // namespace

void write_all_at(File& file, std::int64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const std::size_t n =
            file.write_at(offset + static_cast<std::int64_t>(done), bytes + done, size - done);
        if (n == 0) {
            fail(ENOSPC);
        }
        done += n;
    }
}

void UniqueFd::reset(int fd) noexcept {
    if (fd_ >= 0 && fd_ != fd) {
        ::close(fd_);
    }
    fd_ = fd;
}

int UniqueFd::close() noexcept {
    const int fd = release();
    return fd >= 0 && ::close(fd) != 0 ? errno : 0;
}

std::size_t PosixFile::read_at(std::int64_t offset, void* data, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_.get(), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            fail(errno);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t PosixFile::write_at(std::int64_t offset, const void* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::pwrite(fd_.get(), data, size, static_cast<off_t>(offset));
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            fail(errno);
        }
    }
}

void PosixFile::sync() {
    if (::fsync(fd_.get()) != 0) {
        fail(errno);
    }
}

void PosixFile::sync_data() {
    if (::fdatasync(fd_.get()) != 0) {
        fail(errno);
    }
}

void PosixFile::truncate(std::int64_t length) {
    if (::ftruncate(fd_.get(), static_cast<off_t>(length)) != 0) {
        fail(errno);
    }
}

std::int64_t PosixFile::size() {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) {
        fail(errno);
    }
    return static_cast<std::int64_t>(st.st_size);
}

} // namespace veltro
