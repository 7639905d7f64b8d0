// The view of the review picture in the main window: zoom with the wheel and the keys, pan by
// dragging, brightness, contrast and gamma, "Reset view", and what printing makes of them. With
// VELTRO_SCREENSHOT_DIR set a zoomed and brightened review is saved there as review_zoomed.png.
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_race_scene.h"
#include "capture/hdmi_crop.h"
#include "demo_heat_window.h"
#include "picture/dib_section.h"
#include "poppler.h"
#include "recording/video_file_handler.h"
#include "review/review.h"
#include "review/ui/picture_box.h"
#include "review/ui/review_overlay.h"
#include "review_parts.h"
#include "support/files.h"
#include "support/settings.h"
#include "timing/heat_timing.h"
#include "window_parts.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace veltro {
namespace {

const std::string kPrintedToFile = "printed to the file: ";

double mean_grey(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            sum += qGray(image.pixel(x, y));
    return sum / ((image.height() + 3) / 4 * ((image.width() + 3) / 4));
}

class ReviewView : public testing::DemoHeatWindow {
protected:
    ReviewView() : DemoHeatWindow("Test Event_1.px3") {}

    void open() {
        DemoHeatWindow::open();
        testing::slider_play(*form)->setFocus();
    }
    PictureBox& picture() { return *testing::picture_live(*form); }
    // The goal camera's line, as the heat opened with it.
    Goal_line line() { return pictures().opened_goal_line(); }
    QPointF goal_middle() {
        const Goal_line l = line();
        return {(l.x1 + l.x2) / 2.0, (l.y1 + l.y2) / 2.0};
    }
    // Keys go where the keyboard is, as the operator's do.
    void wheel(QPointF at, int delta) {
        QWheelEvent event(at, picture().mapToGlobal(at), {}, {0, delta}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&picture(), &event);
    }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, picture().mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&picture(), &event);
    }
    void drag(QPointF from, QPointF to) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    // The picture on show as recorded.
    QImage recorded() { return pictures().picture(testing::picture_number(*form)); }
    // The part of the picture in view: zoomed in, a picture that was read ahead is decoded only there.
    QRect in_view() {
        const ViewAdjust& v = picture().view();
        const QRect whole = recorded().rect();
        return QRectF(v.origin().x, v.origin().y, whole.width() / v.zoom(), whole.height() / v.zoom())
                   .toAlignedRect() &
               whole;
    }
};

TEST_F(ReviewView, TheWheelZoomsAroundThePointOnTheGoalLineUnderTheMouseAndDrawsWholePixels) {
    open();
    // A point of the goal line away from its middle, so the zoom has to move the view to keep it.
    const Goal_line l = line();
    const QPointF on_line(l.x1, l.y1 + (l.y2 - l.y1) * 0.3);
    const QPointF at = picture().picture_transform().map(on_line);
    for (std::size_t step = 1; step < kZoomSteps.size(); ++step) {
        wheel(at, 120);
        EXPECT_EQ(picture().view().zoom(), kZoomSteps[step]);
        const QPointF now = picture().picture_transform().map(on_line);
        EXPECT_NEAR(now.x(), at.x(), 1e-6) << kZoomSteps[step];
        EXPECT_NEAR(now.y(), at.y(), 1e-6) << kZoomSteps[step];
    }
    wheel(at, 120);
    EXPECT_EQ(picture().view().zoom(), 8.0); // no more than 8x

    // At 8x each picture pixel is a block of one colour: what is inside a block is the pixel itself.
    const QImage shown = picture().grab().toImage();
    const QTransform back = picture().picture_transform().inverted();
    int compared = 0;
    std::set<QRgb> colours;
    for (int y = static_cast<int>(at.y()) - 40; y < at.y() + 40; ++y)
        for (int x = static_cast<int>(at.x()) - 40; x < at.x() + 40; ++x) {
            const QPointF p = back.map(QPointF(x + 0.5, y + 0.5));
            const double fx = p.x() - std::floor(p.x()), fy = p.y() - std::floor(p.y());
            if (std::abs(x + 0.5 - at.x()) < 3 || fx < 0.15 || fx > 0.85 || fy < 0.15 || fy > 0.85)
                continue; // the goal line, and the seams between blocks
            const QRgb want = picture().image().pixel(static_cast<int>(p.x()), static_cast<int>(p.y()));
            ASSERT_EQ(shown.pixel(x, y) & 0xFFFFFF, want & 0xFFFFFF) << x << "," << y;
            colours.insert(want);
            ++compared;
        }
    EXPECT_GT(compared, 1000);
    EXPECT_GE(colours.size(), 2u); // the finish column's edge is in there

    // The keys zoom out again around the middle of the goal line.
    const QPointF middle = goal_middle();
    key(Qt::Key_Minus);
    EXPECT_EQ(picture().view().zoom(), 6.0);
    while (picture().view().zoomed())
        key(Qt::Key_Minus);
    EXPECT_EQ(picture().picture_transform(), picture().fit_transform());
    key(Qt::Key_Plus);
    key(Qt::Key_Plus);
    EXPECT_EQ(picture().view().zoom(), 2.0);
    const QPointF after = picture().picture_transform().map(middle);
    const QPointF fit_middle = picture().fit_transform().map(middle);
    EXPECT_NEAR(after.x(), fit_middle.x(), 1e-6);
    EXPECT_NEAR(after.y(), fit_middle.y(), 1e-6);
}

