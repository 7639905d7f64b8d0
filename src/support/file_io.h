#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>
#include <utility>

namespace veltro {

// A disk that fails or stalls on purpose, for the tests of every path that saves a file (the test
// support library has one to arm). The program installs none.
class DiskFaults {
public:
    // The operations that change what is on the disk.
    enum class Op { Create, Write, Truncate, Sync, Rename };

    virtual ~DiskFaults() = default;
    // The errno `op` fails with, having done nothing; 0: it goes on, with `size` cut to what a short
    // write takes.
    virtual int on_operation(Op op, std::size_t& size) noexcept = 0;
    // Before every fsync and fdatasync: a slow or hanging disk waits here.
    virtual void before_sync() = 0;
};

// Puts `faults` (not owned, outliving its use; nullptr: none) under the calls below, for every
// thread. With none installed they cost one atomic load more than the system calls.
void install_disk_faults(DiskFaults* faults) noexcept;

// The system calls through which the program changes files on disk, with the contract of the calls
// they stand for (-1 and errno on failure, EINTR left to the caller). Installed disk faults strike
// here, so one set of calls covers every path that saves a file.
namespace sys {
// Counts as a create only with O_CREAT.
int open(const char* path, int flags, mode_t mode = 0);
int mkstemp(char* name_template);
ssize_t write(int fd, const void* data, std::size_t size);
ssize_t pwrite(int fd, const void* data, std::size_t size, off_t offset);
int ftruncate(int fd, off_t length);
int fsync(int fd);
int fdatasync(int fd);
int rename(const char* from, const char* to);
} // namespace sys

// An open file as the code that stores data sees it. Opening stays with the caller, who knows the
// flags and words the errors. Failures throw std::system_error carrying the errno, so that every
// caller can name the file and what it was doing.
class File {
public:
    File() = default;
    virtual ~File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Reads up to `size` bytes at `offset`; fewer only where the file ends. Returns the count read.
    virtual std::size_t read_at(std::int64_t offset, void* data, std::size_t size) = 0;
    // Writes up to `size` bytes at `offset` and returns how many it took, as one system call does:
    // fewer when the disk fills up part-way. Bytes beyond the end extend the file.
    virtual std::size_t write_at(std::int64_t offset, const void* data, std::size_t size) = 0;
    // Returns once everything written is on the disk.
    virtual void sync() = 0;
    // Returns once the data written (and the length) is on the disk; other metadata may follow later.
    virtual void sync_data() { sync(); }
    virtual void truncate(std::int64_t length) = 0;
    virtual std::int64_t size() = 0;
};

// Writes all `size` bytes at `offset`; a write that takes no bytes means the disk is full (ENOSPC).
void write_all_at(File& file, std::int64_t offset, const void* data, std::size_t size);
// True when all `size` bytes at `offset` could be read; a failing read is false, not an exception.
bool read_fully(File& file, std::int64_t offset, void* data, std::size_t size) noexcept;

// Owns a POSIX descriptor: closed on destruction, so that no exception path leaks it.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        reset(other.release());
        return *this;
    }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    int release() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) noexcept;
    // Closes now and returns 0 or the errno of close(): for files whose last write it may report.
    int close() noexcept;

private:
    int fd_ = -1;
};

// A file on disk through its open descriptor.
class PosixFile final : public File {
public:
    explicit PosixFile(UniqueFd fd) noexcept : fd_(std::move(fd)) {}

    std::size_t read_at(std::int64_t offset, void* data, std::size_t size) override;
    std::size_t write_at(std::int64_t offset, const void* data, std::size_t size) override;
    void sync() override;
    void sync_data() override;
    void truncate(std::int64_t length) override;
    std::int64_t size() override;

    int descriptor() const noexcept { return fd_.get(); }
    // Closes the descriptor; 0 or the errno of close(). Later calls fail with EBADF.
    int close() noexcept { return fd_.close(); }

private:
    UniqueFd fd_;
};

} // namespace veltro
