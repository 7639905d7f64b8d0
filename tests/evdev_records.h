#pragma once

#include <climits>
#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <linux/input.h>
#include <poll.h>
#include <unistd.h>

namespace veltro::testing {

// input_event records as the kernel delivers them, for an input-device start switch fed through a
// pipe. A pipe cannot be asked for monotonic stamps, so the records carry realtime stamps, made here
// from the two clocks directly so that the reader's own conversion is checked, not repeated.
// `counter` is the reading of the PC millisecond counter the record stands for; the stamp lies in the
// middle of that millisecond, so the clocks moving apart by a few microseconds between here and the
// reader cannot carry it across a boundary.
inline std::int64_t ns(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

inline input_event record(std::uint16_t type, std::uint16_t code, std::int32_t value, std::uint32_t counter) {
    // The realtime clock read between two monotonic readings; the closest pair of a few, so that the
    // thread being put aside between two readings cannot move the stamp.
    std::int64_t spread = INT64_MAX;
    std::int64_t offset_ns = 0;
    for (int tries = 0; tries < 5; ++tries) {
        const std::int64_t before = ns(CLOCK_MONOTONIC);
        const std::int64_t real = ns(CLOCK_REALTIME);
        const std::int64_t after = ns(CLOCK_MONOTONIC);
        if (after - before < spread) {
            spread = after - before;
            offset_ns = real - before - (after - before) / 2;
        }
    }
    const std::int64_t stamp_ns = static_cast<std::int64_t>(counter) * 1000000 + 500000 + offset_ns;
    input_event e{};
    e.input_event_sec = stamp_ns / 1000000000;
    e.input_event_usec = (stamp_ns % 1000000000) / 1000;
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}

inline input_event key(std::uint16_t code, std::int32_t value, std::uint32_t counter) {
    return record(EV_KEY, code, value, counter);
}

inline input_event syn(std::uint16_t code, std::uint32_t counter) {
    return record(EV_SYN, code, 0, counter);
}

// Writes the records with one write, as the kernel hands over one read's worth.
inline bool write_records(int fd, std::initializer_list<input_event> records) {
    const auto size = static_cast<ssize_t>(records.size() * sizeof(input_event));
    return ::write(fd, records.begin(), static_cast<std::size_t>(size)) == size;
}

// True once `fd` is readable; gives up after a generous while, so a fault fails the test instead of
// hanging it.
inline bool readable_soon(int fd, int timeout_ms = 5000) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeout_ms) == 1;
}

} // namespace veltro::testing
