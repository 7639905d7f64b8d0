#include "app/time_text.h"

#include "support/numbers.h"

#include <cstdio>
#include <cstdlib>

namespace veltro {

std::string Display_Mill_Time(std::int32_t time, bool trim) {
    const bool negative = time < 0;
    // Work in hundredths so that a rounded-up 100th carries into the seconds.
    const std::int64_t ms = std::llabs(static_cast<std::int64_t>(time)) % 86400000;
    std::int64_t hundredths = div_round_half_even(ms, 10);
    if (hundredths == 8640000)
        hundredths = 0; // 23:59:59,995 and later round to the next day, which is dropped too
    const std::int64_t hours = hundredths / 360000;
    const std::int64_t minutes = hundredths / 6000 % 60;
    const std::int64_t seconds = hundredths / 100 % 60;
    char buf[40];
    if (hours > 0)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld,%02lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(seconds),
                      static_cast<long long>(hundredths % 100));
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld,%02lld", static_cast<long long>(minutes),
                      static_cast<long long>(seconds), static_cast<long long>(hundredths % 100));
    std::string text = buf;
    if (!trim)
        return (negative ? "-" : " ") + text;
    while (text.size() > 4 && (text.front() == '0' || text.front() == ':'))
        text.erase(0, 1);
    return negative ? "-" + text : text;
}

} // namespace veltro