TEST_F(ReviewView, ZoomedInADragAwayFromTheHandlesPansAndStaysInThePicture) {
    open();
    const QPointF centre = picture().fit_transform().map(goal_middle());
    for (int i = 0; i < 4; ++i)
        key(Qt::Key_Plus); // 4x
    const QPointF from = centre + QPointF(30, 20);
    const QPointF grabbed = picture().to_picture(from);
    drag(from, from + QPointF(-60, -50));
    const QPointF under = picture().to_picture(from + QPointF(-60, -50));
    EXPECT_NEAR(under.x(), grabbed.x(), 1e-6); // the picture moved with the mouse
    EXPECT_NEAR(under.y(), grabbed.y(), 1e-6);
    // A long drag stops at the picture's edge: the top, where the first handle is in view.
    drag(centre, centre + QPointF(0, 5000));
    EXPECT_EQ(picture().view().origin().y, 0);
    const ViewPoint origin = picture().view().origin();
    EXPECT_GT(origin.x, 0);

    // A press on a handle of the goal camera's line still drags the handle, not the picture.
    const Goal_line l = line();
    const QTransform t = picture().picture_transform();
    const QPointF handle = t.map(QPointF(l.x1 + 2.5, l.y1 + 2.5));
    drag(handle, handle + t.map(QPointF(3, 0)) - t.map(QPointF(0, 0)));
    EXPECT_EQ(parse_goal_line(Read_Setting(keys::goal_line_1)).value_or(Goal_line{}).x1, l.x1 + 3);
    EXPECT_EQ(picture().view().origin().x, origin.x);
    EXPECT_EQ(picture().view().origin().y, 0);
    // Away from the handles it pans again, up to the left edge.
    drag(centre, centre + QPointF(5000, 0));
    EXPECT_EQ(picture().view().origin().x, 0);
    EXPECT_EQ(op.beeps, 0);
}

TEST_F(ReviewView, EnhancementShowsOnScreenAndOnPaperAndTheRecordingStaysByteForByte) {
    const std::string before = read_whole_file(path).value();
    open();
    ASSERT_TRUE(demo.crossing_ms[3]);
    show_time(*demo.crossing_ms[3]);
    const QImage plain = recorded();
    EXPECT_EQ(picture().image().convertToFormat(plain.format()), plain);

    key(Qt::Key_B);
    EXPECT_GT(mean_grey(picture().image()), mean_grey(plain) + 5);
    key(Qt::Key_B, Qt::ShiftModifier);
    EXPECT_EQ(picture().image().convertToFormat(plain.format()), plain);
    key(Qt::Key_C);
    key(Qt::Key_G);
    key(Qt::Key_G);
    key(Qt::Key_B);
    EXPECT_EQ(picture().view().contrast(), 1);
    EXPECT_EQ(picture().view().gamma(), 2);
    EXPECT_NE(picture().image().convertToFormat(plain.format()), plain);
    // 4x with the wheel on the goal line where the head of box 4 crosses it.
    const CropOrigin crop = hdmi_crop_origin(DemoRaceScene::kWidth, DemoRaceScene::kHeight, 400, 880);
    const auto [first, last] = DemoRaceScene::head_rows(4);
    const QPointF head(line().x1, (first + last) / 2.0 - crop.y0);
    wheel(picture().picture_transform().map(head), 4 * 120);
    EXPECT_EQ(picture().view().zoom(), 4.0);
    // The next picture comes through the same view.
    key(Qt::Key_Right);
    const QRect part = in_view();
    EXPECT_GT(mean_grey(picture().image().copy(part)), mean_grey(recorded().copy(part)) + 5);
    if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR")) {
        key(Qt::Key_Left);
        QApplication::processEvents();
        form->grab().save(QString(shots) + "/review_zoomed.png");
    }

    // Kept across a camera switch and another opening.
    form->findChild<QPushButton*>("Command_split_goal")->click();
    form->findChild<QPushButton*>("Command_split_goal")->click();
    form->Do_Close();
    open();
    EXPECT_EQ(picture().view().zoom(), 4.0);
    EXPECT_EQ(picture().view().brightness(), 1);
    EXPECT_NE(picture().image().convertToFormat(plain.format()), recorded());

    if (QPrinterInfo::availablePrinters().isEmpty()) {
        form->findChild<QAction*>("item_print_frame")->trigger();
        EXPECT_NE(op.last_message().find(".pdf"), std::string::npos) << op.last_message();
    }

    // "0" puts it all back at once.
    key(Qt::Key_0);
    EXPECT_FALSE(picture().view().zoomed());
    EXPECT_FALSE(picture().view().enhanced());
    EXPECT_EQ(picture().picture_transform(), picture().fit_transform());
    EXPECT_EQ(picture().image().convertToFormat(QImage::Format_BGR888), recorded());

    form->Do_Close();
    EXPECT_EQ(read_whole_file(path).value(), before);
}

