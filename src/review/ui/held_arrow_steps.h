#pragma once

#include <QObject>
#include <QTimer>

class QSlider;

namespace veltro {

class PictureBox;

// A held arrow key on the play slider steps one picture per display refresh, and only once the
// picture before it is painted: the key's repeats are not queued up as work, however fast they
// come, and a picture that is slow to come skips the steps it missed rather than catching up. The
// first press steps at once, as a tap of the key does; the release (or the focus leaving) stops.
class HeldArrowSteps : public QObject {
    Q_OBJECT
public:
    // Watches `slider`'s keys and `box`'s paints; both outlive this.
    HeldArrowSteps(QSlider* slider, PictureBox* box, QObject* parent = nullptr);

    // One display refresh: a step while a key is held and the picture on show is painted.
    void tick();
    // -1 or +1 while an arrow key is held (repeating), else 0.
    int held() const { return direction_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void stop();

    QSlider* slider_;
    PictureBox* box_;
    QTimer refresh_;
    int direction_ = 0;
    bool painted_ = true;
};

} // namespace veltro
