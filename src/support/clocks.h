#pragma once

#include <cstdint>
#include <ctime>

namespace veltro {

// The PC millisecond counter: the monotonic clock in milliseconds, as a 32-bit value that wraps
// after 49.7 days. Frame time stamps, heat starts and click times are all taken from it, so
// differences between two readings are taken modulo 2^32 (elapsed_ms).
std::uint32_t pc_millis();

// Signed distance from `from` to `to` on the wrapping counter; correct across the wrap as long as
// the two readings are less than 24.8 days apart.
inline std::int32_t elapsed_ms(std::uint32_t from, std::uint32_t to) {
    return static_cast<std::int32_t>(to - from);
}

// Milliseconds since local midnight: hour * 3600000 + minute * 60000 + second * 1000 + ms.
std::int32_t local_ms_since_midnight();

// The local date and time now, broken down, with its milliseconds.
struct LocalTime {
    std::tm tm{};
    int millisecond = 0;
};
LocalTime local_now();

// Milliseconds since the computer started (the system tick count).
std::uint64_t uptime_ms();

} // namespace veltro
