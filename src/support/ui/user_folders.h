#pragma once

#include "support/settings.h"

#include <string>

namespace veltro {

namespace keys {
// Where prints go as PDF files when no printer is installed; until one is chosen, the capture
// folder's "Prints".
inline constexpr SettingKey print_folder{"Settings", "print_folder", "N/A"};
// The club's web address, printed under the footer of frame prints when set.
inline constexpr SettingKey print_web_address{"Settings", "print_web_address", "N/A"};
} // namespace keys

// The folder new recordings go to: the one chosen, else the user's videos folder + "/Veltro".
std::string capture_folder();

// The folder prints go to as PDF files: the one chosen, else the capture folder's "Prints".
std::string print_folder();

// The name of a print of a heat: "Spring Cup heat 3 photo finish"; "Veltro heat 3 ..." without an
// event.
std::string print_name(const std::string& event, const std::string& heat_id, const std::string& kind);

// A path in `folder` for a new file named `stem` + `extension` that is not there yet: the name made
// valid for a file, then " (2)", " (3)" ... added until it is free, so no earlier print is overwritten.
std::string free_file_path(const std::string& folder, const std::string& stem, const std::string& extension);

} // namespace veltro