TEST_F(ReviewView, APrintShowsTheEnhancementAndTheZoomOnScreen) {
    if (!QPrinterInfo::availablePrinters().isEmpty())
        GTEST_SKIP() << "a printer is installed: these tests print to PDF files only";
    if (!testing::poppler_present())
        GTEST_SKIP() << "pdftoppm not installed";
    open();
    show_time(*demo.crossing_ms[0]);
    auto print = [&](const std::string& name) {
        form->findChild<QAction*>("item_print_frame")->trigger();
        const std::string said = op.last_message();
        const auto at = said.find(kPrintedToFile);
        EXPECT_NE(at, std::string::npos) << said;
        const std::string pdf =
            at == std::string::npos ? std::string() : said.substr(at + kPrintedToFile.size());
        testing::run("pdftoppm -r 50 -png -singlefile '" + pdf + "' '" + dir.file(name) + "'");
        return QImage(QString::fromStdString(dir.file(name + ".png")));
    };
    const QImage plain = print("plain");
    key(Qt::Key_B);
    key(Qt::Key_B);
    const QImage brighter = print("brighter");
    key(Qt::Key_Plus);
    key(Qt::Key_Plus);
    key(Qt::Key_Plus);
    const QImage zoomed = print("zoomed");
    ASSERT_FALSE(plain.isNull());
    ASSERT_EQ(plain.size(), brighter.size());
    ASSERT_EQ(plain.size(), zoomed.size());
    // The picture is the page's upper half; the texts below are the same on all three.
    const QRect band(0, 0, plain.width(), plain.height() / 2);
    // Where the plain page has the picture (not paper), the brighter one is lighter.
    double lighter = 0;
    int picture_pixels = 0;
    for (int y = 0; y < band.height(); ++y)
        for (int x = 0; x < band.width(); ++x)
            if (qGray(plain.pixel(x, y)) < 230) {
                lighter += qGray(brighter.pixel(x, y)) - qGray(plain.pixel(x, y));
                ++picture_pixels;
            }
    ASSERT_GT(picture_pixels, 10000);
    EXPECT_GT(lighter / picture_pixels, 10);
    int changed = 0;
    for (int y = 0; y < band.height(); y += 2)
        for (int x = 0; x < band.width(); x += 2)
            changed += std::abs(qGray(zoomed.pixel(x, y)) - qGray(brighter.pixel(x, y))) > 40 ? 1 : 0;
    EXPECT_GT(changed, 200); // the 3x picture is another picture, not the whole one brighter
}

TEST(PictureBoxView, TheLivePictureIsNeitherZoomedNorEnhanced) {
    PictureBox box;
    box.resize(400, 880);
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(400, 880));
    dib.Fill_with_RGB(0x404040);
    box.show_adjusted(dib);
    ASSERT_TRUE(box.zoom_by(3, {200, 440}));
    box.view().step_brightness(+3);
    box.view_changed();
    EXPECT_EQ(qGray(box.image().pixel(10, 10)), 0x40 + 30);
    EXPECT_NE(box.picture_transform(), box.fit_transform());

    box.show_picture(dib); // live
    EXPECT_EQ(qGray(box.image().pixel(10, 10)), 0x40);
    EXPECT_EQ(box.picture_transform(), box.fit_transform());
    EXPECT_FALSE(box.zoom_by(1, {200, 440}));
    EXPECT_EQ(box.view().zoom(), 3.0); // kept for the next review picture
    box.show_adjusted(dib);
    EXPECT_EQ(qGray(box.image().pixel(10, 10)), 0x40 + 30);
}

// The main window always has the goal camera's line to edit; with no line selected a press at 1x only
// beeps, and zoomed in a drag still pans the picture.
TEST(GoalLineMouseAlone, WithNoLineSelectedAPressBeepsUnlessZoomedInWhereItPans) {
    testing::FakeOperator op;
    cls_VideoFile_handler rec;
    ManualClock clock;
    HeatTiming timing(clock);
    Review review(rec, timing, clock);
    review.selected_camera = 0;
    GoalLineMouse mouse(review);
    std::vector<std::pair<QPointF, QPointF>> pans;
    mouse.pan = [&](QPointF grabbed, QPointF now) { pans.emplace_back(grabbed, now); };
    bool changed = true;
    mouse.press({100, 100}, Qt::LeftButton, {});
    mouse.move({90, 95}, Qt::LeftButton, {400, 880}, changed);
    EXPECT_EQ(op.beeps, 1);
    EXPECT_TRUE(pans.empty());
    EXPECT_EQ(mouse.release(), 0);

    mouse.press({100, 100}, Qt::LeftButton, {}, true);
    mouse.move({90, 95}, Qt::LeftButton, {400, 880}, changed);
    EXPECT_EQ(op.beeps, 1);
    EXPECT_FALSE(changed);
    ASSERT_EQ(pans.size(), 1u);
    EXPECT_EQ(pans[0], std::make_pair(QPointF(100, 100), QPointF(90, 95)));
    EXPECT_EQ(mouse.release(), 0);
}

} // namespace
} // namespace veltro
