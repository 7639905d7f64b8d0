// The program's own command line, run as a user runs it.
#include "temp_dir.h"

#include <QProcess>
#include <QRegularExpression>
#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

struct ProgramRun {
    int exit_code = -1;
    QString out;
};

// Runs the program where no window could open (an unknown display platform) and with a data folder
// of its own, so an answer that starts the windows or writes settings cannot pass unseen.
ProgramRun run_program(const QStringList& arguments, const std::string& data_dir) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "no-such-platform");
    env.insert("VELTRO_DATA_DIR", QString::fromStdString(data_dir));
    process.setProcessEnvironment(env);
    process.start(VELTRO_PROGRAM, arguments);
    process.waitForFinished(60000);
    ProgramRun run;
    if (process.exitStatus() == QProcess::NormalExit)
        run.exit_code = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    return run;
}

TEST(CommandLine, HelpAndVersionPrintAndExitWithoutStartingTheProgram) {
    testing::TempDir dir;
    const ProgramRun help = run_program({"--help"}, dir.path().string());
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_TRUE(help.out.startsWith(
        "Usage: veltro [--debug] [--simulated-kit] [--live-results[=PORT]] [recording.px3]\n"))
        << help.out.toStdString();
    for (const char* option : {"--debug", "--simulated-kit", "--live-results", "--version"})
        EXPECT_TRUE(help.out.contains(option)) << option;

    // Wherever it stands among the other arguments.
    const ProgramRun version = run_program({"--simulated-kit", "--version"}, dir.path().string());
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_TRUE(version.out.contains(QRegularExpression("^Veltro_HDMI \\d+\\.\\d+\\.\\d+\n$")))
        << version.out.toStdString();

    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "nothing written to the data folder";
}

} // namespace
} // namespace veltro
