#include "review/ui/picture_box.h"

#include "picture/dib_section.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace veltro {

QImage to_qimage(const cDIBSection& picture) {
    if (picture.empty()) {
        return {};
    }
    const QImage view(picture.DIBSectionBitsPtr(), picture.Width(), picture.Height(),
                      picture.BytesPerScanLine(), QImage::Format_BGR888);
    // The section's rows run bottom-up.
    return view.mirrored(false, true);
}

QImage enhanced(const QImage& picture, const ViewAdjust& view) {
    if (!view.enhanced() || picture.isNull()) {
        return picture;
    }
    QImage out = picture.format() == QImage::Format_BGR888 || picture.format() == QImage::Format_RGB888
                     ? picture.copy()
                     : picture.convertToFormat(QImage::Format_BGR888);
    apply_view_lut(view.lut(), out.bits(), static_cast<std::size_t>(out.width()) * 3,
                   static_cast<std::size_t>(out.height()), static_cast<std::size_t>(out.bytesPerLine()));
    return out;
}

QTransform zoom_transform(const ViewAdjust& view) {
    const double z = view.zoom();
    return QTransform(z, 0, 0, z, -view.origin().x * z, -view.origin().y * z);
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PictureBox::show_picture(const cDIBSection& picture) {
    show_picture(to_qimage(picture));
}

void PictureBox::show_picture(const QImage& picture) {
    show_picture(picture, false);
}

void PictureBox::show_adjusted(const cDIBSection& picture) {
    show_picture(to_qimage(picture), true);
}

void PictureBox::show_picture(QImage picture, bool adjusted) {
    adjusted_ = adjusted;
    if (adjusted) {
        source_ = std::move(picture);
        view_.clamp(source_.width(), source_.height());
        image_ = enhanced(source_, view_);
    } else {
        source_ = QImage();
        image_ = std::move(picture);
    }
    update();
}

void PictureBox::clear() {
    source_ = QImage();
    image_ = QImage();
    adjusted_ = false;
    update();
}

void PictureBox::view_changed() {
    if (adjusted_) {
        view_.clamp(source_.width(), source_.height());
        image_ = enhanced(source_, view_);
    }
    update();
    emit view_moved();
}

bool PictureBox::zoom_by(int steps, QPointF at) {
    pointed_at_ = at;
    if (!view_applies() || !view_.zoom_by(steps, {at.x(), at.y()}, image_.width(), image_.height())) {
        return false;
    }
    update();
    emit view_moved();
    return true;
}

void PictureBox::pan_by(QPointF delta) {
    if (view_applies()) {
        view_.pan_by(delta.x(), delta.y(), image_.width(), image_.height());
        update();
        emit view_moved();
    }
}

int PictureBox::add_overlay(Overlay overlay) {
    overlays_.push_back(std::move(overlay));
    return static_cast<int>(overlays_.size()) - 1;
}

void PictureBox::remove_overlay(int index) {
    if (index >= 0 && index < static_cast<int>(overlays_.size())) {
        overlays_[static_cast<std::size_t>(index)] = nullptr;
    }
}

void PictureBox::picture_size(const QSize& size) {
    picture_size_ = size;
    updateGeometry();
    update();
}

void PictureBox::x_stretch(double scale) {
    x_stretch_ = scale > 0 ? scale : 1.0;
    updateGeometry();
    update();
}

QSize PictureBox::sizeHint() const {
    return picture_size_;
}

QTransform PictureBox::picture_transform() const {
    return view_transform() * fit_transform();
}

QTransform PictureBox::view_transform() const {
    return view_applies() && view_.zoomed() ? zoom_transform(view_) : QTransform();
}

QTransform PictureBox::fit_transform() const {
    const QSize pic = image_.isNull() ? picture_size_ : image_.size();
    if (pic.isEmpty() || width() <= 0 || height() <= 0) {
        return {};
    }
    const double shown_width = pic.width() * x_stretch_;
    const double scale =
        std::min(static_cast<double>(width()) / shown_width, static_cast<double>(height()) / pic.height());
    const double dx = (width() - shown_width * scale) / 2;
    const double dy = (height() - pic.height() * scale) / 2;
    return QTransform(scale * x_stretch_, 0, 0, scale, dx, dy);
}

QPointF PictureBox::to_picture(const QPointF& widget_point) const {
    return picture_transform().inverted().map(widget_point);
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QSize pic = image_.isNull() ? picture_size_ : image_.size();
    const bool zoomed = view_applies() && view_.zoomed();
    if (zoomed) {
        // The zoomed picture fills the place of the whole one; what lies beyond stays out of the margins.
        painter.setClipRect(fit_transform().mapRect(QRectF(QPointF(0, 0), QSizeF(pic))));
    }
    painter.setTransform(picture_transform());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !zoomed || view_.zoom() < kNearestPixelZoom);
    if (zoomed) {
        // Only the part in view: at 8x the rest would be scaled for nothing.
        const QRectF seen(view_.origin().x, view_.origin().y, pic.width() / view_.zoom(),
                          pic.height() / view_.zoom());
        painter.drawImage(seen, image_, seen);
    } else if (!image_.isNull()) {
        painter.drawImage(QPoint(0, 0), image_);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto& overlay : overlays_) {
        if (overlay) {
            painter.save();
            overlay(painter, pic);
            painter.restore();
        }
    }
    painter.end();
    emit painted();
}

QPointF PictureBox::looked_at() const {
    const ViewPoint origin = view_.origin();
    const QRectF in_view(origin.x, origin.y, image_.width() / view_.zoom(), image_.height() / view_.zoom());
    if (pointed_at_ && in_view.contains(*pointed_at_))
        return *pointed_at_;
    return in_view.center();
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    pointed_at_ = to_picture(event->position());
    emit picture_pressed(to_picture(event->position()), event->button());
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    emit picture_moved(to_picture(event->position()), event->buttons());
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    emit picture_released(to_picture(event->position()), event->button());
}

void PictureBox::wheelEvent(QWheelEvent* event) {
    if (!view_applies()) {
        QWidget::wheelEvent(event);
        return;
    }
    // One zoom step per notch (120); fine-grained wheels add up to one.
    wheel_rest_ += event->angleDelta().y();
    const int steps = wheel_rest_ / 120;
    wheel_rest_ -= steps * 120;
    if (steps != 0) {
        zoom_by(steps, to_picture(event->position()));
    }
    event->accept();
}

} // namespace veltro
