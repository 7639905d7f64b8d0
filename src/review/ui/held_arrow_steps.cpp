#include "review/ui/held_arrow_steps.h"

#include "review/ui/picture_box.h"

#include <QKeyEvent>
#include <QScreen>
#include <QSlider>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace veltro {

namespace {

// The step of an arrow key on a horizontal slider; 0 for any other key (or one with a modifier,
// which the window gives other meanings).
int arrow_step(const QKeyEvent& key) {
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier)) {
        return 0;
    }
    return key.key() == Qt::Key_Left ? -1 : key.key() == Qt::Key_Right ? +1 : 0;
}

// True when a paint of the box will come: it is on a window that is on screen.
bool paints(const QWidget* box) {
    const QWindow* window = box->window()->windowHandle();
    return box->isVisible() && window && window->isExposed();
}

} // namespace

HeldArrowSteps::HeldArrowSteps(QSlider* slider, PictureBox* box, QObject* parent)
    : QObject(parent), slider_(slider), box_(box) {
    slider_->installEventFilter(this);
    connect(box_, &PictureBox::painted, this, [this] { painted_ = true; });
    connect(&refresh_, &QTimer::timeout, this, &HeldArrowSteps::tick);
    refresh_.setTimerType(Qt::PreciseTimer);
}

void HeldArrowSteps::tick() {
    if (direction_ == 0) {
        stop();
        return;
    }
    if (!painted_) {
        return; // the picture before is not on screen yet: this refresh passes without a step
    }
    const int next = std::clamp(slider_->value() + direction_, slider_->minimum(), slider_->maximum());
    if (next == slider_->value()) {
        return;
    }
    painted_ = !paints(box_);
    slider_->setValue(next);
}

void HeldArrowSteps::stop() {
    direction_ = 0;
    refresh_.stop();
}

bool HeldArrowSteps::eventFilter(QObject* watched, QEvent* event) {
    if (watched != slider_) {
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        stop();
        return false;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
        return false;
    }
    const auto* key = static_cast<const QKeyEvent*>(event);
    const int step = arrow_step(*key);
    if (step == 0) {
        return false;
    }
    if (!key->isAutoRepeat()) {
        // A tap steps as the slider does; a release ends the hold.
        stop();
        return false;
    }
    if (event->type() == QEvent::KeyPress && slider_->isEnabled()) {
        direction_ = step;
        if (!refresh_.isActive()) {
            const QScreen* screen = slider_->screen();
            const double hz = screen && screen->refreshRate() >= 20 ? screen->refreshRate() : 60.0;
            refresh_.start(static_cast<int>(std::lround(1000.0 / hz)));
        }
    }
    return true;
}

} // namespace veltro
