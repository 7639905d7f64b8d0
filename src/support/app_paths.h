#pragma once

#include <optional>
#include <string>
#include <vector>

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

// Where the operator's guide (an HTML page) is looked for, given the program's executable, in the
// order tried: installed beside the program (<exe dir>/../share/doc/veltro/guide/index.html), then
// the build tree (<exe dir>/docs/guide/index.html).
std::vector<std::string> operators_guide_places(const std::string& executable);
// The first of those places that holds a file; std::nullopt when none does.
std::optional<std::string> find_operators_guide(const std::string& executable);

} // namespace veltro
