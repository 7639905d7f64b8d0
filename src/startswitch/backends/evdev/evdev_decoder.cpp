#include "startswitch/backends/evdev/evdev_decoder.h"

#include "support/kernel_stamps.h"

#include <climits>
#include <cstdint>
#include <ctime>

namespace veltro {

namespace {

std::int64_t clock_ns(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

std::uint32_t evdev_stamp_to_counter(std::int64_t sec, std::int64_t usec,
                                     std::int64_t realtime_minus_monotonic_ns) {
    return counter_ms_at(sec * 1000000000 + usec * 1000 - realtime_minus_monotonic_ns);
}

std::int64_t realtime_minus_monotonic_ns() {
    // The realtime reading is set against the middle of two monotonic ones around it; of a few tries,
    // the one least spread out, in case the thread was put aside during one.
    std::int64_t best_spread = INT64_MAX;
    std::int64_t offset = 0;
    for (int tries = 0; tries < 3; ++tries) {
        const std::int64_t before = clock_ns(CLOCK_MONOTONIC);
        const std::int64_t real = clock_ns(CLOCK_REALTIME);
        const std::int64_t after = clock_ns(CLOCK_MONOTONIC);
        if (after - before < best_spread) {
            best_spread = after - before;
            offset = real - (before + (after - before) / 2);
        }
    }
    return offset;
}

EvdevKeyBits evdev_key_bits(std::span<const unsigned long> longs) {
    constexpr std::size_t kBits = sizeof(unsigned long) * CHAR_BIT;
    EvdevKeyBits bits;
    for (std::size_t code = 0; code < bits.size() && code / kBits < longs.size(); ++code) {
        bits[code] = (longs[code / kBits] >> (code % kBits)) & 1u;
    }
    return bits;
}

void EvdevDecoder::reset(const EvdevKeyBits& down) {
    skipping_ = false;
    for (std::size_t slot = 0; slot < keys_.size(); ++slot) {
        levels_[slot] = keys_[slot] >= 0 && down[static_cast<std::size_t>(keys_[slot])];
    }
}

std::optional<std::uint32_t> EvdevDecoder::feed(const input_event& e,
                                                std::int64_t realtime_minus_monotonic_ns,
                                                std::vector<KitDriverEvent>& out) {
    if (e.type == EV_SYN) {
        if (e.code == SYN_DROPPED) {
            skipping_ = true;
        } else if (e.code == SYN_REPORT && skipping_) {
            skipping_ = false;
            return evdev_stamp_to_counter(e.input_event_sec, e.input_event_usec, realtime_minus_monotonic_ns);
        }
        return std::nullopt;
    }
    if (skipping_ || e.type != EV_KEY || (e.value != 0 && e.value != 1)) {
        return std::nullopt;
    }
    for (std::size_t slot = 0; slot < keys_.size(); ++slot) {
        if (keys_[slot] == e.code) {
            change(slot, e.value == 1,
                   evdev_stamp_to_counter(e.input_event_sec, e.input_event_usec, realtime_minus_monotonic_ns),
                   out);
        }
    }
    return std::nullopt;
}

void EvdevDecoder::resync(const EvdevKeyBits& down, std::uint32_t stamp, std::vector<KitDriverEvent>& out) {
    for (std::size_t slot = 0; slot < keys_.size(); ++slot) {
        if (keys_[slot] >= 0) {
            change(slot, down[static_cast<std::size_t>(keys_[slot])], stamp, out);
        }
    }
}

void EvdevDecoder::change(std::size_t slot, bool level, std::uint32_t stamp,
                          std::vector<KitDriverEvent>& out) {
    // A key reported in the state it already has (seen on open, or read after a gap) is no edge.
    if (levels_[slot] == level) {
        return;
    }
    levels_[slot] = level;
    out.push_back({KitDriverEvent::Kind::Edge, static_cast<std::int16_t>(slot), level, stamp});
}

} // namespace veltro
