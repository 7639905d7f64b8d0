#pragma once

#include "review/goal_line.h"
#include "review/review.h"

#include <QPointF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <cstdint>
#include <functional>
#include <optional>

class QPainter;

namespace veltro {

class cls_VideoFile_handler;

// What is drawn over a review picture.
struct ReviewOverlay {
    Goal_line goal_line;              // the camera on show's line, displaced by the offset
    bool draw_line = true;            // false: the live view draws the line itself
    std::uint32_t colour = 0;         // 0xBBGGRR, the camera colour
    std::optional<Goal_line> handles; // the selected camera's line, when a camera is selected
    QString camera_name;              // "Goal" or "Split"
    QStringList data_lines;           // the Debug menu's data overlays, from the top
};

// Draws the overlay onto a picture of `size` pixels: the anti-aliased goal line, the handles, the
// camera name and the data lines. A broken frame carries its "Corrupted video" words in its pixels.
// Over a zoomed picture `view` is the zoom (picture pixels to the zoomed whole-picture frame): the
// line and handles follow the picture, the words stay in place at their size; the line stays a
// hairline where a picture pixel grows wider than two screen pixels.
void paint_review_overlay(QPainter& painter, const ReviewOverlay& overlay, QSize size,
                          const QTransform& view = {});
// What the review on show asks to draw.
ReviewOverlay overlay_of(const Review& review, const cls_VideoFile_handler& rec, bool hd_frame_data,
                         bool sample_data);

// The mouse over a review picture, in picture pixels: presses grab a handle of the selected camera's
// goal line, moves drag it, and the release stores it. Over a zoomed picture a left press that grabs
// no handle drags the picture instead. Any picture widget forwards its mouse here.
class GoalLineMouse {
public:
    explicit GoalLineMouse(Review& review) : review_(review) {}

    // Button down. With Shift held `caption` gets "X = x Y= y". With `zoomed` a left press away from
    // the handles starts to pan; otherwise with no camera selected it beeps.
    void press(QPointF at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, bool zoomed = false);
    // The mouse moved: the pointer to show, and in `changed` whether the line moved (repaint).
    // While panning `pan` is told the picture point grabbed and the one now under the mouse.
    Qt::CursorShape move(QPointF at, Qt::MouseButtons buttons, QSize picture, bool& changed);
    // Button up: the camera whose line was moved and is now stored, or 0.
    std::int16_t release();
    bool panning() const { return pan_from_.has_value(); }

    std::function<void(const QString&)> caption;
    std::function<void(QPointF grabbed, QPointF now)> pan;

private:
    Review& review_;
    GoalLineDrag drag_;
    std::optional<QPointF> pan_from_;
};

} // namespace veltro
