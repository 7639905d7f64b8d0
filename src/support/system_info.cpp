#include "support/system_info.h"

#include "support/files.h"
#include "support/numbers.h"
#include "support/process_facts.h"
#include "support/text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <sys/utsname.h>
#include <unistd.h>

namespace veltro {
namespace {

constexpr std::uint64_t kKB = 1024;
constexpr std::size_t kMaxProcesses = 200;
constexpr std::size_t kMaxProcessPath = 500;

// `scaled` / 10^decimals with the trailing zeros of the fraction dropped.
std::string scaled_text(std::int64_t scaled, int decimals) {
    std::int64_t unit = 1;
    for (int i = 0; i < decimals; ++i)
        unit *= 10;
    std::string text = std::to_string(scaled / unit);
    std::string fraction = std::to_string(scaled % unit);
    fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    if (!fraction.empty())
        text += "." + fraction;
    return text;
}

// Lines of `text`, one at a time.
template <class F>
void for_each_line(std::string_view text, F&& f) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        if (f(text.substr(0, end)))
            return;
        if (end == std::string_view::npos)
            return;
        text.remove_prefix(end + 1);
    }
}

std::optional<std::int64_t> leading_number(std::string_view text) {
    const std::string t = trim(text);
    double value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end == t.data() || !(value >= 0) || value > 1e15)
        return std::nullopt;
    return round_half_even(value);
}

std::string file_text(const std::string& path) {
    return read_whole_file(path).value_or(std::string());
}

std::string uname_machine() {
    utsname u{};
    return uname(&u) == 0 ? std::string(u.machine) : std::string();
}

} // namespace

std::string format_memory_size(std::uint64_t bytes) {
    const auto b = static_cast<std::int64_t>(std::min<std::uint64_t>(bytes, kKB * kKB * kKB * kKB));
    if (bytes < kKB)
        return std::to_string(bytes) + " bytes";
    if (bytes < kKB * kKB)
        return scaled_text(div_round_half_even(b * 10, kKB), 1) + " KB";
    if (bytes < kKB * kKB * kKB)
        return scaled_text(div_round_half_even(b * 100, kKB * kKB), 2) + " MB";
    if (bytes < kKB * kKB * kKB * kKB)
        return scaled_text(div_round_half_even(b * 100, kKB * kKB * kKB), 2) + " GB";
    return {};
}

std::string memory_description(std::uint64_t total_bytes, std::uint64_t free_bytes) {
    const double share = total_bytes == 0 ? 0.0
                                          : 100.0 * static_cast<double>(std::min(free_bytes, total_bytes)) /
                                                static_cast<double>(total_bytes);
    return format_memory_size(total_bytes) + " (" + std::to_string(round_half_even(share)) + "% Free)";
}

std::string cpu_description(std::string_view processor_type, long processor_count, long mhz) {
    const std::int64_t tenths = div_round_half_even(std::max(0L, mhz), 100);
    return "CPU= " + std::string(processor_type) + " " + std::to_string(processor_count) + " core " +
           std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "GHz";
}

std::string processor_type_for_machine(std::string_view machine) {
    if (machine == "x86_64" || machine == "amd64")
        return "8664";
    if (machine == "i586" || machine == "i686")
        return "586";
    if (machine == "i386" || machine == "i486")
        return std::string(machine.substr(1));
    return std::string(machine);
}

int address_width_for_machine(std::string_view machine) {
    return machine.find("64") != std::string_view::npos || machine == "s390x" ? 64 : 32;
}

int data_width_from_cpuinfo(std::string_view cpuinfo, int address_width) {
    std::optional<int> width;
    for_each_line(cpuinfo, [&](std::string_view line) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || trim(line.substr(0, colon)) != "flags")
            return false;
        width = (std::string(line.substr(colon + 1)) + " ").find(" lm ") != std::string::npos ? 64 : 32;
        return true;
    });
    return width.value_or(address_width);
}

std::string cpuinfo_value(std::string_view cpuinfo, std::string_view key) {
    std::string value;
    for_each_line(cpuinfo, [&](std::string_view line) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || trim(line.substr(0, colon)) != key)
            return false;
        value = trim(line.substr(colon + 1));
        return true;
    });
    return value;
}

std::optional<std::uint64_t> meminfo_bytes(std::string_view meminfo, std::string_view key) {
    const std::string text = cpuinfo_value(meminfo, key);
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data())
        return std::nullopt;
    const std::string unit =
        trim(std::string_view(end, static_cast<std::size_t>(text.data() + text.size() - end)));
    if (unit.empty())
        return value;
    if (unit == "kB" && value <= UINT64_MAX / kKB)
        return value * kKB;
    return std::nullopt;
}

