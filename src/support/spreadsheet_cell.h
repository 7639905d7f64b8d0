#pragma once

#include <string>
#include <string_view>

namespace veltro {

// A CSV cell as a spreadsheet will take it: a text that begins with '=', '+', '-', '@', a tab or a
// carriage return would be run as a formula (names come from race cards and operators), so it gets
// a leading apostrophe, which spreadsheets show as plain text. A plain whole number ("-30") is left
// as it is. Every CSV writer passes each cell through here before quoting it.
std::string spreadsheet_safe(std::string_view cell);

} // namespace veltro
