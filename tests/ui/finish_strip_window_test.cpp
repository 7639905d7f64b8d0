// The finish strip beside the review picture: made in the background when a heat opens, a click on a
// column shows that picture, and moving the goal line makes it anew. With VELTRO_SCREENSHOT_DIR set
// the review with its strip is saved there (docs/review_strip.png).
#include "demo_heat_window.h"
#include "review/goal_line.h"
#include "review/ui/finish_strip_view.h"
#include "review/ui/picture_box.h"
#include "review_parts.h"
#include "support/settings.h"
#include "window_parts.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QSlider>
#include <QTest>
#include <cstdlib>

namespace veltro {
namespace {

class FinishStripWindow : public testing::DemoHeatWindow {
protected:
    FinishStripWindow() : DemoHeatWindow("Test Event_1.px3") {}

    // Runs the window until the strip it waits for is shown.
    bool strip_ready() {
        FinishStripView* view = testing::finish_strip(*form);
        return testing::run_until([view] { return view->strip() != nullptr; });
    }
    // The mouse drags the first handle of the goal camera's line `dx` picture pixels sideways.
    void drag_first_handle(const Goal_line& line, int dx) {
        PictureBox* picture = testing::picture_live(*form);
        const QTransform to_widget = picture->picture_transform();
        const QPointF from = to_widget.map(QPointF(line.x1 + 2.5, line.y1 + 2.5));
        const QPointF to = to_widget.map(QPointF(line.x1 + 2.5 + dx, line.y1 + 2.5));
        auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, picture->mapToGlobal(at), button, buttons, Qt::NoModifier);
            QApplication::sendEvent(picture, &event);
        };
        send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
};

TEST_F(FinishStripWindow, AClickOnTheStripShowsThatPicture) {
    form->Handle_Open(path);
    FinishStripView* view = testing::finish_strip(*form);
    QSlider* slider = testing::slider_play(*form);
    ASSERT_TRUE(view->isVisible());
    // The review is usable while the strip is made.
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(testing::picture_number(*form), 2);
    ASSERT_TRUE(strip_ready());
    const FinishStrip& strip = *view->strip();
    EXPECT_EQ(strip.pictures(), slider->maximum());

    // The picture at which box 3's dog reaches the line, clicked in the strip.
    std::int16_t target = 0;
    for (std::int16_t p = 1; p <= strip.pictures(); ++p) {
        const auto t = strip.times[static_cast<std::size_t>(p - 1)];
        if (t && demo.crossing_ms[2] && *t >= *demo.crossing_ms[2]) {
            target = p;
            break;
        }
    }
    ASSERT_GT(target, 1);
    view->set_position(target); // scrolled into view, as stepping to it would
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(view->x_of(target), view->height() / 2));
    EXPECT_EQ(testing::picture_number(*form), target);
    EXPECT_EQ(slider->value(), target);
    // The right-most pixel of the column before it belongs to that picture.
    QTest::mouseClick(view, Qt::LeftButton, {},
                      QPoint(view->x_of(target) - strip.column_width, view->height() / 2));
    EXPECT_EQ(testing::picture_number(*form), target - 1);

    if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR")) {
        slider->setValue(target);
        QApplication::processEvents();
        form->grab().save(QString(shots) + "/review_strip.png");
    }
}

TEST_F(FinishStripWindow, MovingTheGoalLineMakesTheStripAnew) {
    form->Handle_Open(path);
    ASSERT_TRUE(strip_ready());
    FinishStripView* view = testing::finish_strip(*form);
    const FinishStrip* before = view->strip();
    const Goal_line line = pictures().opened_goal_line();

    // The line dragged aside: a new strip along the new line.
    drag_first_handle(line, -40);
    Goal_line moved = line;
    moved.x1 -= 40;
    ASSERT_EQ(Read_Setting(keys::goal_line_1), goal_line_text(moved));
    EXPECT_EQ(view->strip(), nullptr); // the old one no longer matches the line
    ASSERT_TRUE(strip_ready());
    EXPECT_NE(view->strip(), before);

    // Back on the old line: the strip made for it is shown again at once, with nothing to wait for.
    drag_first_handle(moved, +40);
    ASSERT_EQ(Read_Setting(keys::goal_line_1), goal_line_text(line));
    EXPECT_NE(view->strip(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->strip(), before);

    // Closing the heat hides the strip.
    form->findChild<QAction*>("item_close_file")->trigger();
    EXPECT_FALSE(view->isVisible());
}

} // namespace
} // namespace veltro
