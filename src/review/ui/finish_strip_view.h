#pragma once

#include "recording/finish_strip.h"

#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>

class QScrollBar;

namespace veltro {

// The finish strip beside the review picture: the pixels along the goal line of every picture, side
// by side in time order, with the time scale below. Its rows are lined up with the goal line in the
// picture next to it, so a dog's head is at the same height in both. A marker shows the picture on
// show; a click on a column shows that picture.
class FinishStripView : public QWidget {
    Q_OBJECT
public:
    explicit FinishStripView(QWidget* parent = nullptr);

    // The strip to show (null: none), and a text to show instead while there is none.
    void show_strip(std::shared_ptr<const FinishStrip> strip);
    void show_text(const QString& text);
    const FinishStrip* strip() const { return strip_.get(); }
    QString text() const { return text_; }

    // The picture on show (play position); the strip scrolls to keep it in view.
    void set_position(int position);
    // Where the goal line's first and last rows are, in this widget's y; an empty span fits the strip
    // to the widget's height.
    void set_rows(double top, double bottom);
    void set_marker_colour(const QColor& colour);

    // The first strip column shown at the left edge.
    int scroll_position() const;
    // Widget x of the middle of a picture's column.
    int x_of(int position) const;

    QSize sizeHint() const override { return {300, 400}; }

signals:
    void picture_clicked(int position);
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void update_scroll_range();
    QRectF strip_rect() const;

    std::shared_ptr<const FinishStrip> strip_;
    QImage image_;
    QString text_;
    QScrollBar* bar_ = nullptr;
    int position_ = 0;
    double top_ = 0, bottom_ = 0;
    QColor marker_{128, 255, 128};
};

} // namespace veltro
