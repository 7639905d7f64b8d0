// The finish strip beside the review picture: made in the background when a heat opens, a click on a
// column shows that picture, and moving the goal line makes it anew. With VELTRO_SCREENSHOT_DIR set
// the review with its strip is saved there (docs/review_strip.png).
#include "demo_heat_window.h"
#include "review/review.h"
#include "review/strip_worker.h"
#include "review/ui/finish_strip_view.h"
#include "review/ui/picture_box.h"
#include "window_parts.h"

#include <QApplication>
#include <QSlider>
#include <QTest>
#include <cstdlib>
#include <poll.h>

namespace veltro {
namespace {

class FinishStripWindow : public testing::DemoHeatWindow {
protected:
    FinishStripWindow() : DemoHeatWindow("Test Event_1.px3") {}

    // Waits on the worker's descriptor, as the window's notifier would, and shows what it made.
    bool strip_ready() {
        StripWorker* worker = form->strip_worker();
        if (!worker) {
            return false;
        }
        pollfd fd{worker->event_fd(), POLLIN, 0};
        while (worker->busy() || !testing::finish_strip(*form)->strip()) {
            if (::poll(&fd, 1, 60000) != 1) {
                return false;
            }
            form->dispatch_strip();
        }
        return true;
    }
};

TEST_F(FinishStripWindow, AClickOnTheStripShowsThatPicture) {
    form->Handle_Open(path);
    FinishStripView* view = testing::finish_strip(*form);
    ASSERT_TRUE(view->isVisible());
    // The review is usable while the strip is made.
    EXPECT_TRUE(form->review().step(1));
    ASSERT_TRUE(strip_ready());
    const FinishStrip& strip = *view->strip();
    EXPECT_EQ(strip.pictures(), form->review().slider_max());

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
    EXPECT_EQ(form->review().play_position(), target);
    EXPECT_EQ(testing::slider_play(*form)->value(), target);
    // The right-most pixel of the column before it belongs to that picture.
    QTest::mouseClick(view, Qt::LeftButton, {},
                      QPoint(view->x_of(target) - strip.column_width, view->height() / 2));
    EXPECT_EQ(form->review().play_position(), target - 1);

    if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR")) {
        form->review().set_position(target);
        QApplication::processEvents();
        form->grab().save(QString(shots) + "/review_strip.png");
    }
}

TEST_F(FinishStripWindow, MovingTheGoalLineMakesTheStripAnew) {
    form->Handle_Open(path);
    ASSERT_TRUE(strip_ready());
    const FinishStrip* before = testing::finish_strip(*form)->strip();
    const Goal_line line = form->review().goal_line(kGoalCamera);

    // The line dragged aside (as a release after a drag does): a new strip along the new line.
    Goal_line moved = line;
    moved.x1 -= 40;
    moved.x2 -= 40;
    form->review().goal_line(kGoalCamera) = moved;
    form->request_strip();
    EXPECT_EQ(testing::finish_strip(*form)->strip(), nullptr); // the old one no longer matches the line
    ASSERT_TRUE(strip_ready());
    EXPECT_NE(testing::finish_strip(*form)->strip(), before);

    // Back on the old line: the strip made for it is shown again at once.
    form->review().goal_line(kGoalCamera) = line;
    form->request_strip();
    EXPECT_FALSE(form->strip_worker()->busy());
    form->dispatch_strip();
    EXPECT_EQ(testing::finish_strip(*form)->strip(), before);

    // Closing the heat hides the strip.
    form->Do_Close();
    EXPECT_FALSE(testing::finish_strip(*form)->isVisible());
}

} // namespace
} // namespace veltro
