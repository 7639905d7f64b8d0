#include "support/numbers.h"

#include "support/veltro_error.h"

#include <cmath>
#include <limits>

namespace veltro {
namespace {

[[noreturn]] void overflow() {
    throw VeltroError(err::kOverflow, "Overflow");
}

std::string_view trim_blanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Returns false for text that is no number; sets `too_big` when the digits overflow 64 bits.
bool parse_decimal(std::string_view text, std::int64_t& value, bool& too_big) {
    text = trim_blanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    std::int64_t v = 0;
    too_big = false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        if (v > (std::numeric_limits<std::int64_t>::max() - 9) / 10)
            too_big = true;
        else
            v = v * 10 + (c - '0');
    }
    value = negative ? -v : v;
    return true;
}

} // namespace

std::int32_t to_long(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        overflow();
    return static_cast<std::int32_t>(value);
}

std::int16_t to_integer(std::int64_t value) {
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        overflow();
    return static_cast<std::int16_t>(value);
}

std::int32_t checked_add(std::int32_t a, std::int32_t b) {
    return to_long(std::int64_t{a} + b);
}

std::int32_t checked_sub(std::int32_t a, std::int32_t b) {
    return to_long(std::int64_t{a} - b);
}

std::int32_t checked_mul(std::int32_t a, std::int32_t b) {
    return to_long(std::int64_t{a} * b);
}

std::int64_t round_half_even(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 9.0e18)
        overflow();
    return static_cast<std::int64_t>(std::nearbyint(value)); // the default rounding mode is to even
}

std::int64_t div_round_half_even(std::int64_t num, std::int64_t den) {
    if (den == 0)
        throw VeltroError(err::kDivisionByZero, "Division by zero");
    if (den < 0) {
        num = -num;
        den = -den;
    }
    std::int64_t q = num / den;
    std::int64_t r = num % den;
    if (r < 0) {
        q -= 1;
        r += den;
    }
    // now num = q * den + r with 0 <= r < den
    if (2 * r > den || (2 * r == den && (q % 2 != 0)))
        q += 1;
    return q;
}

std::int32_t parse_long(std::string_view text) {
    std::int64_t v = 0;
    bool too_big = false;
    if (!parse_decimal(text, v, too_big))
        throw VeltroError(err::kTypeMismatch, "Type mismatch");
    if (too_big)
        overflow();
    return to_long(v);
}

std::int16_t parse_integer(std::string_view text) {
    return to_integer(parse_long(text));
}

bool is_decimal_number(std::string_view text) {
    std::int64_t v = 0;
    bool too_big = false;
    return parse_decimal(text, v, too_big);
}

} // namespace veltro
