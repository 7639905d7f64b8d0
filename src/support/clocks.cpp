#include "support/clocks.h"

#include "support/kernel_stamps.h"

#include <chrono>

namespace veltro {

namespace {
constexpr std::int64_t kMsPerDay = 86400000;
}

std::int32_t signal_delay_ms(std::optional<std::uint32_t> signal, std::uint32_t now) {
    if (!signal) {
        return 0;
    }
    const std::int32_t late = elapsed_ms(*signal, now);
    return late < 0 || late > kMaxSignalAgeMs ? 0 : late;
}

std::int32_t local_ms_before(std::int32_t local, std::int32_t ms) {
    const std::int64_t t = (static_cast<std::int64_t>(local) - ms) % kMsPerDay;
    return static_cast<std::int32_t>(t < 0 ? t + kMsPerDay : t);
}

std::uint32_t counter_ms_at(std::int64_t monotonic_ns) {
    constexpr std::int64_t kNsPerMs = 1000000;
    const std::int64_t ms =
        monotonic_ns >= 0 ? monotonic_ns / kNsPerMs : -((-monotonic_ns + kNsPerMs - 1) / kNsPerMs);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

std::uint32_t SystemClock::millis() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return counter_ms_at(ts);
}

std::int32_t SystemClock::local_ms() const {
    const LocalTime t = local_now();
    return t.tm.tm_hour * 3600000 + t.tm.tm_min * 60000 + t.tm.tm_sec * 1000 + t.millisecond;
}

const Clock& system_clock() {
    static const SystemClock clock;
    return clock;
}

std::int32_t ManualClock::local_ms() const {
    // 2^32 is no whole number of days, so the local time follows the signed distance to the tie and
    // not the raw counter.
    const std::int64_t ms = static_cast<std::int64_t>(tie_local_) + elapsed_ms(tie_millis_, millis());
    const std::int64_t in_day = ms % kMsPerDay;
    return static_cast<std::int32_t>(in_day < 0 ? in_day + kMsPerDay : in_day);
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

std::uint64_t uptime_ms() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

} // namespace veltro
