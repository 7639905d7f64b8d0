#pragma once

#include "startswitch/kit_driver.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <linux/input.h>
#include <optional>
#include <span>
#include <vector>

namespace veltro {

// The PC millisecond counter at the moment a kernel input event was stamped. Asked for it, the
// kernel stamps with the monotonic clock, the counter's own (`realtime_minus_monotonic_ns` is then
// 0); otherwise its stamps are the realtime clock, moved onto the monotonic one by the two clocks'
// difference sampled when the event is read.
std::uint32_t evdev_stamp_to_counter(std::int64_t sec, std::int64_t usec,
                                     std::int64_t realtime_minus_monotonic_ns);
// How far the realtime clock is ahead of the monotonic clock now, in nanoseconds.
std::int64_t realtime_minus_monotonic_ns();

// Which keys are down (EVIOCGKEY) or exist (EVIOCGBIT), by key code.
using EvdevKeyBits = std::bitset<KEY_CNT>;
// The kernel writes key bits as an array of longs: bit n is bit n % bits-per-long of long n / that.
EvdevKeyBits evdev_key_bits(std::span<const unsigned long> longs);

// Turns the records an input device delivers into the edges of the inputs its keys are wired to.
// Pressed (1) is level true, released (0) false; autorepeat (2) and other event types say nothing
// about the contact. When the kernel had to drop records (SYN_DROPPED), everything up to the next
// SYN_REPORT is incomplete and skipped; the caller then reads the key state and hands it to resync().
class EvdevDecoder {
public:
    explicit EvdevDecoder(const std::array<int, InterfaceKit::kInputs>& keys) : keys_(keys) {}

    // Starts over from the device's key state, as found when it was opened.
    void reset(const EvdevKeyBits& down);
    const KitLevels& levels() const { return levels_; }

    // One record. Changes of wired keys are appended to `out`. When the record ends a gap, returns
    // its stamp on the counter: the moment to give resync().
    std::optional<std::uint32_t> feed(const input_event& e, std::int64_t realtime_minus_monotonic_ns,
                                      std::vector<KitDriverEvent>& out);
    // The key state after a gap: inputs whose key changed unseen get an edge stamped `stamp`, the
    // first moment the change is known.
    void resync(const EvdevKeyBits& down, std::uint32_t stamp, std::vector<KitDriverEvent>& out);

private:
    void change(std::size_t slot, bool level, std::uint32_t stamp, std::vector<KitDriverEvent>& out);

    std::array<int, InterfaceKit::kInputs> keys_;
    KitLevels levels_{};
    bool skipping_ = false;
};

} // namespace veltro
