#include "support/desktop_files.h"

#include "support/files.h"
#include "support/utf8_text.h"
#include "support/veltro_error.h"

#include <cstdlib>
#include <cstring>
#include <set>
#include <system_error>

namespace veltro {
namespace fs = std::filesystem;

std::string desktop_exec_argument(const std::string& program) {
    if (!is_valid_utf8(program))
        throw VeltroError(err::kPathFileAccess,
                          "A desktop entry cannot name " + program + ": it is not UTF-8");
    std::string out = "\"";
    for (const char c : program) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            throw VeltroError(err::kPathFileAccess,
                              "A desktop entry cannot name " + program + ": it holds a control character");
        // Quoting inside the argument, then the string escape of the key's value over it.
        if (c == '"' || c == '`' || c == '$')
            out += "\\\\";
        if (c == '\\')
            out += "\\\\\\";
        if (c == '%')
            out += '%';
        out += c;
    }
    return out + '"';
}

std::string desktop_entry(std::string_view entry_template, const std::string& exec_argument) {
    std::string entry(entry_template);
    const std::string placeholder = "@EXEC@";
    const auto at = entry.find(placeholder);
    if (at == std::string::npos)
        throw VeltroError(err::kInternalError, "The desktop entry template has no @EXEC@");
    return entry.replace(at, placeholder.size(), exec_argument);
}

fs::path user_data_home() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && fs::path(xdg).is_absolute())
        return xdg;
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".local" / "share";
}

void install_desktop_files(const fs::path& base, const std::vector<DesktopFile>& files) {
    std::set<fs::path> folders;
    for (const DesktopFile& file : files)
        folders.insert((base / file.relative_path).parent_path());
    // The folders this call makes, each after its parent, so that a failure can take them away again.
    std::vector<fs::path> made;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        std::vector<fs::path> missing;
        for (fs::path p = folder; p != p.parent_path() && !fs::exists(p, ec); p = p.parent_path())
            missing.push_back(p);
        made.insert(made.end(), missing.rbegin(), missing.rend());
        fs::create_directories(folder, ec);
        const int rc = ec ? ec.value() : probe_folder_writable(folder.string());
        if (rc != 0) {
            for (auto it = made.rbegin(); it != made.rend(); ++it)
                fs::remove(*it, ec); // only an empty folder goes
            throw VeltroError(error_number_for_errno(rc),
                              "Could not write in " + folder.string() + ": " + std::strerror(rc));
        }
    }
    for (const DesktopFile& file : files)
        save_file_atomically((base / file.relative_path).string(), file.content);
}

} // namespace veltro
