#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace veltro {

// When the nose crossed the line, worked out between the picture a finish time was given on and the
// one before it. Advisory only: the official time is the picture's.
struct FinishEstimate {
    std::int32_t ms = 0;             // heat time, as the pictures' times are (goal compensation applied)
    std::int32_t uncertainty_ms = 0; // either way
};

// Per box; index 1..6 (index 0 unused). Empty where no estimate could be made.
using BoxEstimates = std::array<std::optional<FinishEstimate>, 7>;

// "≈ 20,113 ±4 ms": the estimate beside a time, to the millisecond, `delay_ms` (the box delay) added.
std::string estimate_text(const FinishEstimate& estimate, std::int32_t delay_ms);

} // namespace veltro
