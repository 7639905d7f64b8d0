#include "review/view_adjust.h"

#include <gtest/gtest.h>
#include <vector>

namespace veltro {
namespace {

constexpr std::int32_t kW = 400;
constexpr std::int32_t kH = 880;

void expect_inside(const ViewAdjust& v) {
    EXPECT_GE(v.origin().x, 0);
    EXPECT_GE(v.origin().y, 0);
    EXPECT_LE(v.origin().x + kW / v.zoom(), kW + 1e-9);
    EXPECT_LE(v.origin().y + kH / v.zoom(), kH + 1e-9);
}

TEST(ViewZoom, EveryStepKeepsThePointUnderTheMouseInAndOutAgain) {
    // The goal line's middle, a point near a corner, and the picture's own corners.
    for (const ViewPoint fixed : {ViewPoint{200, 440}, ViewPoint{13.5, 861.25}, ViewPoint{0, 0},
                                  ViewPoint{kW, kH}, ViewPoint{333, 17}}) {
        ViewAdjust v;
        const ViewPoint shown = v.to_view(fixed);
        std::vector<double> zooms;
        while (v.zoom_by(+1, fixed, kW, kH)) {
            zooms.push_back(v.zoom());
            EXPECT_NEAR(v.to_view(fixed).x, shown.x, 1e-9) << v.zoom();
            EXPECT_NEAR(v.to_view(fixed).y, shown.y, 1e-9) << v.zoom();
            expect_inside(v);
        }
        EXPECT_EQ(zooms, (std::vector<double>{1.5, 2, 3, 4, 6, 8}));
        EXPECT_FALSE(v.zoom_by(+1, fixed, kW, kH)); // 8x is the most
        // Out again the same way: the views zoomed in through were inside, so none is pushed back.
        while (v.zoom_by(-1, fixed, kW, kH)) {
            EXPECT_NEAR(v.to_view(fixed).x, shown.x, 1e-9) << v.zoom();
            EXPECT_NEAR(v.to_view(fixed).y, shown.y, 1e-9) << v.zoom();
        }
        EXPECT_EQ(v.zoom(), 1.0);
        EXPECT_EQ(v.origin().x, 0);
        EXPECT_EQ(v.origin().y, 0);
    }
}

TEST(ViewZoom, PanAndZoomOutStayInsideThePicture) {
    ViewAdjust v;
    ASSERT_TRUE(v.zoom_by(4, {200, 440}, kW, kH)); // 4x: a 100 x 220 view
    EXPECT_EQ(v.zoom(), 4.0);
    v.pan_by(-1000, 30, kW, kH);
    EXPECT_EQ(v.origin().x, 0);
    EXPECT_NEAR(v.origin().y, 440 - 110 + 30, 1e-9);
    v.pan_by(5000, 5000, kW, kH);
    EXPECT_EQ(v.origin().x, kW - 100);
    EXPECT_EQ(v.origin().y, kH - 220);
    // Zooming out at the far corner cannot keep the point: the view is pushed back into the picture.
    ASSERT_TRUE(v.zoom_by(-1, {kW, kH}, kW, kH));
    expect_inside(v);
    // A picture of another size comes on show.
    v.clamp(200, 300);
    EXPECT_DOUBLE_EQ(v.origin().x, 200 - 200 / v.zoom());
    EXPECT_DOUBLE_EQ(v.origin().y, 300 - 300 / v.zoom());
    // A point outside the picture (the black margin beside it) counts as the nearest edge.
    ViewAdjust w;
    ASSERT_TRUE(w.zoom_by(2, {-50, 440}, kW, kH));
    EXPECT_EQ(w.origin().x, 0);
}

TEST(ViewZoom, CentredOnTheGoalLineAsFarAsThePictureAllows) {
    ViewAdjust v;
    v.zoom_by(4, {0, 0}, kW, kH);
    const ViewAdjust middle = v.centred_on({200, 440}, kW, kH);
    EXPECT_EQ(middle.zoom(), 4.0);
    EXPECT_NEAR(middle.to_view({200, 440}).x, kW / 2.0, 1e-9);
    EXPECT_NEAR(middle.to_view({200, 440}).y, kH / 2.0, 1e-9);
    const ViewAdjust edge = v.centred_on({395, 5}, kW, kH);
    EXPECT_EQ(edge.origin().x, kW - 100);
    EXPECT_EQ(edge.origin().y, 0);
}

TEST(ViewEnhancement, IdentityAtTheDefaultsAndEachKnobMovesTheRightWay) {
    ViewAdjust v;
    EXPECT_FALSE(v.enhanced());
    const ViewLut plain = v.lut();
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(plain[static_cast<std::size_t>(i)], i);

    ViewAdjust bright;
    ASSERT_TRUE(bright.step_brightness(+1));
    ASSERT_TRUE(bright.enhanced());
    EXPECT_EQ(bright.lut()[0], 10);
    EXPECT_EQ(bright.lut()[100], 110);
    EXPECT_EQ(bright.lut()[250], 255); // clamped, not wrapped
    ViewAdjust dark;
    dark.step_brightness(-1);
    EXPECT_EQ(dark.lut()[5], 0);
    EXPECT_EQ(dark.lut()[100], 90);

    ViewAdjust contrast;
    contrast.step_contrast(+5); // 1.5 times around mid-grey
    EXPECT_LT(contrast.lut()[60], 60);
    EXPECT_GT(contrast.lut()[200], 200);
    EXPECT_EQ(contrast.lut()[0], 0);
    EXPECT_EQ(contrast.lut()[255], 255);
    ViewAdjust flat;
    flat.step_contrast(-5); // half
    EXPECT_EQ(flat.lut()[0], 64);
    EXPECT_EQ(flat.lut()[255], 191);

    ViewAdjust gamma;
    gamma.step_gamma(+10); // 2.0: dusk mid-tones lifted, black and white stay
    EXPECT_EQ(gamma.lut()[0], 0);
    EXPECT_EQ(gamma.lut()[64], 128);
    EXPECT_EQ(gamma.lut()[255], 255);
    ViewAdjust low;
    low.step_gamma(-5); // 0.5
    EXPECT_EQ(low.lut()[128], 64);

    // Every table runs from its low end to its high end without a step back.
    for (const ViewAdjust& t : {bright, dark, contrast, flat, gamma, low})
        for (std::size_t i = 1; i < 256; ++i)
            ASSERT_LE(t.lut()[i - 1], t.lut()[i]) << i;
}

TEST(ViewEnhancement, StepsStopAtTheirEndsAndResetClearsZoomAndEnhancement) {
    ViewAdjust v;
    int taken = 0;
    while (v.step_brightness(+1))
        ++taken;
    EXPECT_EQ(taken, 10);
    EXPECT_EQ(v.lut()[0], 100);
    for (int i = 0; i < 40; ++i) {
        v.step_contrast(+1);
        v.step_gamma(-1);
    }
    EXPECT_EQ(v.contrast(), 15);
    EXPECT_EQ(v.gamma(), -5);
    EXPECT_EQ(v.lut()[255], 255);
    v.zoom_by(3, {100, 100}, kW, kH);
    v.reset();
    EXPECT_FALSE(v.enhanced());
    EXPECT_FALSE(v.zoomed());
    EXPECT_EQ(v.origin().x, 0);
}

TEST(ViewEnhancement, TheTableRunsOverPixelBytesButNotRowPadding) {
    ViewAdjust v;
    v.step_brightness(+2);
    // Two rows of two 24-bit pixels, each row padded to 8 bytes.
    std::vector<std::uint8_t> rows{0, 10, 20, 30, 40, 250, 7, 7, 1, 2, 3, 4, 5, 6, 7, 7};
    apply_view_lut(v.lut(), rows.data(), 6, 2, 8);
    EXPECT_EQ(rows, (std::vector<std::uint8_t>{20, 30, 40, 50, 60, 255, 7, 7, 21, 22, 23, 24, 25, 26, 7, 7}));
}

} // namespace
} // namespace veltro
