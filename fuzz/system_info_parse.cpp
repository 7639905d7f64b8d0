// The system files read for the PC facts (/proc/cpuinfo, /proc/meminfo, os-release) come from
// outside the program; no text may crash their readers.
#include "support/system_info.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)veltro::os_caption(text);
    (void)veltro::meminfo_bytes(text, "MemTotal");
    (void)veltro::processor_mhz(text, text);
    (void)veltro::data_width_from_cpuinfo(text, 64);
    (void)veltro::cpuinfo_value(text, "model name");
    if (auto total = veltro::meminfo_bytes(text, "MemTotal"))
        (void)veltro::memory_description(*total, veltro::meminfo_bytes(text, "MemAvailable").value_or(0));
    return 0;
}
