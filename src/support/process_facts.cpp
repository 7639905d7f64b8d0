#include "support/process_facts.h"

#include "support/app_paths.h"
#include "support/clocks.h"
#include "support/system_info.h"
#include "support/text.h"
#include "veltro_version.h"

#include <filesystem>
#include <fstream>

namespace veltro {
namespace {

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
    f.program_start_ms = uptime_ms();
    f.physical_memory = system_memory_description();
    f.prog_id = std::string(kProgramId) + " " + kVersionText;
    f.version_text = kVersionText;
    f.build_date = build_date_text();
    f.computer_name = system_computer_name();
    f.cpu_info = system_cpu_description();
    f.os_version = system_os_caption();
    const std::string vendor = read_line("/sys/class/dmi/id/sys_vendor");
    const std::string product = read_line("/sys/class/dmi/id/product_name");
    if (!vendor.empty() || !product.empty())
        f.manufacturer_model = trim(vendor + " " + product);
    const std::filesystem::path exe = executable_path();
    f.exe_name = exe.filename().string();
    f.app_path = exe.parent_path().string();
    std::error_code ec;
    const auto stamp = std::filesystem::last_write_time(exe, ec);
    if (!ec) {
        const auto sys = std::chrono::file_clock::to_sys(stamp);
        const std::time_t t = std::chrono::system_clock::to_time_t(sys);
        std::tm tm{};
        localtime_r(&t, &tm);
        f.exe_date = format_iso_datetime(tm);
    }
}

} // namespace veltro
