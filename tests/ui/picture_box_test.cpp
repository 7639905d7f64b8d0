// The picture box's mapping between widget and picture pixels, and the clock window.
#include "app/ui/form_timer.h"
#include "picture/dib_section.h"
#include "review/ui/picture_box.h"

#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(PictureBox, ScalesToFitCentredAndMapsMouseToPicturePixels) {
    PictureBox box;
    box.resize(200, 880); // half as wide as the picture needs: the picture is shown at half size
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(400, 880));
    dib.Fill_with_RGB(0x0000FF); // red
    dib.scan_line(0)[0] = 255;   // top-left pixel blue (BGR)
    dib.scan_line(0)[1] = 0;
    dib.scan_line(0)[2] = 0;
    box.show_picture(dib);
    EXPECT_EQ(box.image().pixel(0, 0) & 0xFFFFFF, 0x0000FFu); // top row first, blue
    EXPECT_EQ(box.image().pixel(5, 5) & 0xFFFFFF, 0xFF0000u);

    const QPointF centre = box.to_picture(QPointF(100, 440));
    EXPECT_NEAR(centre.x(), 200, 0.01);
    EXPECT_NEAR(centre.y(), 440, 0.01);
    // Vertically the picture is centred in a taller-than-needed box.
    EXPECT_NEAR(box.picture_transform().m11(), 0.5, 1e-9);
    EXPECT_NEAR(box.picture_transform().dy(), (880 - 440) / 2.0, 1e-9);

    // Overlays draw in picture pixels.
    QSize seen;
    box.add_overlay([&](QPainter& p, const QSize& size) {
        seen = size;
        p.fillRect(QRect(0, 0, 400, 2), Qt::green);
    });
    const QImage shot = box.grab().toImage();
    EXPECT_EQ(seen, QSize(400, 880));
    EXPECT_EQ(shot.pixel(100, 220) & 0xFFFFFF, 0x00FF00u);

    QSignalSpy pressed(&box, &PictureBox::picture_pressed);
    QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(50, 440));
    ASSERT_EQ(pressed.size(), 1);
    EXPECT_NEAR(pressed[0][0].toPointF().x(), 100, 0.01);
    EXPECT_NEAR(pressed[0][0].toPointF().y(), 440, 0.01);
}

TEST(FormTimer, CountsToNinetyNineAndCopiesTheHeatTime) {
    Form_timer w([] { return QString(" 00:05,23"); });
    for (int i = 0; i < 99; ++i)
        w.timer1_timer();
    EXPECT_EQ(w.counter(), 99);
    w.timer1_timer();
    EXPECT_EQ(w.counter(), 0);
    EXPECT_EQ(w.findChild<QLabel*>("Label_heat_time")->text(), " 00:05,23");
}

} // namespace
} // namespace veltro
