#include "app/ui/picture_box.h"

#include "picture/dib_section.h"

#include <QMouseEvent>
#include <QPainter>

namespace veltro {

QImage to_qimage(const cDIBSection& picture) {
    if (picture.Empty()) {
        return {};
    }
    const QImage view(picture.DIBSectionBitsPtr(), picture.Width(), picture.Height(),
                      picture.BytesPerScanLine(), QImage::Format_BGR888);
    // The section's rows run bottom-up.
    return view.mirrored(false, true);
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PictureBox::Show(const cDIBSection& picture) {
    Show(to_qimage(picture));
}

void PictureBox::Show(const QImage& picture) {
    image_ = picture;
    update();
}

void PictureBox::Clear() {
    image_ = QImage();
    update();
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
    painter.setTransform(picture_transform());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!image_.isNull()) {
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
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    emit picture_pressed(to_picture(event->position()), event->button());
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    emit picture_moved(to_picture(event->position()), event->buttons());
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    emit picture_released(to_picture(event->position()), event->button());
}

} // namespace veltro
