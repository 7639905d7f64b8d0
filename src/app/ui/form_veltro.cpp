#include "app/ui/form_veltro.h"

#include "support/app_paths.h"

namespace veltro {

Form_Veltro::Form_Veltro(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Form_Veltro");
    setWindowTitle(kProgramId);
    resize(1280, 720);
}

} // namespace veltro
