// "Associate": the packaged desktop files installed for one user, the entry starting this program.
#include "app/ui/form_veltro.h"
#include "fake_operator.h"
#include "scoped_env.h"
#include "support/app_paths.h"
#include "support/files.h"
#include "support/settings.h"
#include "support/ui/desktop_association.h"
#include "temp_dir.h"

#include <QAction>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace veltro {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAssociated = "Associated the file extension .px3 with this application!";

// Every file and folder below `root`, by its path relative to it.
std::vector<std::string> files_below(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        names.push_back(fs::relative(entry.path(), root).string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class Associate : public ::testing::Test {
protected:
    Associate() : data_env("VELTRO_DATA_DIR", data.path().string()) {
        set_settings_path(data.file("Veltro_HDMI.ini"));
        VeltroStart start(program_backends(), system_clock());
        start.single_instance = false;
        form = std::make_unique<Form_Veltro>(std::move(start));
        op.messages.clear();
    }
    ~Associate() override {
        form.reset();
        set_settings_path("");
    }

    void associate() { form->findChild<QAction*>("item_associate")->trigger(); }

    testing::TempDir data; // the program's own folder, apart from the desktop's
    testing::TempDir dir;
    testing::ScopedEnv data_env;
    testing::FakeOperator op;
    std::unique_ptr<Form_Veltro> form;
};

TEST_F(Associate, InstallsThePackagedFilesForTheUserWithThisProgramInTheEntry) {
    const fs::path share = dir.path() / "home share";
    testing::ScopedEnv xdg("XDG_DATA_HOME", share.string());
    // The name the MIME type was written under before it came from the package.
    fs::create_directories(share / "mime/packages");
    std::ofstream(share / "mime/packages/veltro-px3.xml") << "<mime-info/>";
    // An entry from an earlier association, left by a program elsewhere.
    fs::create_directories(share / "applications");
    std::ofstream(share / "applications/veltro.desktop") << "[Desktop Entry]\nExec=/old/veltro %f\n";

    associate();
    EXPECT_EQ(op.last_message(), kAssociated);

    // The entry is the packaged one but for Exec, which names this very program.
    const std::string entry = read_whole_file((share / "applications/veltro.desktop").string()).value_or("");
    const std::string packaged = read_whole_file(VELTRO_DATA_BUILD "/veltro.desktop").value();
    const std::vector<std::string> entry_lines = lines_of(entry), packaged_lines = lines_of(packaged);
    ASSERT_EQ(entry_lines.size(), packaged_lines.size()) << entry;
    for (std::size_t i = 0; i < entry_lines.size(); ++i) {
        if (packaged_lines[i] == "Exec=veltro %f")
            EXPECT_EQ(entry_lines[i], "Exec=\"" + executable_path() + "\" %f");
        else
            EXPECT_EQ(entry_lines[i], packaged_lines[i]);
    }
    const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
    ASSERT_FALSE(validate.isEmpty()) << "scripts/install-deps installs desktop-file-utils";
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(validate, {QString::fromStdString((share / "applications/veltro.desktop").string())});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAll().toStdString();

    // The MIME type and every icon are the package's files, byte for byte.
    EXPECT_EQ(read_whole_file((share / "mime/packages/veltro.xml").string()),
              read_whole_file(VELTRO_DATA_SOURCE "/veltro.xml"));
    EXPECT_EQ(read_whole_file((share / "icons/hicolor/scalable/apps/veltro.svg").string()),
              read_whole_file(VELTRO_DATA_SOURCE "/icons/veltro.svg"));
    for (const char* size : {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"}) {
        const std::string png = std::string("icons/hicolor/") + size + "/apps/veltro.png";
        const auto installed = read_whole_file((share / png).string());
        ASSERT_TRUE(installed) << png;
        EXPECT_EQ(installed, read_whole_file(VELTRO_DATA_BUILD "/" + png)) << png;
    }
    EXPECT_FALSE(fs::exists(share / "mime/packages/veltro-px3.xml"));

    // The desktop learnt the type from the user's folder.
    if (!QStandardPaths::findExecutable("update-mime-database").isEmpty()) {
        const std::string globs = read_whole_file((share / "mime/globs2").string()).value_or("");
        EXPECT_NE(globs.find(":application/x-px3_ext:*.px3\n"), std::string::npos) << globs;
    }

    // The program's window icon comes from the same files.
    const QIcon icon = veltro_icon();
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(256, 256)));
}

TEST_F(Associate, AFolderThatCannotBeMadeGivesAMessageAndWritesNoFile) {
    // A regular file where a folder is needed: creation fails for root as for anyone.
    std::ofstream(dir.file("plain")) << "not a folder";
    const std::vector<std::string> before = files_below(dir.path());
    {
        testing::ScopedEnv xdg("XDG_DATA_HOME", dir.file("plain") + "/share");
        associate();
        EXPECT_EQ(
            op.last_message().rfind("Could not associate the file extension .px3 with this application. ", 0),
            0u)
            << op.last_message();
        EXPECT_NE(op.last_message().find(dir.file("plain") + "/share"), std::string::npos)
            << op.last_message();
        EXPECT_EQ(files_below(dir.path()), before);
    }
    // One folder of several cannot be made: no file is written, and the folders made before are gone.
    const fs::path share = dir.path() / "share";
    fs::create_directories(share);
    std::ofstream(share / "mime") << "not a folder";
    testing::ScopedEnv xdg("XDG_DATA_HOME", share.string());
    op.messages.clear();
    associate();
    EXPECT_NE(op.last_message().find((share / "mime").string()), std::string::npos) << op.last_message();
    EXPECT_EQ(files_below(share), std::vector<std::string>{"mime"});
}

} // namespace
} // namespace veltro
