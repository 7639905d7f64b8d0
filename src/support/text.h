#pragma once

#include "support/clocks.h"

#include <string>
#include <string_view>

namespace veltro {

// Replaces every ':', '-' and ',' by '_', and also '/', which would split the name into folders
// here. Apply it to a file-name part only, never to a folder.
std::string Make_Valid_File_Name(std::string_view name);

// "yyyy-mm-dd hh:nn:ss", e.g. "2024-05-01 14:03:07".
std::string format_iso_datetime(const std::tm& tm);
// "yy-mm-dd hh:mm:ss", e.g. "24-05-01 14:03:07".
std::string format_short_datetime(const std::tm& tm);
// The system's one default date-time text: the ISO form, so it does not depend on the locale.
inline std::string format_default_datetime(const std::tm& tm) {
    return format_iso_datetime(tm);
}
std::string now_iso_datetime();
std::string now_short_datetime();
inline std::string now_default_datetime() {
    return now_iso_datetime();
}

// A count of hundredths of a second under a day as "h:mm:ss,hh", or "mm:ss,hh" under an hour. Trimmed,
// leading zeros and colons go while the text is longer than 4 characters ("5,23", "1:05,23").
std::string clock_text(std::int64_t hundredths, bool trim);

// ASCII case-insensitive comparison, as the settings store compares section and key names.
bool iequals(std::string_view a, std::string_view b);
std::string to_lower_ascii(std::string_view text);
std::string to_upper_ascii(std::string_view text);
// Removes blanks, tabs, CR and LF at both ends.
std::string trim(std::string_view text);

// Text conversions between ISO-8859-1 bytes (files) and UTF-8 (in memory). Characters outside
// ISO-8859-1 become '?'.
std::string latin1_to_utf8(std::string_view latin1);
std::string utf8_to_latin1(std::string_view utf8);

} // namespace veltro
