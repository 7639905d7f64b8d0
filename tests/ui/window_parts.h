#pragma once

#include "app/ui/form_veltro.h"
#include "capture/capture_hdmi.h"
#include "review/ui/finish_strip_view.h"
#include "review/ui/picture_box.h"

#include <QLabel>
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

// A recording is under review: the play slider is enabled for it (and only then).
inline bool reviewing(const QWidget& window) {
    return slider_play(window)->isEnabled();
}

// Frames are being captured into the heat: the count of stored frames shows in red (and only then).
inline bool capturing(const QWidget& window) {
    return !part<QLabel>(window, "Label_frame_count")->isHidden();
}

// The heat clock as its 50 ms timer shows it now: the time since the heat's start, untouched
// ("00:00,00") while no heat was ever started.
inline std::string heat_clock(Form_Veltro& window) {
    window.Update_heat_time();
    return part<QLabel>(window, "Label_heat_time")->text().toStdString();
}

// The capture object the window is to use, made as the window would make it; the window owns it,
// the test keeps the pointer.
inline cls_Capture_HDMI* give_capture(VeltroStart& start) {
    start.capture =
        std::make_unique<cls_Capture_HDMI>(start.make_component(), start.clock, start.first_start_source);
    return start.capture.get();
}

} // namespace veltro::testing
