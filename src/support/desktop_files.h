#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// The files that make a freedesktop desktop know Veltro: the desktop entry, the MIME type of *.px3
// recordings and the icon. The package installs them for everyone; "Associate" installs the same
// files for one user, with the entry's Exec naming the running program.

// `program` as one argument of a desktop entry's Exec key: double-quoted with ", `, $ and \ escaped,
// then escaped once more as a string value (so a backslash becomes four), and % doubled. A path that a
// desktop entry cannot hold (not UTF-8, a control character in it) fails with error 75.
std::string desktop_exec_argument(const std::string& program);

// The desktop entry from its template, with `exec_argument` in place of @EXEC@.
std::string desktop_entry(std::string_view entry_template, const std::string& exec_argument);

// The user's data folder of the desktop: $XDG_DATA_HOME when it is an absolute path (freedesktop
// desktops ignore a relative one), else ~/.local/share.
std::filesystem::path user_data_home();

struct DesktopFile {
    std::string relative_path; // under the data folder, e.g. "applications/veltro.desktop"
    std::string content;
};

// Writes `files` under `base`. Every folder is made before any file is written, so a base that cannot
// hold them gets no file at all; each file then replaces its old version atomically. Fails with a
// VeltroError naming the path and the system's reason.
void install_desktop_files(const std::filesystem::path& base, const std::vector<DesktopFile>& files);

} // namespace veltro
