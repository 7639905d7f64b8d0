#pragma once

#include <ctime>

namespace veltro::testing {

// A broken-down local time, given as it is written: local_time(2024, 5, 1, 14, 3, 7) is 2024-05-01 14:03:07.
inline std::tm local_time(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

} // namespace veltro::testing
