#pragma once

#include "support/desktop_files.h"

#include <QIcon>
#include <filesystem>
#include <string>
#include <vector>

namespace veltro {

// The program's icon, in every size it was built with.
QIcon veltro_icon();

// The files the package installs below share/, as built into the program, with the desktop entry's
// Exec naming `program`: what "Associate" installs for the user.
std::vector<DesktopFile> association_files(const std::string& program);

// Has the desktop read the MIME types and desktop entries under `base` again (update-mime-database,
// update-desktop-database), where those commands are installed. Waits a few seconds for each at most.
void refresh_desktop_caches(const std::filesystem::path& base);

} // namespace veltro
