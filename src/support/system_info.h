#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// Facts about this PC, read from the system's own sources (/proc, /sys, the OS release file,
// sysconf). The text forms are the ones the error report, the About window and every recording
// header carry; the pure formatting and parsing functions are separate so they can be checked
// without the machine they describe.

// A size in bytes, 1 KB = 1024 bytes: below 1 KB "<n> bytes"; below 1 MB in KB to 1 decimal; below
// 1 GB in MB to 2 decimals; below 1 TB in GB to 2 decimals; from 1 TB on the text is empty. Halves
// round to even and trailing zeros are dropped ("8 GB", "1.5 GB", "517.3 KB").
std::string format_memory_size(std::uint64_t bytes);
// Total size, then " (", the free part as a whole percentage, "% Free)".
std::string memory_description(std::uint64_t total_bytes, std::uint64_t free_bytes);
// "CPU= " + type + " " + count + " core " + speed in GHz to one decimal + "GHz", e.g.
// "CPU= 8664 4 core 3.4GHz".
std::string cpu_description(std::string_view processor_type, long processor_count, long mhz);

// The processor type number for a machine name of uname(2): "8664" for x86_64, "586" for a
// Pentium-class i586/i686, "386" / "486" for those; any other machine keeps its own name.
std::string processor_type_for_machine(std::string_view machine);
// Address width (operating-system bitness) for a machine name of uname(2): 64 or 32.
int address_width_for_machine(std::string_view machine);
// Data width (processor bitness): on x86 the long-mode flag of /proc/cpuinfo decides; elsewhere
// the processor is taken to be as wide as the system running on it.
int data_width_from_cpuinfo(std::string_view cpuinfo, int address_width);

// The value of `key` in /proc/cpuinfo-style text ("key<blanks>: value"), first occurrence; empty when
// missing.
std::string cpuinfo_value(std::string_view cpuinfo, std::string_view key);
// A "Key:   123 kB" value of /proc/meminfo, in bytes.
std::optional<std::uint64_t> meminfo_bytes(std::string_view meminfo, std::string_view key);
// The value of KEY in os-release text (shell-style quoting and escapes undone); empty when missing.
std::string os_release_value(std::string_view os_release, std::string_view key);
// PRETTY_NAME of the OS release text, else NAME + " " + VERSION, else "Unknown OS".
std::string os_caption(std::string_view os_release);
// Processor speed in MHz: the nominal maximum of cpufreq (kHz text) when known, else "cpu MHz" of
// /proc/cpuinfo; 0 when neither is known.
long processor_mhz(std::string_view cpufreq_max_khz, std::string_view cpuinfo);

// The same facts read from this system now.
std::string system_memory_description();
std::string system_cpu_description();
std::string system_os_caption();
std::string system_computer_name();
// Operating-system bitness and processor bitness, as "64" or "32".
std::string system_address_width();
std::string system_data_width();

// The compile date and time of this build, "yyyy-mm-dd hh:nn".
std::string build_date_text();

// The process table: up to 200 full executable paths of running processes (each cut at 500
// characters), in process-number order. Processes whose executable cannot be read (other users',
// kernel threads, ones that have just ended) are skipped. `proc_root` is the proc file system.
std::vector<std::string> read_process_table(const std::string& proc_root);
// The number of entries that contain `text` (case-sensitive).
std::int16_t count_entries_containing(const std::vector<std::string>& table, std::string_view text);

// Fills the process table of the process facts from the running system, and counts in it.
void fill_process_table();
std::int16_t count_processes(std::string_view text);

} // namespace veltro
