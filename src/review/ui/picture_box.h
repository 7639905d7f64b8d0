#pragma once

#include "review/view_adjust.h"

#include <QImage>
#include <QTransform>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

namespace veltro {

class cDIBSection;

// A picture of the program (live or recorded) drawn scaled to fit the widget with its aspect kept,
// centred on a black ground. Overlays (goal line, camera name, data) are drawn on top by hooks that
// paint in picture pixels: the painter they get is already scaled and moved onto the picture.
// A review picture is shown through the operator's view: zoomed (the wheel zooms around the point
// under the mouse) and enhanced; the live picture never is.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    using Overlay = std::function<void(QPainter& painter, const QSize& picture)>;

    explicit PictureBox(QWidget* parent = nullptr);

    // Copies the section's pixels and repaints, as they are (the live picture).
    void show_picture(const cDIBSection& picture);
    void show_picture(const QImage& picture);
    // The same for a review picture: shown through the view, its enhancement applied once here.
    void show_adjusted(const cDIBSection& picture);
    // Empties the picture (black).
    void clear();
    // The picture as shown (enhanced when the view applies).
    const QImage& image() const { return image_; }
    bool empty() const { return image_.isNull(); }

    // Adds an overlay hook; hooks run in the order added. Returns its index for remove_overlay.
    int add_overlay(Overlay overlay);
    void remove_overlay(int index);

    // Picture pixels to widget pixels, for the picture on show (zoomed when the view applies).
    QTransform picture_transform() const;
    QPointF to_picture(const QPointF& widget_point) const;
    // The whole picture to widget pixels, as at 1x.
    QTransform fit_transform() const;
    // Picture pixels to the zoomed whole-picture frame; the identity while nothing is zoomed.
    QTransform view_transform() const;

    // The operator's view; kept for the whole run. view_changed() after changing its enhancement
    // shows the picture again through it.
    const ViewAdjust& view() const { return view_; }
    ViewAdjust& view() { return view_; }
    void view_changed();
    // True while the picture on show is a review picture.
    bool view_applies() const { return adjusted_ && !image_.isNull(); }
    // `steps` zoom steps around picture point `at`; false when there is no step left (or no review
    // picture on show).
    bool zoom_by(int steps, QPointF at);
    // Moves the view by picture pixels.
    void pan_by(QPointF delta);
    // The picture point the operator last pointed at (zoomed around or pressed on) when it is still
    // in view; else the middle of the view. Where the judge was looking, for the prints.
    QPointF looked_at() const;

    // The size the picture is meant to have (its own size before any shrinking to fit).
    void picture_size(const QSize& size);
    QSize picture_size() const { return picture_size_; }
    QSize sizeHint() const override;
    // The horizontal display scale (X-stretch): the picture is drawn this much narrower or wider.
    void x_stretch(double scale);
    double x_stretch() const { return x_stretch_; }

signals:
    // Mouse events in picture pixels.
    void picture_pressed(QPointF at, Qt::MouseButton button);
    void picture_moved(QPointF at, Qt::MouseButtons buttons);
    void picture_released(QPointF at, Qt::MouseButton button);
    // The review picture was zoomed, panned or reset: what lies where on screen changed.
    void view_moved();
    // A paint of the box ended: what was shown before it is on screen.
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void show_picture(QImage picture, bool adjusted);

    QImage source_; // as recorded; image_ is what is shown
    QImage image_;
    bool adjusted_ = false;
    ViewAdjust view_;
    std::optional<QPointF> pointed_at_;
    int wheel_rest_ = 0; // a part of a wheel step, from fine-grained wheels
    QSize picture_size_{400, 880};
    double x_stretch_ = 1.0;
    std::vector<Overlay> overlays_;
};

// The section as a QImage (a copy, top row first).
QImage to_qimage(const cDIBSection& picture);
// The picture through the view's table (a 24-bit copy); the picture itself when nothing is enhanced.
QImage enhanced(const QImage& picture, const ViewAdjust& view);
// Picture pixels to the zoomed whole-picture frame of `view`.
QTransform zoom_transform(const ViewAdjust& view);

} // namespace veltro
