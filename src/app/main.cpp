#include "app/ui/form_veltro.h"
#include "support/app_paths.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/pxv_error_form.h"
#include "support/ui/qt_operator.h"

#include <QApplication>
#include <cstring>

// veltro [--debug] [--simulated-kit] [recording.px3]
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(veltro::kProgramId);
    veltro::VeltroStart start;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--debug") == 0) {
            veltro::set_debug_run(true);
        } else if (std::strcmp(argv[i], "--simulated-kit") == 0) {
            start.show_simulated_kit = true;
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
        if (!window.Instance_refused()) {
            window.show();
            rc = QApplication::exec();
        }
    }
    veltro::install_operator(nullptr);
    veltro::trace_shutdown();
    return rc;
}
