#pragma once

#include <string>

namespace veltro {

// The program identifier: window titles, the settings file name, the data folder name.
inline constexpr const char* kProgramId = "Veltro_HDMI";

// The per-user data folder: $VELTRO_DATA_DIR when set, else $XDG_DATA_HOME/Veltro_HDMI (default
// ~/.local/share/Veltro_HDMI). Created, with its parents, when missing. Read from the environment at
// every call, so tests can point it elsewhere.
std::string data_dir();

// A file inside the data folder.
std::string data_file(const std::string& name);

// Full path of the running executable, and its file name.
std::string executable_path();
std::string executable_name();

} // namespace veltro
