#include "support/ui/desktop_association.h"

#include "support/trace.h"
#include "support/veltro_error.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace veltro {
namespace {

const QString kRoot = ":/veltro/";

std::string resource(const QString& name) {
    QFile file(kRoot + name);
    if (!file.open(QIODevice::ReadOnly))
        throw VeltroError(err::kInternalError, "The program was built without " + name.toStdString());
    return file.readAll().toStdString();
}

// Every file under one of the resource's folders, named by its path below share/.
std::vector<QString> resources_under(const QString& folder) {
    std::vector<QString> names;
    QDirIterator it(kRoot + folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        names.push_back(it.next().mid(kRoot.size()));
    return names;
}

void run_cache_tool(const char* tool, const std::filesystem::path& folder) {
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty()) {
        Trace(std::string("*Associate: ") + tool + " is not installed");
        return;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, {QString::fromStdString(folder.string())});
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(1000);
        Trace(std::string("*Associate: ") + tool + " did not finish");
        return;
    }
    Trace(std::string("*Associate: ") + tool + " exit code ", process.exitCode(),
          " " + QString::fromLocal8Bit(process.readAll()).trimmed().toStdString());
}

} // namespace

QIcon veltro_icon() {
    QIcon icon;
    for (const QString& name : resources_under("icons"))
        if (name.endsWith(".png"))
            icon.addFile(kRoot + name);
    return icon;
}

std::vector<DesktopFile> association_files(const std::string& program) {
    std::vector<DesktopFile> files;
    files.push_back({"applications/veltro.desktop", desktop_entry(resource("applications/veltro.desktop.in"),
                                                                  desktop_exec_argument(program))});
    for (const char* folder : {"mime", "icons"}) {
        for (const QString& name : resources_under(folder))
            files.push_back({name.toStdString(), resource(name)});
    }
    return files;
}

void refresh_desktop_caches(const std::filesystem::path& base) {
    run_cache_tool("update-mime-database", base / "mime");
    run_cache_tool("update-desktop-database", base / "applications");
}

} // namespace veltro
