#include "app/ui/heat_controls.h"

#include <QGridLayout>
#include <QPushButton>

namespace veltro {

HeatControls::HeatControls(QWidget* parent) : QWidget(parent) {
    setObjectName("Heat_controls");
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setMinimumHeight(34);
        return b;
    };
    start_camera = button("Command_start_camera", "Start camera");
    initiate_file = button("Command_initiate_file", "Initiate file");
    start_heat = button("Command_start_heat", "Start heat");
    capture = button("Command_capture", "Capture");
    finish = button("Command_finish", "Heat finish");
    start_heat->setEnabled(false); // until the start switch is attached
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(start_camera, 0, 0);
    grid->addWidget(initiate_file, 0, 1);
    grid->addWidget(start_heat, 1, 0);
    grid->addWidget(capture, 1, 1);
    grid->addWidget(finish, 2, 0, 1, 2);
}

} // namespace veltro
