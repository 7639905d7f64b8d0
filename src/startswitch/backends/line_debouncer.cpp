#include "startswitch/backends/line_debouncer.h"

#include "support/clocks.h"

namespace veltro {

std::optional<LineDebouncer::Change> LineDebouncer::edge(bool level, std::uint32_t stamp) {
    raw_ = level;
    raw_stamp_ = stamp;
    if (window_end_ && elapsed_ms(stamp, *window_end_) > 0) {
        return std::nullopt;
    }
    // An edge inside a window that settle() has already closed was read late (the reader fell
    // behind the contact): it is a bounce all the same. The window opens again for settle() to
    // decide where the contact came to rest.
    if (!window_end_ && closed_end_ && elapsed_ms(stamp, *closed_end_) > 0) {
        window_end_ = closed_end_;
        return std::nullopt;
    }
    window_end_.reset();
    closed_end_.reset();
    if (level == reported_) {
        return std::nullopt;
    }
    reported_ = level;
    if (debounce_ms_ > 0) {
        window_end_ = stamp + debounce_ms_;
    }
    return Change{level, stamp};
}

std::optional<LineDebouncer::Change> LineDebouncer::settle(std::uint32_t now) {
    if (!window_end_ || elapsed_ms(*window_end_, now) < 0) {
        return std::nullopt;
    }
    closed_end_ = window_end_;
    window_end_.reset();
    if (raw_ == reported_) {
        return std::nullopt;
    }
    // The contact came to rest on the other level: that is a change of its own, which opens a window
    // of its own from the edge that made it.
    reported_ = raw_;
    if (debounce_ms_ > 0) {
        const std::uint32_t end = raw_stamp_ + debounce_ms_;
        if (elapsed_ms(now, end) > 0) {
            window_end_ = end;
        } else {
            closed_end_ = end;
        }
    }
    return Change{raw_, raw_stamp_};
}

std::optional<std::uint32_t> LineDebouncer::deadline() const {
    return window_end_;
}

void LineDebouncer::reset(bool level) {
    raw_ = level;
    reported_ = level;
    window_end_.reset();
    closed_end_.reset();
}

} // namespace veltro
