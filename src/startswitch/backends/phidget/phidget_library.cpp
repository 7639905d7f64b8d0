#include "startswitch/backends/phidget/phidget_library.h"

#include <dlfcn.h>

namespace veltro {

namespace {

template <class Fn>
void look_up(void* library, const char* name, Fn& fn, std::string& missing) {
    void* address = ::dlsym(library, name);
    if (!address) {
        if (missing.empty()) {
            missing = name;
        }
        return;
    }
    fn = reinterpret_cast<Fn>(address);
}

std::string look_up_all(void* library, PhidgetApi& api) {
    std::string missing;
    look_up(library, "CPhidgetInterfaceKit_create", api.create, missing);
    look_up(library, "CPhidget_set_OnAttach_Handler", api.set_on_attach, missing);
    look_up(library, "CPhidget_set_OnDetach_Handler", api.set_on_detach, missing);
    look_up(library, "CPhidget_set_OnError_Handler", api.set_on_error, missing);
    look_up(library, "CPhidgetInterfaceKit_set_OnInputChange_Handler", api.set_on_input_change, missing);
    look_up(library, "CPhidget_open", api.open, missing);
    look_up(library, "CPhidget_close", api.close, missing);
    look_up(library, "CPhidget_delete", api.destroy, missing);
    look_up(library, "CPhidgetInterfaceKit_getInputCount", api.get_input_count, missing);
    look_up(library, "CPhidgetInterfaceKit_getInputState", api.get_input_state, missing);
    look_up(library, "CPhidgetInterfaceKit_setOutputState", api.set_output_state, missing);
    look_up(library, "CPhidget_getSerialNumber", api.get_serial_number, missing);
    look_up(library, "CPhidget_getDeviceName", api.get_device_name, missing);
    look_up(library, "CPhidget_getLibraryVersion", api.get_library_version, missing);
    look_up(library, "CPhidget_getErrorDescription", api.get_error_description, missing);
    return missing;
}

} // namespace

std::string PhidgetApi::error_text(int code) const {
    const char* text = nullptr;
    if (get_error_description(code, &text) == 0 && text && *text) {
        return text;
    }
    return "error " + std::to_string(code);
}

std::string PhidgetApi::version() const {
    const char* text = nullptr;
    return get_library_version(&text) == 0 && text ? text : "";
}

std::vector<std::string> phidget_library_names() {
    return {"libphidget21.so.0", "libphidget21.so"};
}

std::optional<PhidgetApi> load_phidget_library(const std::vector<std::string>& names, std::string& error) {
    for (const std::string& name : names) {
        void* library = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            continue;
        }
        PhidgetApi api;
        if (const std::string missing = look_up_all(library, api); !missing.empty()) {
            // Nothing of it has run yet, so it can go again.
            ::dlclose(library);
            error = "The Phidget library " + name + " is not usable: it has no " + missing;
            return std::nullopt;
        }
        error.clear();
        return api;
    }
    error = "The Phidget library (libphidget21) is not installed";
    return std::nullopt;
}

} // namespace veltro
