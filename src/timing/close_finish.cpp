#include "timing/close_finish.h"

#include "support/numbers.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace veltro {

namespace {

constexpr std::int32_t kUnmeasuredRate = 25;

std::int16_t frame_of(const HeatValues& heat, std::int16_t box) {
    try {
        return heat.Velt_heat_frame(box);
    } catch (const VeltroError&) {
        return 0;
    }
}

bool valid(const ResultRecord& r) {
    return r.finish < no_time::kFirst && r.box >= 1 && r.box <= kTimedBoxes;
}

} // namespace

PicturePeriod picture_period_for_rate(std::int32_t measured_fps) {
    const std::int32_t rate = measured_fps > 0 ? measured_fps : kUnmeasuredRate;
    const bool field_mode = field_mode_for_rate(rate);
    const std::int64_t pictures_per_second = field_mode ? 2LL * rate : rate;
    return {static_cast<std::int32_t>(div_round_half_even(1000000, pictures_per_second)), field_mode};
}

std::string period_text(const PicturePeriod& period) {
    return std::to_string(div_round_half_even(period.us, 1000)) + " ms";
}

std::string finish_time_meaning(const PicturePeriod& period) {
    return "first picture at or after the line: the nose crossed within the " + period_text(period) +
           " before";
}

namespace {

// The warning of a pair judged by their estimates; std::nullopt when the estimates tell them apart.
std::optional<std::string> estimates_warning(const FinishEstimate& a, const FinishEstimate& b) {
    const std::int64_t apart = std::abs(std::int64_t{a.ms} - b.ms);
    if (apart > std::int64_t{a.uncertainty_ms} + b.uncertainty_ms)
        return std::nullopt;
    return " crossed " + std::to_string(apart) + " ms apart by the estimates (\xc2\xb1" +
           std::to_string(a.uncertainty_ms) + " and \xc2\xb1" + std::to_string(b.uncertainty_ms) + " ms)";
}

} // namespace

std::vector<CloseFinish> close_finish_warnings(const ResultArray& sorted, const HeatValues& heat,
                                               const PicturePeriod& period, const BoxEstimates& estimates) {
    std::vector<CloseFinish> warnings;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (!valid(sorted[i]))
            continue;
        const std::int16_t frame_i = frame_of(heat, sorted[i].box);
        bool sharing_rank = true;
        for (std::size_t j = i + 1; j < sorted.size(); ++j) {
            const ResultRecord& later = sorted[j];
            sharing_rank = sharing_rank && later.dead_heat;
            if (!valid(later) || sharing_rank)
                continue;
            const bool same_picture = frame_i != 0 && frame_of(heat, later.box) == frame_i;
            const std::int64_t apart_us = std::max(std::int64_t{later.finish} - sorted[i].finish,
                                                   std::int64_t{sorted[i].finish} - later.finish) *
                                          1000;
            const auto& estimate_i = estimates[static_cast<std::size_t>(sorted[i].box)];
            const auto& estimate_j = estimates[static_cast<std::size_t>(later.box)];
            std::optional<std::string> by_estimates;
            if (estimate_i && estimate_j) {
                by_estimates = estimates_warning(*estimate_i, *estimate_j);
                if (!by_estimates)
                    continue;
            } else if (!same_picture && apart_us >= period.us) {
                continue;
            }
            CloseFinish w;
            w.first_box = std::min(sorted[i].box, later.box);
            w.second_box = std::max(sorted[i].box, later.box);
            w.same_picture = same_picture;
            const std::string boxes =
                "Boxes " + std::to_string(w.first_box) + " and " + std::to_string(w.second_box);
            w.text = boxes +
                     (by_estimates   ? *by_estimates
                      : same_picture ? " were given the same picture"
                                     : " are less than one picture (" + period_text(period) + ") apart") +
                     ": check for a dead heat";
            warnings.push_back(std::move(w));
        }
    }
    return warnings;
}

} // namespace veltro
