#include "app/ui/review_picture.h"

#include "capture/dib_section.h"
#include "recording/video_file_handler.h"
#include "support/operator.h"
#include "support/ui/run_trapped.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>
#include <cstring>

namespace veltro {

namespace {

constexpr const char* kLocationOwner = " of Form Form_Veltro";

QColor bgr_colour(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

} // namespace

QImage Picture_image(const cDIBSection& picture) {
    if (picture.Empty()) {
        return {};
    }
    QImage image(picture.Width(), picture.Height(), QImage::Format_BGR888);
    const auto row_bytes = static_cast<std::size_t>(picture.Width()) * 3;
    for (int y = 0; y < picture.Height(); ++y) {
        std::memcpy(image.scanLine(y), picture.ScanLine(y), row_bytes);
    }
    return image;
}

void Paint_review_overlay(QPainter& painter, const Review_overlay& overlay, QSize size) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(bgr_colour(overlay.colour), 1.0));
    const Goal_line& g = overlay.goal_line;
    if (overlay.draw_line) {
        painter.drawLine(QPointF(g.x1, g.y1), QPointF(g.x2, g.y2));
    }

    painter.setRenderHint(QPainter::Antialiasing, false);
    if (overlay.handles) {
        painter.setPen(QPen(bgr_colour(0xFF0000), 1.0));
        painter.setBrush(Qt::NoBrush);
        const Goal_line& h = *overlay.handles;
        for (const QPoint p : {QPoint(h.x1, h.y1), QPoint(h.x2, h.y2)}) {
            painter.drawRect(
                QRect(p.x() - kHandleHalf, p.y() - kHandleHalf, 2 * kHandleHalf, 2 * kHandleHalf));
        }
    }

    if (!overlay.camera_name.isEmpty()) {
        QFont name_font("Times");
        name_font.setPointSize(16);
        painter.setFont(name_font);
        painter.setPen(bgr_colour(overlay.colour));
        const QPointF at(size.width() * kCameraNameX, size.height() * kCameraNameY);
        painter.drawText(at + QPointF(0, painter.fontMetrics().ascent()), overlay.camera_name);
    }

    if (!overlay.data_lines.isEmpty()) {
        QFont data_font("Times");
        data_font.setPointSize(9);
        painter.setFont(data_font);
        painter.setPen(Qt::white);
        const int step = painter.fontMetrics().height();
        int y = step;
        for (const QString& line : overlay.data_lines) {
            painter.drawText(QPointF(4, y), line);
            y += step;
        }
    }

    if (overlay.corrupted) {
        QFont big("Times");
        big.setPointSize(20);
        big.setBold(true);
        painter.setFont(big);
        painter.setPen(Qt::red);
        painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, "Corrupted video\n in this frame!");
    }
    painter.restore();
}

Review_overlay Overlay_of(const Review& review, const cls_VideoFile_handler& rec, bool hd_frame_data,
                          bool sample_data) {
    Review_overlay o;
    o.goal_line = review.Drawn_goal_line();
    o.colour = review.Camera().colour;
    if (review.selected_camera == kGoalCamera || review.selected_camera == kSplitCamera) {
        o.handles = review.goal_line(review.selected_camera);
    }
    o.camera_name = QString::fromStdString(review.Camera().camera_name);
    o.corrupted = rec.Frame_corrupted();
    if (hd_frame_data) {
        for (const std::string& line : HD_frame_data_lines(rec)) {
            o.data_lines << QString::fromStdString(line);
        }
    }
    if (sample_data) {
        for (const std::string& line : Sample_data_lines(rec)) {
            o.data_lines << QString::fromStdString(line);
        }
    }
    return o;
}

