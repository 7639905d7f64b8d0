#include "timing/time_text.h"

#include "support/numbers.h"
#include "support/text.h"

#include <cstdlib>

namespace veltro {

std::string Display_Mill_Time(std::int32_t time, bool trim) {
    const bool negative = time < 0;
    // Work in hundredths so that a rounded-up 100th carries into the seconds.
    const std::int64_t ms = std::llabs(static_cast<std::int64_t>(time)) % 86400000;
    std::int64_t hundredths = div_round_half_even(ms, 10);
    if (hundredths == 8640000)
        hundredths = 0; // 23:59:59,995 and later round to the next day, which is dropped too
    const std::string text = clock_text(hundredths, trim);
    if (!trim)
        return (negative ? "-" : " ") + text;
    return negative ? "-" + text : text;
}

} // namespace veltro
