#include "app/ui/form_timer.h"

#include "support/clocks.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>
#include <numbers>

namespace veltro {

Form_timer::Form_timer(std::function<QString()> heat_time_text, QWidget* parent)
    : QWidget(parent, Qt::Window), heat_time_text_(std::move(heat_time_text)) {
    setObjectName("Form_timer");
    setWindowTitle("Timer");
    time_label_ = new QLabel(this);
    time_label_->setObjectName("Label_time");
    heat_label_ = new QLabel(this);
    heat_label_->setObjectName("Label_heat_time");
    QFont big = heat_label_->font();
    big.setPointSize(16);
    time_label_->setFont(big);
    heat_label_->setFont(big);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(time_label_);
    layout->addWidget(heat_label_);
    layout->addStretch();
    setMinimumSize(220, 260);
    timer_.setInterval(40);
    connect(&timer_, &QTimer::timeout, this, [this] { timer1_timer(); });
}

bool Form_timer::event(QEvent* event) {
    // The timer runs only while the window is the active one.
    if (event->type() == QEvent::WindowActivate) {
        timer_.start();
    } else if (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Hide) {
        timer_.stop();
    }
    return QWidget::event(event);
}

void Form_timer::timer1_timer() {
    const LocalTime now = local_now();
    time_label_->setText(QString::asprintf("%02d:%02d:%02d,%03d", now.tm.tm_hour, now.tm.tm_min,
                                           now.tm.tm_sec, now.millisecond));
    counter_ = counter_ >= 99 ? 0 : counter_ + 1;
    if (heat_time_text_) {
        heat_label_->setText(heat_time_text_());
    }
    update();
}

void Form_timer::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(width() / 2.0, height() - 80.0);
    const double radius = 60;
    const double angle = 2 * std::numbers::pi * counter_ / 99.0 - std::numbers::pi / 2;
    p.setPen(QPen(QColor(0, 0, 255), 3)); // 0xFF0000 written BBGGRR: blue
    p.drawLine(centre, centre + QPointF(radius * std::cos(angle), radius * std::sin(angle)));
    p.setPen(Qt::gray);
    p.drawEllipse(centre, radius, radius);
}

} // namespace veltro
