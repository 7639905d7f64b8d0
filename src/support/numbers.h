#pragma once

#include <cstdint>
#include <string_view>

namespace veltro {

// Checked 32-bit arithmetic: a result outside the Long range fails with error 6 "Overflow".
std::int32_t checked_add(std::int32_t a, std::int32_t b);
std::int32_t checked_sub(std::int32_t a, std::int32_t b);
std::int32_t checked_mul(std::int32_t a, std::int32_t b);
// Narrowing that fails with "Overflow" instead of wrapping.
std::int32_t to_long(std::int64_t value);
std::int16_t to_integer(std::int64_t value);

// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
std::int64_t round_half_even(double value);
// Integer division num / den rounded half to even (den > 0).
std::int64_t div_round_half_even(std::int64_t num, std::int64_t den);

// Strict decimal reading: optional blanks around, an optional sign, at least one digit, nothing
// else. Text that is no number fails with error 13 "Type mismatch"; a number outside the range
// fails with error 6 "Overflow".
std::int32_t parse_long(std::string_view text);
std::int16_t parse_integer(std::string_view text);
// The same test without failing.
bool is_decimal_number(std::string_view text);

} // namespace veltro
