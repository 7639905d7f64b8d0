#pragma once

#include <string>

namespace veltro {

// Facts about this computer and this run that every new recording header and every error report
// carries. Filled once at start-up (fill_process_facts); the capture and start-switch parts update
// their fields when a source or a kit is chosen.
struct ProcessFacts {
    std::string computer_name = "Unknown computer name";
    std::string cpu_info = "Not known!";
    std::string cpu_bitness = "Not known!";
    std::string os_bitness = "Not known!";
    std::string physical_memory = "Not known!";
    std::string os_version = "Unknown OS";
    std::string manufacturer_model = "Not known!";
    std::string prog_id;  // program identifier and version, e.g. "Veltro_HDMI 5.0.0"
    std::string exe_name; // the executable's file name
    std::string exe_date; // modification date of the executable, "yyyy-mm-dd hh:nn:ss"
    std::string capture_property = "Not known!";
    std::string selected_crop = "400*880";
    std::string capture_source = "Not known!";
    std::string actual_sample = "Not known!";
    std::string phidget_serial = "Not known!";
    std::string current_file_name; // name of the recording being created
};

ProcessFacts& process_facts();

// Fills the computer and program fields from the system (cheap sources only).
void fill_process_facts();

} // namespace veltro
