#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace veltro {

// The counters of the performance window: frames received since the reset, frames that should
// have arrived at the nominal rate, and the difference.
class HdmiPerformanceCounters {
public:
    // Start time = `now`; received count 0.
    void Reset_Counters(std::uint32_t now);
    // One frame arrived at `now`; `running_fps` is the rate the main window last showed (below 31 means
    // a 40 ms period, else 20 ms).
    void HDMI_event(std::uint32_t now, std::int32_t running_fps);

    std::int32_t received() const { return received_; }
    std::int32_t calculated() const { return calculated_; }
    std::int32_t lost() const { return received_ - calculated_; }

private:
    std::uint32_t start_ = 0;
    std::int32_t received_ = 0;
    std::int32_t calculated_ = 0;
};

// One new column of the frame-delta chart of width x height pixels: the chart moves one column
// left, then a blue line (0xFF0000) is drawn in the last column from the bottom row up by `delta`
// pixels (to the top edge at most), and the yellow (0xFFFF) reference lines at 20, 40 and 80 ms
// are redrawn from the left margin + 2 to the right edge.
struct DeltaColumn {
    std::int32_t x = 0;        // the column drawn
    std::int32_t y_bottom = 0; // H - 1
    std::int32_t y_top = 0;    // H - 1 - delta, at least 0
    std::int32_t colour = 0xFF0000;
    std::int32_t reference_y[3] = {0, 0, 0}; // H - 20, H - 40, H - 80
    std::int32_t reference_x_from = 2;
    std::int32_t reference_colour = 0xFFFF;
};
DeltaColumn plot_delta_column(std::int32_t width, std::int32_t height, std::int32_t delta,
                              std::int32_t left_margin = 0);

// The performance window's dimension text: sample dimensions, ", ", whole part of
// 1000 / (ten-frame time / 10) and " fps"; empty when no ten-frame time is known.
std::string hdmi_dimensions_text(const std::string& sample_dimensions, std::int32_t hdmi_10_mill);

// The frame deltas of the chart, newest last. A fixed ring, so feeding it per frame never allocates;
// the window draws from it when it repaints, however many frames came in between.
class DeltaHistory {
public:
    static constexpr std::size_t kCapacity = 4096; // wider than any chart

    void push(std::int32_t delta) {
        ring_[next_] = delta;
        next_ = (next_ + 1) % kCapacity;
        if (size_ < kCapacity) {
            ++size_;
        }
    }
    std::size_t size() const { return size_; }
    // The i-th delta back from the newest (0 = newest); i < size().
    std::int32_t back(std::size_t i) const { return ring_[(next_ + kCapacity - 1 - i) % kCapacity]; }
    void clear() { size_ = 0; }

private:
    std::array<std::int32_t, kCapacity> ring_{};
    std::size_t next_ = 0;
    std::size_t size_ = 0;
};

// "min max fps: " and the lowest and highest rate of the source, from its longest and shortest frame
// interval texts (100 ns units): "min max fps: 25 / 50". A rate that cannot be derived reads "?".
std::string min_max_fps_text(const std::string& min_interval, const std::string& max_interval);

} // namespace veltro
