#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace veltro {

// The zoom steps of the review picture, from the whole picture to eight times.
inline constexpr std::array<double, 7> kZoomSteps{1.0, 1.5, 2.0, 3.0, 4.0, 6.0, 8.0};
// From this zoom on pixels are drawn as blocks: smoothing would smear the edge of the nose that the
// judge zoomed in to see.
inline constexpr double kNearestPixelZoom = 2.0;

// A point in picture pixels (fractions allowed: the mouse lies between pixel centres).
struct ViewPoint {
    double x = 0;
    double y = 0;
};

// One table for every colour channel: value in the picture -> value shown.
using ViewLut = std::array<std::uint8_t, 256>;

// How the operator looks at the review picture: the zoom, the part of the picture in view, and the
// brightness, contrast and gamma for floodlit or dusk pictures. Display only: the recording is never
// changed. Sizes are the picture's in pixels; the view always lies inside the picture.
class ViewAdjust {
public:
    // ---- Zoom and pan ----
    std::size_t zoom_step() const { return step_; }
    double zoom() const { return kZoomSteps[step_]; }
    bool zoomed() const { return step_ > 0; }
    // The picture point at the top left of the view; the view reaches width / zoom by height / zoom
    // from there.
    ViewPoint origin() const { return origin_; }
    // Where picture point `p` lies in the whole-picture frame the window shows at 1x:
    // (p - origin) * zoom. from_view is the way back.
    ViewPoint to_view(ViewPoint p) const;
    ViewPoint from_view(ViewPoint v) const;
    // `steps` zoom steps in (positive) or out, keeping picture point `fixed` where it is shown; a point
    // outside the picture counts as the nearest point of its edge. Zooming in always keeps it; zooming
    // out near an edge may move it, as the view stays inside the picture. False when already at the
    // end of the steps (nothing changes).
    bool zoom_by(int steps, ViewPoint fixed, std::int32_t width, std::int32_t height);
    // Moves the view by (dx, dy) picture pixels, as far as the picture reaches.
    void pan_by(double dx, double dy, std::int32_t width, std::int32_t height);
    // Brings the view back inside a picture of this size (one of another size came on show).
    void clamp(std::int32_t width, std::int32_t height);
    // The same zoom and enhancement with `centre` in the middle of the view, as far as the picture
    // allows.
    ViewAdjust centred_on(ViewPoint centre, std::int32_t width, std::int32_t height) const;

    // ---- Enhancement, in steps from the picture as recorded (0) ----
    // Brightness: 10 levels added per step, -10 .. +10.
    int brightness() const { return brightness_; }
    // Contrast around mid-grey: 10 % per step, -5 (half) .. +15 (two and a half times).
    int contrast() const { return contrast_; }
    // Gamma: 0.1 per step, -5 (0.5, darker mid-tones) .. +15 (2.5, lighter mid-tones).
    int gamma() const { return gamma_; }
    // One step up (+1) or down (-1). False at the end of the range (nothing changes).
    bool step_brightness(int step);
    bool step_contrast(int step);
    bool step_gamma(int step);
    // True when the table changes any value.
    bool enhanced() const { return brightness_ != 0 || contrast_ != 0 || gamma_ != 0; }
    // The table of the enhancement: gamma first, then contrast, then brightness, clamped to 0..255.
    ViewLut lut() const;

    // The whole picture as recorded.
    void reset() { *this = ViewAdjust(); }

private:
    std::size_t step_ = 0;
    ViewPoint origin_;
    int brightness_ = 0;
    int contrast_ = 0;
    int gamma_ = 0;
};

// Runs every byte of `rows` rows of `row_bytes` bytes each, `stride` bytes apart, through the table:
// 24-bit pixels in any channel order (a 32-bit picture's alpha must not go through it).
void apply_view_lut(const ViewLut& lut, std::uint8_t* pixels, std::size_t row_bytes, std::size_t rows,
                    std::size_t stride);

} // namespace veltro
