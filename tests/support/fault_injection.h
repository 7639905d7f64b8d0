#pragma once

#include <cerrno>
#include <cstddef>

namespace veltro::fault_injection {

// A disk failing on purpose, for the tests of every path that saves a file: the Nth write-like
// operation from the moment it is armed fails, exactly once. Every write of the program goes through
// the calls of file_io.h (veltro::sys); the first use here installs this as their DiskFaults.

enum class Kind {
    // The Nth create, write, truncate, sync or rename fails with `errnum`, having done nothing.
    error,
    // The Nth write takes only part of its bytes and the write after it fails with ENOSPC: a disk
    // that fills up in the middle of a write.
    short_write,
    // The Nth fsync or fdatasync fails with `errnum`; what was written stays in the page cache.
    sync_error,
};

struct Fault {
    Kind kind = Kind::error;
    int errnum = EIO;
    // Bytes a short write takes; 0 takes half of them. Never all: at most one fewer than asked.
    std::size_t short_bytes = 0;
};

// Arms `fault` for the `nth` operation of its kind (1-based) from now on, and starts counting.
// nth = 0 only counts.
void arm(int nth, const Fault& fault);
// Stops failing and counting.
void disarm() noexcept;
// True once the armed fault has struck (until the next arm).
bool fired() noexcept;
// Write-like operations of any kind since the last arm.
int operations() noexcept;

// Every fsync and fdatasync from now on takes `ms` more milliseconds, as on a USB stick or an SD card
// (0: none). For the tests and benchmarks of what a slow disk must never hold up.
void slow_syncs(int ms) noexcept;
// While held, every fsync and fdatasync waits until the hold is let go: a disk that hangs.
void hold_syncs(bool held);
} // namespace veltro::fault_injection
