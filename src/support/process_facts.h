#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// Facts about this computer and this run that every new recording header and every error report
// carries. Filled once at start-up (fill_process_facts); the capture and start-switch parts update
// their fields when a source or a kit is chosen.
struct ProcessFacts {
    std::string computer_name = "Unknown computer name";
    std::string cpu_info = "Not known!";        // CPU description, "CPU= 8664 4 core 3.4GHz"
    std::string cpu_bitness = "Not known!";     // processor data width, "64"
    std::string os_bitness = "Not known!";      // operating-system address width, "64"
    std::string physical_memory = "Not known!"; // memory description, "15.5 GB (62% Free)"
    std::string os_version = "Unknown OS";      // the operating system's caption
    std::string manufacturer_model = "Not known!";
    std::string prog_id;                    // program identifier and version, e.g. "Veltro_HDMI 5.0.0"
    std::string exe_name;                   // the executable's file name
    std::string exe_date;                   // modification date of the executable, "yyyy-mm-dd hh:nn:ss"
    std::string app_path;                   // the folder of the executable
    std::string version_text;               // major.minor.revision
    int release = 0;                        // release number printed after " rm"
    std::string build_date;                 // compile date of this build, "yyyy-mm-dd hh:nn"
    std::uint64_t program_start_ms = 0;     // uptime_ms() when the program started
    std::vector<std::string> process_table; // executables of running processes (fill_process_table)
    std::string capture_property = "Not known!";
    std::string selected_crop = "400*880";
    std::string capture_source = "Not known!";
    std::string actual_sample = "Not known!";
    std::string phidget_serial = "Not known!";
    std::string current_file_name; // name of the recording being created
};

ProcessFacts& process_facts();

// Fills the computer and program fields from the system: memory, program identity and version,
// computer name, CPU description and operating system; and takes the program start time. The
// bitness values come from the settings store (load_bitness_values) and the process table from
// fill_process_table.
void fill_process_facts();

} // namespace veltro
