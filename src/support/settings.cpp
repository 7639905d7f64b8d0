#include "support/settings.h"

#include "support/app_paths.h"
#include "support/files.h"
#include "support/ini_file.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/system_info.h"
#include "support/text.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <unistd.h>
#include <vector>

namespace veltro {
namespace {

constexpr std::size_t kMaxValue = 511; // the reader's 512-character buffer less its NUL

std::optional<std::string>& path_override() {
    static std::optional<std::string> path;
    return path;
}

IniFile load_ini(const std::string& path) {
    const auto text = read_whole_file(path);
    return IniFile::parse(text ? *text : std::string());
}

// Leading part of `text` as a whole number, like the platform's lenient conversion of a stored
// number ("12abc" -> 12); std::nullopt when it starts with no number at all.
std::optional<int> leading_int(const std::string& text) {
    try {
        std::size_t used = 0;
        const long v = std::stol(text, &used);
        if (v < -2147483647L || v > 2147483647L)
            return std::nullopt;
        return static_cast<int>(v);
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace

const std::string& settings_path() {
    if (!path_override())
        path_override() = data_file(std::string(kProgramId) + ".ini");
    return *path_override();
}

void set_settings_path(const std::string& path) {
    path_override() = path;
}

std::string Read_Setting(const std::string& section, const std::string& key,
                         const std::string& default_value) {
    const std::string& path = settings_path();
    if (path.empty()) {
        the_operator().message("Ini_file_path is empty!");
        return {};
    }
    std::string value = load_ini(path).get(section, key).value_or(std::string());
    if (value.size() > kMaxValue)
        value.resize(kMaxValue);
    if (!value.empty())
        return value;
    return default_value.empty() ? "N/A" : default_value;
}

std::int16_t Write_Setting(const std::string& section, const std::string& key, const std::string& value) {
    const std::string& path = settings_path();
    int rc = EINVAL;
    if (!path.empty()) {
        const auto text = read_whole_file(path);
        if (!text && ::access(path.c_str(), F_OK) == 0) {
            // A file that is there but cannot be read is not replaced by one holding this key only.
            rc = ::access(path.c_str(), R_OK) != 0 ? errno : EIO;
        } else {
            IniFile ini = IniFile::parse(text.value_or(std::string()));
            ini.set(section, key, value);
            rc = write_file_atomically(path, ini.text());
        }
    }
    if (rc == 0)
        return 1;
    the_operator().message("Writing to INI file failed! Path = " + path + "\r\n" +
                               " Error = " + std::to_string(rc) + " " + std::strerror(rc),
                           MsgIcon::Critical, " PXV Error");
    return 0;
}

std::string Read_Setting(const SettingKey& key) {
    return Read_Setting(key.section, key.key, key.default_value);
}

std::int16_t Write_Setting(const SettingKey& key, const std::string& value) {
    return Write_Setting(key.section, key.key, value);
}

void Store_Form_Pos(const std::string& form_name, const FormPos& pos) {
    Write_Setting(form_name, keys::windowpos,
                  std::to_string(pos.left) + "," + std::to_string(pos.top) + "," + std::to_string(pos.width) +
                      "," + std::to_string(pos.height));
}

FormPos Get_Form_Pos(const std::string& form_name, FormPos pos, int screen_width, int screen_height,
                     bool keep_on_screen) {
    const std::string stored = Read_Setting(form_name, keys::windowpos, keys::windowpos_default);
    std::vector<std::optional<int>> parts;
    std::size_t start = 0;
    while (start <= stored.size()) {
        auto comma = stored.find(',', start);
        if (comma == std::string::npos)
            comma = stored.size();
        parts.push_back(leading_int(stored.substr(start, comma - start)));
        start = comma + 1;
    }
    auto part = [&](std::size_t i) { return i < parts.size() ? parts[i] : std::nullopt; };
    if (part(0) && *part(0) > 0)
        pos.left = *part(0);
    if (part(1) && *part(1) > 0)
        pos.top = *part(1);
    if (part(2))
        pos.width = *part(2);
    if (part(3))
        pos.height = *part(3);
    if (pos.left < -150)
        pos.left = 0;
    if (pos.top < -150)
        pos.top = 0;
    if (keep_on_screen && pos.left >= screen_width)
        pos.left = 0;
    if (keep_on_screen && pos.top >= screen_height)
        pos.top = 0;
    return pos;
}

void load_bitness_values() {
    ProcessFacts& facts = process_facts();
    facts.cpu_bitness = Read_Setting(keys::cpubitness);
    if (facts.cpu_bitness == "N/A") {
        facts.cpu_bitness = system_data_width();
        Write_Setting(keys::cpubitness, facts.cpu_bitness);
    }
    facts.os_bitness = Read_Setting(keys::osbitness);
    if (facts.os_bitness == "N/A") {
        facts.os_bitness = system_address_width();
        Write_Setting(keys::osbitness, facts.os_bitness);
    }
}

} // namespace veltro
