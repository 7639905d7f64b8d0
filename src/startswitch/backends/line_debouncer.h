#pragma once

#include <cstdint>
#include <optional>

namespace veltro {

// One contact's edges after debouncing. The first edge that changes the reported level passes at
// once with its own time stamp, because that stamp is the start of the heat; further edges within
// `debounce_ms` of it are bounces. When the window closes, a level that ended up different from the
// one reported is reported then, stamped with the edge that left it there.
class LineDebouncer {
public:
    struct Change {
        bool level = false;
        std::uint32_t stamp = 0;
    };

    explicit LineDebouncer(std::uint32_t debounce_ms = 0, bool level = false)
        : debounce_ms_(debounce_ms), raw_(level), reported_(level) {}

    // The contact's level as the board saw it, at `stamp` (PC millisecond counter).
    std::optional<Change> edge(bool level, std::uint32_t stamp);
    // Closes the window when `now` has reached its end; reports the level a bounce left behind.
    std::optional<Change> settle(std::uint32_t now);
    // When settle() has something to decide; empty while no window is open.
    std::optional<std::uint32_t> deadline() const;

    bool level() const { return reported_; }
    // A new level without an event (the board attached with the contact in this position).
    void reset(bool level);

private:
    std::uint32_t debounce_ms_;
    bool raw_;
    std::uint32_t raw_stamp_ = 0;
    bool reported_;
    std::optional<std::uint32_t> window_end_;
    std::optional<std::uint32_t> closed_end_; // the end of the window settle() closed last
};

} // namespace veltro