std::string os_release_value(std::string_view os_release, std::string_view key) {
    std::string value;
    bool found = false;
    for_each_line(os_release, [&](std::string_view line) {
        const auto eq = line.find('=');
        if (eq == std::string_view::npos || trim(line.substr(0, eq)) != key)
            return false;
        const std::string raw = trim(line.substr(eq + 1));
        char quote = 0;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            if (quote == 0 && (c == '"' || c == '\'')) {
                quote = c;
            } else if (quote != 0 && c == quote) {
                quote = 0;
            } else if (c == '\\' && quote != '\'' && i + 1 < raw.size()) {
                value += raw[++i];
            } else {
                value += c;
            }
        }
        found = true;
        return true;
    });
    return found ? value : std::string();
}

std::string os_caption(std::string_view os_release) {
    if (auto pretty = trim(os_release_value(os_release, "PRETTY_NAME")); !pretty.empty())
        return pretty;
    const std::string name = trim(os_release_value(os_release, "NAME"));
    if (!name.empty())
        return trim(name + " " + os_release_value(os_release, "VERSION"));
    return "Unknown OS";
}

long processor_mhz(std::string_view cpufreq_max_khz, std::string_view cpuinfo) {
    if (auto khz = leading_number(cpufreq_max_khz); khz && *khz > 0)
        return static_cast<long>(div_round_half_even(*khz, 1000));
    if (auto mhz = leading_number(cpuinfo_value(cpuinfo, "cpu MHz")); mhz && *mhz > 0)
        return static_cast<long>(*mhz);
    return 0;
}

std::string system_memory_description() {
    const std::string meminfo = file_text("/proc/meminfo");
    auto total = meminfo_bytes(meminfo, "MemTotal");
    auto free = meminfo_bytes(meminfo, "MemAvailable");
    const long pages = sysconf(_SC_PHYS_PAGES), free_pages = sysconf(_SC_AVPHYS_PAGES),
               page_size = sysconf(_SC_PAGE_SIZE);
    if (!total && pages > 0 && page_size > 0)
        total = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
    if (!free && free_pages >= 0 && page_size > 0)
        free = static_cast<std::uint64_t>(free_pages) * static_cast<std::uint64_t>(page_size);
    if (!total)
        return "Not known!";
    return memory_description(*total, free.value_or(0));
}

std::string system_cpu_description() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    const long mhz = processor_mhz(file_text("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq"),
                                   file_text("/proc/cpuinfo"));
    return cpu_description(processor_type_for_machine(uname_machine()), count > 0 ? count : 1, mhz);
}

std::string system_os_caption() {
    std::string text = file_text("/etc/os-release");
    if (text.empty())
        text = file_text("/usr/lib/os-release");
    return os_caption(text);
}

std::string system_computer_name() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
        return "Unknown computer name";
    return host;
}

std::string system_address_width() {
    const std::string machine = uname_machine();
    return std::to_string(machine.empty() ? static_cast<int>(sizeof(void*) * 8)
                                          : address_width_for_machine(machine));
}

std::string system_data_width() {
    const std::string machine = uname_machine();
    const int address =
        machine.empty() ? static_cast<int>(sizeof(void*) * 8) : address_width_for_machine(machine);
    return std::to_string(data_width_from_cpuinfo(file_text("/proc/cpuinfo"), address));
}

std::string build_date_text() {
    // __DATE__ is "Mmm dd yyyy" with a blank-padded day; __TIME__ is "hh:mm:ss".
    static constexpr std::string_view months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const std::string_view date = __DATE__, time = __TIME__;
    const auto month = months.find(date.substr(0, 3)) / 3 + 1;
    std::string day(date.substr(4, 2));
    if (day[0] == ' ')
        day[0] = '0';
    return std::string(date.substr(7, 4)) + "-" + (month < 10 ? "0" : "") + std::to_string(month) + "-" +
           day + " " + std::string(time.substr(0, 5));
}

std::vector<std::string> read_process_table(const std::string& proc_root) {
    namespace fs = std::filesystem;
    std::vector<long> pids;
    std::error_code ec;
    for (fs::directory_iterator it(proc_root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.empty() &&
            std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            pids.push_back(std::strtol(name.c_str(), nullptr, 10));
    }
    std::sort(pids.begin(), pids.end());
    std::vector<std::string> table;
    for (long pid : pids) {
        if (table.size() >= kMaxProcesses)
            break;
        std::error_code link_ec;
        std::string exe =
            fs::read_symlink(fs::path(proc_root) / std::to_string(pid) / "exe", link_ec).string();
        if (link_ec || exe.empty())
            continue;
        if (exe.size() > kMaxProcessPath)
            exe.resize(kMaxProcessPath);
        table.push_back(std::move(exe));
    }
    return table;
}

std::int16_t count_entries_containing(const std::vector<std::string>& table, std::string_view text) {
    std::int16_t count = 0;
    for (const auto& entry : table)
        if (entry.find(text) != std::string::npos)
            ++count;
    return count;
}

void fill_process_table() {
    process_facts().process_table = read_process_table("/proc");
}

std::int16_t count_processes(std::string_view text) {
    return count_entries_containing(process_facts().process_table, text);
}

} // namespace veltro
