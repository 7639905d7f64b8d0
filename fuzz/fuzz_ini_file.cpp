// The settings file is text anyone can edit: parsing it, looking keys up and writing it back must
// never fail, and the text written must parse to the same values.
#include "support/ini_file.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    veltro::IniFile ini = veltro::IniFile::parse(text);
    const auto before = ini.get("Settings", "goal_compensation");
    ini.set("goal_lines", "GOAL_LINE1", "1,2,3,4");
    const veltro::IniFile again = veltro::IniFile::parse(ini.text());
    if (again.get("Goal_Lines", "goal_line1") != "1,2,3,4")
        std::abort();
    if (again.get("settings", "GOAL_COMPENSATION") != before && before && !before->empty())
        std::abort();
    return 0;
}
