#pragma once

#include "timing/heat_values.h"
#include "timing/result_ranking.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace veltro {

// Distances between dogs in lengths, as greyhound results print them: "DH", "SH" (short head,
// 1/8), "HD" (head, 2/8), "NK" (neck, 3/8), then quarter lengths "1/2", "3/4", "1", "1 1/4", ...,
// and "DIS" (a distance) beyond 20 lengths.
//
// The seconds-per-length setting is held in microseconds, so that every step is an exact integer
// boundary (at 0.08 s one eighth of a length is exactly 10 ms).
inline constexpr std::int64_t kDefaultUsPerLength = 80000;
inline constexpr const char* kDefaultSecondsPerLength = "0.08";

// "0.08", "0.1", "1", ".075": seconds as a decimal number with a point, in microseconds (digits
// past the sixth decimal are dropped). std::nullopt for anything else, for zero and for values
// beyond a million seconds.
std::optional<std::int64_t> parse_seconds_per_length(const std::string& text);

// The setting `seconds_per_length` as it stands in the settings store now; an unreadable or
// non-positive value gives the default 0.08 s (and says so in the trace).
std::int64_t seconds_per_length_setting();

// The distance for a finish-time difference (ms, the later dog's time minus the earlier one's):
// below half a length the nearest eighth (halves to even) and at least "SH", even for 0 ms; from
// half a length on the nearest quarter (halves to even); more than 20 lengths "DIS".
std::string distance_in_lengths(std::int64_t difference_ms, std::int64_t us_per_length);

// Each position's distance to the dog ranked just in front, for a sorted result: "" for the winner
// and for a dog without a valid time, "DH" for a dead heat.
ResultDistances distances_in_lengths(const ResultArray& sorted, std::int64_t us_per_length);

} // namespace veltro
