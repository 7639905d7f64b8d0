#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veltro {

// The few calls of the kit vendor's C library that the program uses, found at run time: the program
// builds and runs on a machine without it, and says so on the settings page instead. The library's
// interface-kit handle is also its generic handle, so one opaque pointer serves both.
struct PhidgetApi {
    using Handle = void*;
    using AttachHandler = int (*)(Handle kit, void* user);
    using ErrorHandler = int (*)(Handle kit, void* user, int code, const char* text);
    using InputHandler = int (*)(Handle kit, void* user, int index, int state);

    int (*create)(Handle* kit) = nullptr;
    int (*set_on_attach)(Handle kit, AttachHandler handler, void* user) = nullptr;
    int (*set_on_detach)(Handle kit, AttachHandler handler, void* user) = nullptr;
    int (*set_on_error)(Handle kit, ErrorHandler handler, void* user) = nullptr;
    int (*set_on_input_change)(Handle kit, InputHandler handler, void* user) = nullptr;
    int (*open)(Handle kit, int serial) = nullptr; // serial -1: the first kit found
    int (*close)(Handle kit) = nullptr;
    int (*destroy)(Handle kit) = nullptr;
    int (*get_input_count)(Handle kit, int* count) = nullptr;
    int (*get_input_state)(Handle kit, int index, int* state) = nullptr;
    int (*set_output_state)(Handle kit, int index, int state) = nullptr;
    int (*get_serial_number)(Handle kit, int* serial) = nullptr;
    int (*get_device_name)(Handle kit, const char** name) = nullptr;
    int (*get_library_version)(const char** version) = nullptr;
    int (*get_error_description)(int code, const char** text) = nullptr;

    // The library's own words for an error code.
    std::string error_text(int code) const;
    std::string version() const;
};

// The names the vendor's library is installed under, the run-time one first.
std::vector<std::string> phidget_library_names();

// Loads the first of `names` (sonames or paths) that the dynamic loader finds and looks up every call
// above. Empty, with `error` set, when none is installed or the one found lacks a call. A library
// that loaded is never unloaded: it runs threads of its own that may outlive a closed kit.
std::optional<PhidgetApi> load_phidget_library(const std::vector<std::string>& names, std::string& error);

} // namespace veltro
