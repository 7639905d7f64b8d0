#pragma once

#include "review/ui/finish_strip_view.h"
#include "review/ui/picture_box.h"

#include <QLineEdit>
#include <QSlider>
#include <QWidget>
#include <stdexcept>
#include <string>

namespace veltro::testing {

// The main window's parts, found as a screen reader or an operator finds them: by the names the
// widgets carry, not through accessors the window keeps for tests.
template <class T>
T* part(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(name);
    if (!found)
        throw std::runtime_error(std::string("the window has no ") + name);
    return found;
}

inline QSlider* slider_play(const QWidget& window) {
    return part<QSlider>(window, "Slider_play");
}
inline PictureBox* picture_live(const QWidget& window) {
    return part<PictureBox>(window, "Picture_live");
}
inline FinishStripView* finish_strip(const QWidget& window) {
    return part<FinishStripView>(window, "finish_strip");
}

// The recording of the heat as the window names it, "" before a heat is initiated.
inline std::string file_name(const QWidget& window) {
    return part<QLineEdit>(window, "Text_file_name")->text().toStdString();
}

} // namespace veltro::testing
