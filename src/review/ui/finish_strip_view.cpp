#include "review/ui/finish_strip_view.h"

#include "review/ui/picture_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

namespace veltro {

namespace {

constexpr int kMinSpan = 40; // a narrower span of rows than this is not worth lining up

} // namespace

FinishStripView::FinishStripView(QWidget* parent)
    : QWidget(parent), bar_(new QScrollBar(Qt::Horizontal, this)) {
    setObjectName("finish_strip");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumWidth(120);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    setCursor(Qt::PointingHandCursor);
    connect(bar_, &QScrollBar::valueChanged, this, [this] { update(); });
    bar_->setFocusPolicy(Qt::NoFocus);
    update_scroll_range();
}

void FinishStripView::show_strip(std::shared_ptr<const FinishStrip> strip) {
    strip_ = std::move(strip);
    image_ = strip_ ? to_qimage(strip_->image) : QImage();
    if (strip_) {
        text_.clear();
    }
    update_scroll_range();
    set_position(position_);
    update();
}

void FinishStripView::show_text(const QString& text) {
    text_ = text;
    update();
}

void FinishStripView::set_position(int position) {
    position_ = position;
    if (strip_ && position > 0) {
        const int x = strip_->column_of(static_cast<std::int16_t>(position));
        const int w = strip_->column_width;
        if (x < bar_->value() || x + w > bar_->value() + width()) {
            bar_->setValue(x + w / 2 - width() / 2);
        }
    }
    update();
}

void FinishStripView::set_rows(double top, double bottom) {
    top_ = std::min(top, bottom);
    bottom_ = std::max(top, bottom);
    update();
}

void FinishStripView::set_marker_colour(const QColor& colour) {
    marker_ = colour;
    update();
}

int FinishStripView::scroll_position() const {
    return bar_->value();
}

int FinishStripView::x_of(int position) const {
    if (!strip_) {
        return -1;
    }
    return strip_->column_of(static_cast<std::int16_t>(position)) + strip_->column_width / 2 - bar_->value();
}

void FinishStripView::update_scroll_range() {
    const int bar_height = bar_->sizeHint().height();
    bar_->setGeometry(0, height() - bar_height, width(), bar_height);
    bar_->setRange(0, std::max(0, image_.width() - width()));
    bar_->setPageStep(std::max(1, width()));
    bar_->setSingleStep(strip_ ? strip_->column_width : 4);
}

QRectF FinishStripView::strip_rect() const {
    // The line's rows where the picture beside has them, as long as the scale still fits below.
    const int band = strip_ ? image_.height() - strip_->strip_height : 0;
    const double room = height() - bar_->height() - band;
    double top = top_;
    double bottom = bottom_;
    if (bottom - top < kMinSpan || top < 0 || bottom > room) {
        top = 0;
        bottom = std::max(1.0, room);
    }
    return {0, top, static_cast<double>(width()), bottom - top};
}

void FinishStripView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(40, 40, 40));
    if (!strip_ || image_.isNull()) {
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, text_);
        return;
    }
    const int scroll = bar_->value();
    const int shown = std::min(width(), image_.width() - scroll);
    const QRectF rows = strip_rect();
    // Nearest pixel: a column is one picture, a smeared edge would be a wrong moment.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRectF(0, rows.top(), shown, rows.height()), image_,
                      QRectF(scroll, 0, shown, strip_->strip_height));
    const int band = image_.height() - strip_->strip_height;
    painter.drawImage(QRectF(0, rows.bottom(), shown, band), image_,
                      QRectF(scroll, strip_->strip_height, shown, band));
    if (position_ > 0) {
        const int x = x_of(position_);
        painter.setPen(QPen(marker_, 1));
        painter.drawLine(x, static_cast<int>(rows.top()) - 6, x, static_cast<int>(rows.bottom()) + 2);
        const QPointF tip(x, rows.top() - 1);
        const QPointF arrow[] = {tip, tip + QPointF(-5, -7), tip + QPointF(5, -7)};
        painter.setBrush(marker_);
        painter.drawPolygon(arrow, 3);
    }
}

void FinishStripView::mousePressEvent(QMouseEvent* event) {
    if (!strip_ || event->button() != Qt::LeftButton) {
        return;
    }
    const int x = static_cast<int>(event->position().x()) + bar_->value();
    if (x >= 0 && x < image_.width()) {
        emit picture_clicked(strip_->picture_at(x));
    }
}

void FinishStripView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const int steps = (delta.x() != 0 ? delta.x() : delta.y()) / 120;
    bar_->setValue(bar_->value() - steps * 8 * bar_->singleStep());
    event->accept();
}

void FinishStripView::resizeEvent(QResizeEvent*) {
    update_scroll_range();
    emit resized();
}

} // namespace veltro
