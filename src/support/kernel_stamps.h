#pragma once

#include <cstdint>
#include <ctime>

namespace veltro {

// A reading of the monotonic clock in nanoseconds as the PC millisecond counter shows it: whole
// milliseconds cut towards the past (also before the clock's zero), modulo 2^32. The program's own
// clock reads the counter so, and every kernel stamp (input events, GPIO edges, serial lines, V4L2
// buffers) reaches the counter through it, so that all of them truncate alike.
std::uint32_t counter_ms_at(std::int64_t monotonic_ns);
inline std::uint32_t counter_ms_at(const timespec& monotonic) {
    return counter_ms_at(static_cast<std::int64_t>(monotonic.tv_sec) * 1000000000 + monotonic.tv_nsec);
}

} // namespace veltro
