#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <optional>

namespace veltro {

// Signed distance from `from` to `to` on the wrapping millisecond counter; correct across the wrap as
// long as the two readings are less than 24.8 days apart.
inline std::int32_t elapsed_ms(std::uint32_t from, std::uint32_t to) {
    return static_cast<std::int32_t>(to - from);
}

// How long before `now` a signal stamped `signal` came (both on the PC millisecond counter). 0 without
// a stamp, and for a stamp that cannot be true: later than now, or more than kMaxSignalAgeMs before
// (a device stamping on some other clock); such a signal counts as coming now.
inline constexpr std::int32_t kMaxSignalAgeMs = 60000;
std::int32_t signal_delay_ms(std::optional<std::uint32_t> signal, std::uint32_t now);

// The local time of day `ms` milliseconds before `local` (0 <= ms), across midnight.
std::int32_t local_ms_before(std::int32_t local, std::int32_t ms);

// Where the program reads the time of a heat: frame stamps, heat starts, click times and the local
// time of day stored with them. Code that times anything takes one, so tests and fast demo recordings
// can run it on a manual clock.
class Clock {
public:
    virtual ~Clock() = default;
    // The PC millisecond counter: monotonic, a 32-bit value that wraps after 49.7 days, so readings
    // are compared with elapsed_ms.
    virtual std::uint32_t millis() const = 0;
    // Milliseconds since local midnight: hour * 3600000 + minute * 60000 + second * 1000 + ms.
    virtual std::int32_t local_ms() const = 0;
};

// The computer's clocks: the monotonic clock in milliseconds and the local time of day.
class SystemClock final : public Clock {
public:
    std::uint32_t millis() const override;
    std::int32_t local_ms() const override;
};

// The process-wide system clock.
const Clock& system_clock();

// A clock that moves only when told. The local time of day keeps a fixed distance to the counter:
// set_local_ms ties the present counter reading to a time of day, and from then on the local time
// moves with the counter (through its wrap, within 24.8 days of the tie) and wraps at midnight.
// The counter may be moved while other threads read it (a test driving a capture pass).
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::uint32_t start = 0, std::int32_t local_at_start = 0) : millis_(start) {
        set_local_ms(local_at_start);
    }

    std::uint32_t millis() const override { return millis_.load(std::memory_order_relaxed); }
    std::int32_t local_ms() const override;

    void set_millis(std::uint32_t counter) { millis_.store(counter, std::memory_order_relaxed); }
    void advance(std::uint32_t ms) { millis_.fetch_add(ms, std::memory_order_relaxed); }
    void set_local_ms(std::int32_t ms) {
        tie_millis_ = millis();
        tie_local_ = ms;
    }

private:
    std::atomic<std::uint32_t> millis_;
    std::uint32_t tie_millis_ = 0;
    std::int32_t tie_local_ = 0;
};

// The local date and time now, broken down, with its milliseconds: for log lines, file names and the
// dates written in reports, which always show the computer's own time.
struct LocalTime {
    std::tm tm{};
    int millisecond = 0;
};
LocalTime local_now();

// Milliseconds since the computer started (the system tick count).
std::uint64_t uptime_ms();

} // namespace veltro
