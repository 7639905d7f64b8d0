#pragma once

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <functional>

namespace veltro {

// A small picture whose owner paints it (lamps, the start switch, the LED, the running arm) and
// hears its mouse presses.
class PaintedBox : public QWidget {
    Q_OBJECT
public:
    explicit PaintedBox(QWidget* parent = nullptr) : QWidget(parent) {}

    std::function<void(QPainter&)> paint;
    std::function<void()> pressed;
    std::function<void()> released;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (paint) {
            paint(p);
        }
    }
    void mousePressEvent(QMouseEvent*) override {
        if (pressed) {
            pressed();
        }
    }
    void mouseReleaseEvent(QMouseEvent*) override {
        if (released) {
            released();
        }
    }
};

} // namespace veltro
