#include "support/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace veltro {
namespace {

[[noreturn]] void fail(int errnum) {
    throw std::system_error(errnum, std::generic_category());
}

std::atomic<DiskFaults*> installed_faults{nullptr};

// 0 when the operation may go on (with `size` cut to what a short write takes), else the errno of
// the installed fault.
int injected(DiskFaults::Op op, std::size_t& size) {
    DiskFaults* faults = installed_faults.load(std::memory_order_acquire);
    if (!faults) [[likely]] {
        return 0;
    }
    return faults->on_operation(op, size);
}

int injected(DiskFaults::Op op) {
    std::size_t none = 0;
    return injected(op, none);
}

void before_sync() {
    if (DiskFaults* faults = installed_faults.load(std::memory_order_acquire)) [[unlikely]] {
        faults->before_sync();
    }
}

template <typename R>
R failed(int errnum) {
    errno = errnum;
    return static_cast<R>(-1);
}

} // namespace

void install_disk_faults(DiskFaults* faults) noexcept {
    installed_faults.store(faults, std::memory_order_release);
}

namespace sys {

int open(const char* path, int flags, mode_t mode) {
    if ((flags & O_CREAT) != 0) {
        if (const int e = injected(DiskFaults::Op::Create)) {
            return failed<int>(e);
        }
    }
    return ::open(path, flags, mode);
}

int mkstemp(char* name_template) {
    if (const int e = injected(DiskFaults::Op::Create)) {
        return failed<int>(e);
    }
    return ::mkstemp(name_template);
}

ssize_t write(int fd, const void* data, std::size_t size) {
    if (const int e = injected(DiskFaults::Op::Write, size)) {
        return failed<ssize_t>(e);
    }
    return ::write(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, std::size_t size, off_t offset) {
    if (const int e = injected(DiskFaults::Op::Write, size)) {
        return failed<ssize_t>(e);
    }
    return ::pwrite(fd, data, size, offset);
}

int ftruncate(int fd, off_t length) {
    if (const int e = injected(DiskFaults::Op::Truncate)) {
        return failed<int>(e);
    }
    return ::ftruncate(fd, length);
}

int fsync(int fd) {
    if (const int e = injected(DiskFaults::Op::Sync)) {
        return failed<int>(e);
    }
    before_sync();
    return ::fsync(fd);
}

int fdatasync(int fd) {
    if (const int e = injected(DiskFaults::Op::Sync)) {
        return failed<int>(e);
    }
    before_sync();
    return ::fdatasync(fd);
}

int rename(const char* from, const char* to) {
    if (const int e = injected(DiskFaults::Op::Rename)) {
        return failed<int>(e);
    }
    return std::rename(from, to);
}

} // namespace sys

bool read_fully(File& file, std::int64_t offset, void* data, std::size_t size) noexcept {
    try {
        return file.read_at(offset, data, size) == size;
    } catch (const std::system_error&) {
        return false;
    }
}

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
        const ssize_t n = sys::pwrite(fd_.get(), data, size, static_cast<off_t>(offset));
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            fail(errno);
        }
    }
}

void PosixFile::sync() {
    if (sys::fsync(fd_.get()) != 0) {
        fail(errno);
    }
}

void PosixFile::sync_data() {
    if (::fdatasync(fd_.get()) != 0) {
        fail(errno);
    }
}

void PosixFile::truncate(std::int64_t length) {
    if (sys::ftruncate(fd_.get(), static_cast<off_t>(length)) != 0) {
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
