#include "support/spreadsheet_cell.h"

#include <algorithm>
#include <cctype>

namespace veltro {
namespace {

bool is_whole_number(std::string_view text) {
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

} // namespace

std::string spreadsheet_safe(std::string_view cell) {
    if (cell.empty() || std::string_view("=+-@\t\r").find(cell.front()) == std::string_view::npos ||
        is_whole_number(cell))
        return std::string(cell);
    return "'" + std::string(cell);
}

} // namespace veltro
