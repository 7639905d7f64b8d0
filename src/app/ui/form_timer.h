#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

class QLabel;

namespace veltro {

// The clock window: while it is active a 40 ms timer shows the time of day, turns an arm once per
// hundred ticks and copies the main window's heat time.
class Form_timer : public QWidget {
    Q_OBJECT
public:
    explicit Form_timer(std::function<QString()> heat_time_text, QWidget* parent = nullptr);

    void timer1_timer();
    int counter() const { return counter_; }
    QTimer& timer() { return timer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::function<QString()> heat_time_text_;
    QTimer timer_;
    QLabel* time_label_;
    QLabel* heat_label_;
    int counter_ = 0;
};

} // namespace veltro
