#pragma once

#include "app/goal_line.h"
#include "app/review.h"

#include <QImage>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

class QPainter;

namespace veltro {

class cDIBSection;

// What is drawn over a review picture.
struct Review_overlay {
    Goal_line goal_line;              // the camera on show's line, displaced by the offset
    bool draw_line = true;            // false: the live view draws the line itself
    std::uint32_t colour = 0;         // 0xBBGGRR, the camera colour
    std::optional<Goal_line> handles; // the selected camera's line, when a camera is selected
    QString camera_name;              // "Goal" or "Split"
    bool corrupted = false;           // the frame did not decode
    QStringList data_lines;           // the Debug menu's data overlays, from the top
};

// The picture as an image of its size (a copy of the bottom-up section, top row first).
QImage Picture_image(const cDIBSection& picture);
// Draws the overlay onto a picture of `size` pixels: the anti-aliased goal line, the handles, the
// camera name, the data lines and the "Corrupted video" text.
void Paint_review_overlay(QPainter& painter, const Review_overlay& overlay, QSize size);
// What the review on show asks to draw.
Review_overlay Overlay_of(const Review& review, const cls_VideoFile_handler& rec, bool hd_frame_data,
                          bool sample_data);

// The mouse over a review picture, in picture pixels: presses grab a handle of the selected camera's
// goal line, moves drag it, and the release stores it. Any picture widget forwards its mouse here.
class Goal_line_mouse {
public:
    explicit Goal_line_mouse(Review& review) : review_(review) {}

    // Button down. With Shift held `caption` gets "X = x Y= y"; with no camera selected it beeps.
    void press(QPointF at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    // The mouse moved: the pointer to show, and in `changed` whether the line moved (repaint).
    Qt::CursorShape move(QPointF at, Qt::MouseButtons buttons, QSize picture, bool& changed);
    // Button up: the camera whose line was moved and is now stored, or 0.
    std::int16_t release();

    std::function<void(const QString&)> caption;

private:
    Review& review_;
    Goal_line_drag drag_;
};

// The review picture in the main window: the picture on show with its overlay, stretched sideways by
// the X-stretch scale, and the mouse over it dragging the selected camera's goal-line handles.
class Review_picture : public QWidget {
    Q_OBJECT
public:
    Review_picture(Review& review, cls_VideoFile_handler& rec, QWidget* parent = nullptr);

    // Takes the picture the recording object drew last and shows it at once.
    void Picture_changed();
    // The horizontal display scale of the X-stretch menu (1, 1/1.5, 1/2).
    void X_stretch(double scale);
    double X_stretch() const { return x_scale_; }
    // The Debug menu's "Display HD frame data" and "Display sample data".
    void Display_HD_frame_data(bool on);
    void Display_sample_data(bool on);

    QSize sizeHint() const override;
    // The image as shown (picture and overlay) at picture size.
    QImage Shown_image() const;

signals:
    // Shift held on a press: the main window shows this text as its caption.
    void caption_text(const QString& text);
    // A drag moved a handle and the line was stored.
    void goal_line_saved(std::int16_t camera);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPointF picture_point(const QPointF& widget_point) const;

    Review& review_;
    cls_VideoFile_handler& rec_;
    QImage image_;
    double x_scale_ = 1.0;
    bool hd_frame_data_ = false;
    bool sample_data_ = false;
    Goal_line_mouse mouse_;
};

} // namespace veltro
