#include "support/ui/user_folders.h"

#include "support/settings.h"
#include "support/text.h"

#include <QDir>
#include <QStandardPaths>
#include <filesystem>

namespace veltro {

std::string capture_folder() {
    const std::string folder = Read_Setting(keys::save_folder);
    if (folder != keys::save_folder.default_value)
        return folder;
    // Until the operator chooses one, heats go to the user's videos folder.
    QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (videos.isEmpty())
        videos = QDir::homePath() + "/Videos";
    return (videos + "/Veltro").toStdString();
}

std::string print_folder() {
    const std::string folder = Read_Setting(keys::print_folder);
    if (folder != keys::print_folder.default_value && !folder.empty())
        return folder;
    return (std::filesystem::path(capture_folder()) / "Prints").string();
}

std::string print_name(const std::string& event, const std::string& heat_id, const std::string& kind) {
    return (event.empty() ? std::string("Veltro") : event) + " heat " + heat_id + " " + kind;
}

std::string free_file_path(const std::string& folder, const std::string& stem, const std::string& extension) {
    const std::string name = Make_Valid_File_Name(stem);
    std::error_code ec;
    std::filesystem::path path = std::filesystem::path(folder) / (name + extension);
    // A folder that cannot be looked into ends the search: the print itself then says why it failed.
    for (int n = 2; std::filesystem::exists(path, ec); ++n)
        path = std::filesystem::path(folder) / (name + " (" + std::to_string(n) + ")" + extension);
    return path.string();
}

} // namespace veltro
