#pragma once

#include <QImage>
#include <QTransform>
#include <QWidget>
#include <functional>
#include <vector>

namespace veltro {

class cDIBSection;

// A picture of the program (live or recorded) drawn scaled to fit the widget with its aspect kept,
// centred on a black ground. Overlays (goal line, camera name, data) are drawn on top by hooks that
// paint in picture pixels: the painter they get is already scaled and moved onto the picture.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    using Overlay = std::function<void(QPainter& painter, const QSize& picture)>;

    explicit PictureBox(QWidget* parent = nullptr);

    // Copies the section's pixels and repaints.
    void Show(const cDIBSection& picture);
    void Show(const QImage& picture);
    // Empties the picture (black).
    void Clear();
    const QImage& image() const { return image_; }
    bool Empty() const { return image_.isNull(); }

    // Adds an overlay hook; hooks run in the order added. Returns its index for remove_overlay.
    int add_overlay(Overlay overlay);
    void remove_overlay(int index);

    // Picture pixels to widget pixels, for the picture on show.
    QTransform picture_transform() const;
    QPointF to_picture(const QPointF& widget_point) const;

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

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage image_;
    QSize picture_size_{400, 880};
    double x_stretch_ = 1.0;
    std::vector<Overlay> overlays_;
};

// The section as a QImage (a copy, top row first).
QImage to_qimage(const cDIBSection& picture);

} // namespace veltro
