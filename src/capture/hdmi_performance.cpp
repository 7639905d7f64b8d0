#include "capture/hdmi_performance.h"

#include "support/clocks.h"
#include "support/numbers.h"
#include "support/veltro_error.h"

#include <algorithm>

namespace veltro {

void HdmiPerformanceCounters::Reset_Counters(std::uint32_t now) {
    start_ = now;
    received_ = 0;
    calculated_ = 0;
}

void HdmiPerformanceCounters::HDMI_event(std::uint32_t now, std::int32_t running_fps) {
    received_ = checked_add(received_, 1);
    // 40 ms up to 30 frames a second (and before the rate is known), else the measured rate's own.
    const std::int64_t elapsed = elapsed_ms(start_, now);
    calculated_ = to_long(running_fps < 31 ? div_round_half_even(elapsed, 40)
                                           : div_round_half_even(elapsed * running_fps, 1000));
}

DeltaColumn plot_delta_column(std::int32_t width, std::int32_t height, std::int32_t delta,
                              std::int32_t left_margin) {
    DeltaColumn c;
    c.x = std::max(width - 1, 0);
    c.y_bottom = std::max(height - 1, 0);
    const std::int64_t top = static_cast<std::int64_t>(height) - 1 - delta;
    c.y_top = static_cast<std::int32_t>(std::clamp<std::int64_t>(top, 0, c.y_bottom));
    c.reference_y[0] = height - 20;
    c.reference_y[1] = height - 40;
    c.reference_y[2] = height - 80;
    c.reference_x_from = left_margin + 2;
    return c;
}

std::string hdmi_dimensions_text(const std::string& sample_dimensions, std::int32_t hdmi_10_mill) {
    if (hdmi_10_mill <= 0) {
        return {};
    }
    // 1000 / (t / 10) = 10000 / t, whole part.
    return sample_dimensions + ", " + std::to_string(10000 / hdmi_10_mill) + " fps";
}

namespace {
std::string rate_of(const std::string& interval) {
    if (!is_decimal_number(interval)) {
        return "?";
    }
    std::int64_t units = 0;
    try {
        units = parse_long(interval);
    } catch (const VeltroError&) {
        return "?";
    }
    if (units <= 0) {
        return "?";
    }
    return std::to_string(div_round_half_even(10000000, units));
}
} // namespace

std::string min_max_fps_text(const std::string& min_interval, const std::string& max_interval) {
    // The longest interval gives the lowest rate.
    return "min max fps: " + rate_of(max_interval) + " / " + rate_of(min_interval);
}

} // namespace veltro
