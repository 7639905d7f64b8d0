#include "support/process_facts.h"

#include "support/app_paths.h"
#include "support/text.h"
#include "veltro_version.h"

#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace veltro {
namespace {

std::string first_value(const std::string& file, const std::string& key, char separator) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const auto sep = line.find(separator);
        if (sep != std::string::npos && trim(line.substr(0, sep)) == key) {
            std::string value = trim(line.substr(sep + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

std::string read_line(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return trim(line);
}

} // namespace

ProcessFacts& process_facts() {
    static ProcessFacts facts;
    return facts;
}

void fill_process_facts() {
    ProcessFacts& f = process_facts();
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0 && *host)
        f.computer_name = host;
    if (auto cpu = first_value("/proc/cpuinfo", "model name", ':'); !cpu.empty())
        f.cpu_info = cpu + ", " + std::to_string(std::thread::hardware_concurrency()) + " processors";
    const long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && page_size > 0)
        f.physical_memory = std::to_string((static_cast<long long>(pages) * page_size) >> 20) + " MB";
    if (auto os = first_value("/etc/os-release", "PRETTY_NAME", '='); !os.empty())
        f.os_version = os;
    const std::string vendor = read_line("/sys/class/dmi/id/sys_vendor");
    const std::string product = read_line("/sys/class/dmi/id/product_name");
    if (!vendor.empty() || !product.empty())
        f.manufacturer_model = trim(vendor + " " + product);
    f.prog_id = std::string(kProgramId) + " " + kVersionText;
    f.exe_name = executable_name();
    std::error_code ec;
    const auto stamp = std::filesystem::last_write_time(executable_path(), ec);
    if (!ec) {
        const auto sys = std::chrono::file_clock::to_sys(stamp);
        const std::time_t t = std::chrono::system_clock::to_time_t(sys);
        std::tm tm{};
        localtime_r(&t, &tm);
        f.exe_date = format_iso_datetime(tm);
    }
}

} // namespace veltro
