#pragma once

#include "support/file_io.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <limits>
#include <memory>
#include <system_error>

namespace veltro::testing {

// A view of another file (not owned) that fails the way disks fail: a chosen call with a chosen
// errno, writes that take only part of their bytes, a disk that fills up. Without faults it passes
// every call through, so it also lends a file to an owner that would destroy it.
class FailingFile final : public File {
public:
    enum class Op { read, write, sync, truncate, size };

    explicit FailingFile(File& inner) : inner_(inner) {}

    // The `nth` call (1-based) of `op` from now on fails with `errnum`, having done nothing.
    void fail(Op op, int nth, int errnum = EIO) {
        fail_at_[index(op)] = calls_[index(op)] + nth;
        errnum_[index(op)] = errnum;
    }
    // Every write takes at most `bytes`: the caller has to come back for the rest.
    void short_writes(std::size_t bytes) { chunk_ = bytes; }
    // The file may grow by `bytes` more bytes: the write that reaches the end takes what fits, later
    // ones fail with ENOSPC. Rewriting bytes the file already has takes no room.
    void disk_full_after(std::size_t bytes) { room_ = bytes; }
    int calls(Op op) const { return calls_[index(op)]; }

    std::size_t read_at(std::int64_t offset, void* data, std::size_t size) override {
        count(Op::read);
        return inner_.read_at(offset, data, size);
    }
    std::size_t write_at(std::int64_t offset, const void* data, std::size_t size) override {
        count(Op::write);
        std::size_t n = std::min(size, chunk_);
        const std::int64_t end = inner_.size();
        const std::size_t inside = offset < end ? std::min(n, static_cast<std::size_t>(end - offset)) : 0;
        if (n - inside > room_) {
            n = inside + room_;
        }
        if (n == 0 && size > 0) {
            throw std::system_error(ENOSPC, std::generic_category());
        }
        n = inner_.write_at(offset, data, n);
        if (room_ != kUnlimited && n > inside) {
            room_ -= n - inside;
        }
        return n;
    }
    void sync() override {
        count(Op::sync);
        inner_.sync();
    }
    void truncate(std::int64_t length) override {
        count(Op::truncate);
        inner_.truncate(length);
    }
    std::int64_t size() override {
        count(Op::size);
        return inner_.size();
    }

private:
    static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();
    static std::size_t index(Op op) { return static_cast<std::size_t>(op); }
    void count(Op op) {
        if (++calls_[index(op)] == fail_at_[index(op)]) {
            throw std::system_error(errnum_[index(op)], std::generic_category());
        }
    }

    File& inner_;
    std::array<int, 5> calls_{};
    std::array<int, 5> fail_at_{};
    std::array<int, 5> errnum_{};
    std::size_t chunk_ = kUnlimited;
    std::size_t room_ = kUnlimited;
};

// A file for an owner that destroys it, while the test keeps the file.
inline std::unique_ptr<File> lend(File& file) {
    return std::make_unique<FailingFile>(file);
}

} // namespace veltro::testing
