#include "timing/lengths.h"

#include "support/numbers.h"
#include "support/settings.h"
#include "support/trace.h"

#include <cstdlib>

namespace veltro {

namespace {

constexpr int kMicroDigits = 6;
constexpr int kMaxWholeDigits = 6; // a million seconds: far beyond any race, and no overflow
constexpr std::int64_t kDistanceLengths = 20;

std::string quarters_text(std::int64_t quarters) {
    static constexpr const char* kFractions[] = {"", "1/4", "1/2", "3/4"};
    const std::int64_t whole = quarters / 4;
    const char* fraction = kFractions[quarters % 4];
    if (whole == 0)
        return fraction;
    std::string text = std::to_string(whole);
    if (*fraction != '\0')
        text += std::string(" ") + fraction;
    return text;
}

} // namespace

std::optional<std::int64_t> parse_seconds_per_length(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(' ');
    const std::size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos)
        return std::nullopt;
    std::int64_t whole = 0;
    std::int64_t micro = 0;
    int whole_digits = 0;
    int decimals = 0;
    bool point = false;
    bool any_digit = false;
    for (std::size_t i = begin; i <= end; ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            any_digit = true;
            if (!point) {
                if (++whole_digits > kMaxWholeDigits)
                    return std::nullopt;
                whole = whole * 10 + (c - '0');
            } else if (decimals < kMicroDigits) {
                micro = micro * 10 + (c - '0');
                ++decimals;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!any_digit)
        return std::nullopt;
    for (; decimals < kMicroDigits; ++decimals)
        micro *= 10;
    const std::int64_t us = whole * 1000000 + micro;
    if (us <= 0)
        return std::nullopt;
    return us;
}

std::int64_t seconds_per_length_setting() {
    const std::string text = Read_Setting(keys::seconds_per_length);
    if (const auto us = parse_seconds_per_length(text))
        return *us;
    Trace("Seconds_per_length",
          "'" + text + "' is no positive number of seconds, " + kDefaultSecondsPerLength + " used");
    return kDefaultUsPerLength;
}

std::string distance_in_lengths(std::int64_t difference_ms, std::int64_t us_per_length) {
    if (us_per_length <= 0)
        us_per_length = kDefaultUsPerLength;
    const std::int64_t us = std::llabs(difference_ms) * 1000;
    if (us > kDistanceLengths * us_per_length)
        return "DIS";
    const std::int64_t eighths = div_round_half_even(us * 8, us_per_length);
    if (eighths < 4) {
        static constexpr const char* kShort[] = {"SH", "SH", "HD", "NK"};
        return kShort[eighths];
    }
    return quarters_text(div_round_half_even(us * 4, us_per_length));
}

ResultDistances distances_in_lengths(const ResultArray& sorted, std::int64_t us_per_length) {
    ResultDistances distances;
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        const ResultRecord& dog = sorted[i];
        const ResultRecord& in_front = sorted[i - 1];
        if (dog.finish >= no_time::kFirst || in_front.finish >= no_time::kFirst)
            continue;
        distances[i] = dog.dead_heat
                           ? "DH"
                           : distance_in_lengths(std::int64_t{dog.finish} - in_front.finish, us_per_length);
    }
    return distances;
}

} // namespace veltro
