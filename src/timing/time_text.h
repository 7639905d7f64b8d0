#pragma once

#include <cstdint>
#include <string>

namespace veltro {

// The one text form of a heat time: [h:]mm:ss,hh with a comma whatever the locale. Whole days are
// dropped; hundredths are rounded half to even and carried into the seconds (12995 ms is 00:13,00).
// Untrimmed, a positive time starts with one blank and a negative one with "-" (" 00:05,23",
// "-00:01,50"); trimmed, leading zeros and colons go while the text is longer than 4 characters
// ("5,23", "-1,50", "1:05,23").
std::string Display_Mill_Time(std::int32_t time, bool trim);

} // namespace veltro
