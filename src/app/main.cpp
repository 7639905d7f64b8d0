#include "app/ui/form_veltro.h"
#include "support/app_paths.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/desktop_association.h"
#include "support/ui/pxv_error_form.h"
#include "support/ui/qt_operator.h"
#include "veltro_version.h"

#include <QApplication>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "Usage: veltro [--debug] [--simulated-kit] [--live-results[=PORT]] [recording.px3]\n"
    "Veltro dog race timing: photo-finish recording and judging of dog races.\n"
    "\n"
    "  recording.px3     a recording to open for review once the window shows\n"
    "  --debug           no error trapping, development menus shown (also VELTRO_DEBUG=1)\n"
    "  --simulated-kit   open the simulated interface kit's window\n"
    "  --live-results[=PORT]\n"
    "                    serve the live results for phones and displays on PORT (8080)\n"
    "  --help            show this text and exit\n"
    "  --version         show the version and exit\n";

// --help and --version answer before anything else starts: no display, no settings file.
bool answered_at_once(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", veltro::kProgramId, veltro::kVersionText);
            return true;
        }
    }
    return false;
}

// A port from 1 to 65535; 0 for anything else.
int port_arg(const char* text) {
    int port = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, ec] = std::from_chars(text, end, port);
    return ec == std::errc() && stop == end && port >= 1 && port <= 65535 ? port : 0;
}

} // namespace

// veltro [--debug] [--simulated-kit] [--live-results[=PORT]] [recording.px3]
int main(int argc, char* argv[]) {
    if (answered_at_once(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(veltro::kProgramId);
    QApplication::setWindowIcon(veltro::veltro_icon());
    // Ties the windows to the installed desktop entry (its name and icon on Wayland).
    QGuiApplication::setDesktopFileName("veltro");
    veltro::VeltroStart start(veltro::program_backends(), veltro::system_clock());
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--debug") == 0) {
            veltro::set_debug_run(true);
        } else if (std::strcmp(argv[i], "--simulated-kit") == 0) {
            start.show_simulated_kit = true;
        } else if (std::strncmp(argv[i], "--live-results", 14) == 0 &&
                   (argv[i][14] == '\0' || argv[i][14] == '=')) {
            start.live_results_port = argv[i][14] == '=' ? port_arg(argv[i] + 15) : 8080;
            if (*start.live_results_port == 0) {
                std::fprintf(stderr, "veltro: --live-results takes a port from 1 to 65535, not \"%s\"\n",
                             argv[i] + 15);
                return 2;
            }
        } else if (start.command_line_path.empty()) {
            start.command_line_path = argv[i];
        }
    }
    veltro::QtOperator op;
    veltro::install_operator(&op);
    veltro::install_error_form();
    veltro::fill_process_facts();
    veltro::load_bitness_values();
    int rc = 0;
    {
        veltro::Form_Veltro window(std::move(start));
        if (!window.instance_refused()) {
            window.show();
            rc = QApplication::exec();
        }
    }
    veltro::install_operator(nullptr);
    veltro::trace_shutdown();
    return rc;
}
