#include "support/clocks.h"

#include <chrono>

namespace veltro {

std::uint32_t pc_millis() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms =
        static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

LocalTime local_now() {
    const auto now = std::chrono::system_clock::now();
    const auto since_epoch = now.time_since_epoch();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    LocalTime t;
    localtime_r(&secs, &t.tm);
    t.millisecond =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count() % 1000);
    return t;
}

std::int32_t local_ms_since_midnight() {
    const LocalTime t = local_now();
    return t.tm.tm_hour * 3600000 + t.tm.tm_min * 60000 + t.tm.tm_sec * 1000 + t.millisecond;
}

std::uint64_t uptime_ms() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

} // namespace veltro
