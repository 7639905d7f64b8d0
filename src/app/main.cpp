#include "app/ui/form_veltro.h"
#include "support/app_paths.h"
#include "support/process_facts.h"
#include "support/settings.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(veltro::kProgramId);
    veltro::fill_process_facts();
    veltro::load_bitness_values();
    veltro::Form_Veltro window;
    window.show();
    return QApplication::exec();
}