Review_picture::Review_picture(Review& review, cls_VideoFile_handler& rec, QWidget* parent)
    : QWidget(parent), review_(review), rec_(rec), mouse_(review) {
    mouse_.caption = [this](const QString& text) { emit caption_text(text); };
    setObjectName("Picture_play");
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Review_picture::Picture_changed() {
    const QSize before = image_.size();
    image_ = review_.Is_open() ? Picture_image(rec_.Picture()) : QImage();
    if (image_.size() != before) {
        // The picture is shown at its own size in pixels (stretched sideways only by X-stretch).
        setFixedSize(sizeHint());
    }
    if (isVisible()) {
        repaint();
    }
}

void Review_picture::X_stretch(double scale) {
    x_scale_ = scale > 0 ? scale : 1.0;
    setFixedSize(sizeHint());
    update();
}

void Review_picture::Display_HD_frame_data(bool on) {
    hd_frame_data_ = on;
    update();
}

void Review_picture::Display_sample_data(bool on) {
    sample_data_ = on;
    update();
}

QSize Review_picture::sizeHint() const {
    if (image_.isNull()) {
        return {400, 300};
    }
    return {static_cast<int>(std::lround(image_.width() * x_scale_)), image_.height()};
}

QImage Review_picture::Shown_image() const {
    if (image_.isNull()) {
        return {};
    }
    QImage shown = image_.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&shown);
    Paint_review_overlay(painter, Overlay_of(review_, rec_, hd_frame_data_, sample_data_), shown.size());
    return shown;
}

void Review_picture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (image_.isNull()) {
        return;
    }
    painter.scale(x_scale_, 1.0);
    painter.drawImage(0, 0, image_);
    Paint_review_overlay(painter, Overlay_of(review_, rec_, hd_frame_data_, sample_data_), image_.size());
}

QPointF Review_picture::picture_point(const QPointF& p) const {
    return {p.x() / x_scale_, p.y()};
}

void Review_picture::mousePressEvent(QMouseEvent* event) {
    run_trapped(std::string("Picture_play_MouseDown") + kLocationOwner,
                [&] { mouse_.press(picture_point(event->position()), event->button(), event->modifiers()); });
}

void Review_picture::mouseMoveEvent(QMouseEvent* event) {
    run_trapped(std::string("Picture_play_MouseMove") + kLocationOwner, [&] {
        bool changed = false;
        setCursor(mouse_.move(picture_point(event->position()), event->buttons(), image_.size(), changed));
        if (changed) {
            update();
        }
    });
}

void Review_picture::mouseReleaseEvent(QMouseEvent*) {
    run_trapped(std::string("Picture_play_MouseUp") + kLocationOwner, [&] {
        if (const std::int16_t camera = mouse_.release()) {
            emit goal_line_saved(camera);
        }
    });
}

void Goal_line_mouse::press(QPointF at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    const auto x = static_cast<std::int32_t>(std::floor(at.x()));
    const auto y = static_cast<std::int32_t>(std::floor(at.y()));
    if (modifiers.testFlag(Qt::ShiftModifier) && caption) {
        caption(QString("X = %1 Y= %2").arg(x).arg(y));
    }
    const std::int16_t camera = review_.selected_camera;
    if (camera != kGoalCamera && camera != kSplitCamera) {
        the_operator().beep();
        return;
    }
    if (button == Qt::LeftButton) {
        drag_.press(review_.goal_line(camera), x, y);
    }
}

Qt::CursorShape Goal_line_mouse::move(QPointF at, Qt::MouseButtons buttons, QSize picture, bool& changed) {
    changed = false;
    const std::int16_t camera = review_.selected_camera;
    if (camera != kGoalCamera && camera != kSplitCamera) {
        return Qt::ArrowCursor;
    }
    Goal_line& line = review_.goal_line(camera);
    if (buttons.testFlag(Qt::LeftButton) && drag_.dragging() && !picture.isEmpty()) {
        changed =
            drag_.move(line, static_cast<std::int32_t>(std::floor(at.x())),
                       static_cast<std::int32_t>(std::floor(at.y())), picture.width(), picture.height());
    }
    const bool over =
        Check_Within_Selection_Boxes(line, static_cast<float>(at.x()), static_cast<float>(at.y()));
    return over || drag_.dragging() ? Qt::CrossCursor : Qt::ArrowCursor;
}

std::int16_t Goal_line_mouse::release() {
    if (!drag_.release()) {
        return 0;
    }
    const std::int16_t camera = review_.selected_camera;
    Save_Goal_line(camera, review_.goal_line(camera));
    return camera;
}

} // namespace veltro
