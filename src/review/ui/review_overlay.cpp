#include "review/ui/review_overlay.h"

#include "recording/video_file_handler.h"
#include "support/operator.h"
#include "timing/ui/box_tile.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace veltro {

namespace {

// One picture pixel, but no more than two screen pixels: zoomed in, a line as wide as a picture pixel
// would hide the very pixels the judge looks at.
double hairline(const QPainter& painter) {
    const QTransform& t = painter.transform();
    const double scale = std::max(std::hypot(t.m11(), t.m12()), std::hypot(t.m21(), t.m22()));
    return scale > 2.0 ? 2.0 / scale : 1.0;
}

} // namespace

void paint_review_overlay(QPainter& painter, const ReviewOverlay& overlay, QSize size,
                          const QTransform& view) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double line_width = hairline(painter);
    painter.setPen(QPen(bgr_colour(overlay.colour), line_width));
    const Goal_line& g = overlay.goal_line;
    if (overlay.draw_line) {
        painter.drawLine(QPointF(g.x1, g.y1), QPointF(g.x2, g.y2));
    }

    painter.setRenderHint(QPainter::Antialiasing, false);
    if (overlay.handles) {
        painter.setPen(QPen(bgr_colour(0xFF0000), line_width));
        painter.setBrush(Qt::NoBrush);
        const Goal_line& h = *overlay.handles;
        for (const QPoint p : {QPoint(h.x1, h.y1), QPoint(h.x2, h.y2)}) {
            painter.drawRect(
                QRect(p.x() - kHandleHalf, p.y() - kHandleHalf, 2 * kHandleHalf, 2 * kHandleHalf));
        }
    }

    // The words are placed in the whole picture's frame, not zoomed.
    painter.setTransform(view.inverted() * painter.transform());
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
    painter.restore();
}

ReviewOverlay overlay_of(const Review& review, const cls_VideoFile_handler& rec, bool hd_frame_data,
                         bool sample_data) {
    ReviewOverlay o;
    o.goal_line = review.drawn_goal_line();
    o.colour = review.camera().colour;
    if (review.selected_camera == kGoalCamera || review.selected_camera == kSplitCamera) {
        o.handles = review.goal_line(review.selected_camera);
    }
    o.camera_name = QString::fromStdString(review.camera().camera_name);
    if (hd_frame_data) {
        for (const std::string& line : hd_frame_data_lines(rec)) {
            o.data_lines << QString::fromStdString(line);
        }
    }
    if (sample_data) {
        for (const std::string& line : sample_data_lines(rec)) {
            o.data_lines << QString::fromStdString(line);
        }
    }
    return o;
}

void GoalLineMouse::press(QPointF at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, bool zoomed) {
    const auto x = static_cast<std::int32_t>(std::floor(at.x()));
    const auto y = static_cast<std::int32_t>(std::floor(at.y()));
    if (modifiers.testFlag(Qt::ShiftModifier) && caption) {
        caption(QString("X = %1 Y= %2").arg(x).arg(y));
    }
    const std::int16_t camera = review_.selected_camera;
    const bool has_camera = camera == kGoalCamera || camera == kSplitCamera;
    pan_from_.reset();
    if (zoomed && button == Qt::LeftButton) {
        if (has_camera && drag_.press(review_.goal_line(camera), x, y) != 0) {
            return;
        }
        pan_from_ = at;
        return;
    }
    if (!has_camera) {
        the_operator().beep();
        return;
    }
    if (button == Qt::LeftButton) {
        drag_.press(review_.goal_line(camera), x, y);
    }
}

Qt::CursorShape GoalLineMouse::move(QPointF at, Qt::MouseButtons buttons, QSize picture, bool& changed) {
    changed = false;
    if (pan_from_) {
        if (buttons.testFlag(Qt::LeftButton) && pan) {
            pan(*pan_from_, at);
        }
        return Qt::ClosedHandCursor;
    }
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

std::int16_t GoalLineMouse::release() {
    pan_from_.reset();
    if (!drag_.release()) {
        return 0;
    }
    const std::int16_t camera = review_.selected_camera;
    Save_Goal_line(camera, review_.goal_line(camera));
    return camera;
}

} // namespace veltro
