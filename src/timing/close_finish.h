#pragma once

#include "timing/finish_estimate.h"
#include "timing/heat_values.h"
#include "timing/result_ranking.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// One picture as the review steps through a recording: a field (half a frame period) when the
// measured rate is 40 pictures a second or less, else a whole frame. A finish time is the time of
// the first picture at or after the line, so the nose crossed at most one such period before it.
struct PicturePeriod {
    std::int32_t us = 20000;
    bool field_mode = true;
};

// The review steps fields up to 40 frames per second, frames above.
inline bool field_mode_for_rate(std::int32_t measured_fps) {
    return measured_fps <= 40;
}
// The period for a recording's measured rate; a rate never measured (0 or less) counts as 25 frames
// per second in field mode (20 ms).
PicturePeriod picture_period_for_rate(std::int32_t measured_fps);
// "20 ms": the period in whole milliseconds (halves to even).
std::string period_text(const PicturePeriod& period);
// The tool tip of a finish time: what the time says about the moment the nose crossed.
std::string finish_time_meaning(const PicturePeriod& period);

// Two boxes whose times the pictures cannot tell apart.
struct CloseFinish {
    std::int16_t first_box = 0; // the lower box number
    std::int16_t second_box = 0;
    bool same_picture = false; // given the same picture; otherwise less than one period apart
    std::string text;          // the warning as the results window shows it
};

// The pairs of boxes with valid finish times that were given the same picture (Velt_heat_frame
// equal and not 0), or whose finish times are less than one picture period apart, in finishing
// order. A pair that already shares a rank (every dog behind the first one down to the second is
// marked as a dead heat) is left out. A picture number that cannot be read counts as none. Where both
// boxes have an estimate of their crossing, the estimates decide instead: the pair is warned when
// they lie within their uncertainties of each other.
std::vector<CloseFinish> close_finish_warnings(const ResultArray& sorted, const HeatValues& heat,
                                               const PicturePeriod& period, const BoxEstimates& estimates);

// The colour of the times and the lines of a warned pair.
inline constexpr Rgb kCloseFinishColour{200, 90, 0};

} // namespace veltro
