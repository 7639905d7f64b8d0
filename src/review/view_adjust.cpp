#include "review/view_adjust.h"

#include "support/numbers.h"

#include <algorithm>
#include <cmath>

namespace veltro {

namespace {

constexpr int kBrightnessSteps = 10;
constexpr int kBrightnessLevels = 10;
constexpr int kContrastLow = -5;
constexpr int kContrastHigh = 15;
constexpr int kGammaLow = -5;
constexpr int kGammaHigh = 15;

double clamped(double value, double low, double high) {
    return std::max(low, std::min(value, high));
}

bool step_within(int& value, int step, int low, int high) {
    const int next = std::clamp(value + step, low, high);
    if (next == value) {
        return false;
    }
    value = next;
    return true;
}

} // namespace

ViewPoint ViewAdjust::to_view(ViewPoint p) const {
    return {(p.x - origin_.x) * zoom(), (p.y - origin_.y) * zoom()};
}

ViewPoint ViewAdjust::from_view(ViewPoint v) const {
    return {v.x / zoom() + origin_.x, v.y / zoom() + origin_.y};
}

bool ViewAdjust::zoom_by(int steps, ViewPoint fixed, std::int32_t width, std::int32_t height) {
    const auto last = static_cast<long>(kZoomSteps.size()) - 1;
    const auto next = static_cast<std::size_t>(std::clamp(static_cast<long>(step_) + steps, 0L, last));
    if (next == step_ || width <= 0 || height <= 0) {
        return false;
    }
    const double x = clamped(fixed.x, 0, width);
    const double y = clamped(fixed.y, 0, height);
    // The point's place in the view, (p - origin) * zoom, is the same before and after.
    const double ratio = zoom() / kZoomSteps[next];
    origin_ = {x - (x - origin_.x) * ratio, y - (y - origin_.y) * ratio};
    step_ = next;
    clamp(width, height);
    return true;
}

void ViewAdjust::pan_by(double dx, double dy, std::int32_t width, std::int32_t height) {
    origin_.x += dx;
    origin_.y += dy;
    clamp(width, height);
}

void ViewAdjust::clamp(std::int32_t width, std::int32_t height) {
    const double w = std::max(width, 0);
    const double h = std::max(height, 0);
    origin_.x = clamped(origin_.x, 0, w - w / zoom());
    origin_.y = clamped(origin_.y, 0, h - h / zoom());
}

ViewAdjust ViewAdjust::centred_on(ViewPoint centre, std::int32_t width, std::int32_t height) const {
    ViewAdjust centred = *this;
    centred.origin_ = {centre.x - width / zoom() / 2, centre.y - height / zoom() / 2};
    centred.clamp(width, height);
    return centred;
}

bool ViewAdjust::step_brightness(int step) {
    return step_within(brightness_, step, -kBrightnessSteps, kBrightnessSteps);
}

bool ViewAdjust::step_contrast(int step) {
    return step_within(contrast_, step, kContrastLow, kContrastHigh);
}

bool ViewAdjust::step_gamma(int step) {
    return step_within(gamma_, step, kGammaLow, kGammaHigh);
}

ViewLut ViewAdjust::lut() const {
    ViewLut table{};
    const double inverse_gamma = 1.0 / (1.0 + 0.1 * gamma_);
    const double contrast = 1.0 + 0.1 * contrast_;
    const double brightness = static_cast<double>(brightness_) * kBrightnessLevels;
    for (std::size_t v = 0; v < table.size(); ++v) {
        const double curved = 255.0 * std::pow(static_cast<double>(v) / 255.0, inverse_gamma);
        const double value = (curved - 127.5) * contrast + 127.5 + brightness;
        table[v] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(round_half_even(value), 0, 255));
    }
    return table;
}

void apply_view_lut(const ViewLut& lut, std::uint8_t* pixels, std::size_t row_bytes, std::size_t rows,
                    std::size_t stride) {
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* row = pixels + r * stride;
        for (std::size_t i = 0; i < row_bytes; ++i) {
            row[i] = lut[row[i]];
        }
    }
}

} // namespace veltro
