// Scrubbing with a held arrow key in the main window: one picture per display refresh, none before
// the picture before it is painted, and each picture shown (read ahead or not) is the right one.
#include "app/ui/form_veltro.h"
#include "demo_heat_window.h"
#include "review/ui/held_arrow_steps.h"
#include "review/ui/picture_box.h"
#include "timing/time_text.h"
#include "window_parts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QSlider>
#include <gtest/gtest.h>

namespace veltro {
namespace {

class HeldArrow : public testing::DemoHeatWindow {
protected:
    HeldArrow() : DemoHeatWindow("Test Event_1.px3", "0") {}

    void send(QEvent::Type type, Qt::Key k, bool repeat) {
        QKeyEvent event(type, k, Qt::NoModifier, QString(), repeat);
        QApplication::sendEvent(testing::slider_play(*form), &event);
    }
    PictureBox* box() { return form->findChild<PictureBox*>("Picture_live"); }
    void expect_picture(int position) {
        EXPECT_EQ(testing::picture_number(*form), position);
        EXPECT_EQ(testing::heat_time_text(*form), Display_Mill_Time(pictures().time(position), false))
            << position;
        EXPECT_EQ(box()->image().convertToFormat(QImage::Format_RGB32),
                  pictures().picture(position).convertToFormat(QImage::Format_RGB32))
            << position;
    }
};

TEST_F(HeldArrow, StepsOncePerPaintedPictureWhileHeld) {
    open();
    QSlider* slider = testing::slider_play(*form);
    auto* steps = form->findChild<HeldArrowSteps*>();
    ASSERT_NE(steps, nullptr);
    slider->setValue(10);
    box()->repaint();

    send(QEvent::KeyPress, Qt::Key_Right, false); // the tap steps at once
    EXPECT_EQ(slider->value(), 11);
    expect_picture(11);
    send(QEvent::KeyPress, Qt::Key_Right, true); // held: the repeats are the refresh's to step
    EXPECT_EQ(steps->held(), +1);
    EXPECT_EQ(slider->value(), 11);
    for (int p = 12; p <= 16; ++p) {
        box()->repaint();
        steps->tick();
        EXPECT_EQ(slider->value(), p);
        steps->tick(); // not painted yet: no step, nothing decoded
        send(QEvent::KeyPress, Qt::Key_Right, true);
        EXPECT_EQ(slider->value(), p);
        expect_picture(p);
    }
    send(QEvent::KeyPress, Qt::Key_Left, true); // back the other way
    box()->repaint();
    steps->tick();
    expect_picture(15);
    send(QEvent::KeyRelease, Qt::Key_Left, false);
    EXPECT_EQ(steps->held(), 0);
    box()->repaint();
    steps->tick();
    EXPECT_EQ(slider->value(), 15);
}

} // namespace
} // namespace veltro
