#pragma once

#include <QWidget>

class QPushButton;

namespace veltro {

// The operator's heat buttons, in the order a heat uses them: "Start camera", "Initiate file",
// "Start heat", "Capture" (held while the dogs cross) and "Heat finish".
class HeatControls : public QWidget {
    Q_OBJECT
public:
    explicit HeatControls(QWidget* parent);

    QPushButton* start_camera = nullptr;
    QPushButton* initiate_file = nullptr;
    QPushButton* start_heat = nullptr;
    QPushButton* capture = nullptr;
    QPushButton* finish = nullptr;
};

} // namespace veltro
