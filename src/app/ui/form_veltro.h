#pragma once

#include <QMainWindow>

namespace veltro {

// The program's main window. It grows into the heat lifecycle, review and time assignment.
class Form_Veltro : public QMainWindow {
    Q_OBJECT
public:
    explicit Form_Veltro(QWidget* parent = nullptr);
};

} // namespace veltro
