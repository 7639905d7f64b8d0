#include "capture/led_probe.h"

#include <charconv>

namespace veltro {

namespace {
// Samples kept for the window between two hand-overs: a minute of fields at 60 frames per second.
constexpr std::size_t kMaxWaiting = 7200;
} // namespace

std::optional<LedBox> parse_led_box(const std::string& text) {
    std::int32_t v[4] = {};
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (p == end || *p != ',') {
                return std::nullopt;
            }
            ++p;
        }
        const auto r = std::from_chars(p, end, v[i]);
        if (r.ec != std::errc()) {
            return std::nullopt;
        }
        p = r.ptr;
    }
    const LedBox box{v[0], v[1], v[2], v[3]};
    if (p != end || box.x < 0 || box.y < 0 || box.width < 2 || box.height < 2 || box.width > kMaxLedBoxSide ||
        box.height > kMaxLedBoxSide) {
        return std::nullopt;
    }
    return box;
}

std::string led_box_text(const LedBox& box) {
    return std::to_string(box.x) + "," + std::to_string(box.y) + "," + std::to_string(box.width) + "," +
           std::to_string(box.height);
}

bool led_box_inside(const LedBox& box, std::int32_t width, std::int32_t height) {
    return box.x >= 0 && box.y >= 0 && box.width > 0 && box.height > 0 && box.x <= width - box.width &&
           box.y <= height - box.height;
}

double led_box_level(const cDIBSection& picture, const LedBox& box, int field) {
    std::uint64_t sum = 0;
    std::int64_t pixels = 0;
    const int step = field < 0 ? 1 : 2;
    std::int32_t first = box.y;
    if (field >= 0 && first % 2 != field) {
        ++first;
    }
    for (std::int32_t y = first; y < box.y + box.height; y += step) {
        const std::uint8_t* p = picture.scan_line(y) + 3 * box.x;
        for (std::int32_t i = 0; i < 3 * box.width; ++i) {
            sum += p[i];
        }
        pixels += box.width;
    }
    return pixels > 0 ? static_cast<double>(sum) / static_cast<double>(pixels) : 0.0;
}

LedProbe::LedProbe(LedBox box, bool interlaced) : box_(box), interlaced_(interlaced) {
    samples_.reserve(kMaxWaiting);
}

void LedProbe::take(const cDIBSection& picture, std::uint32_t arrival) {
    if (!led_box_inside(box_, picture.Width(), picture.Height())) {
        return;
    }
    LedSample first{arrival, false, led_box_level(picture, box_, interlaced_ ? 0 : -1)};
    LedSample second{arrival, true, interlaced_ ? led_box_level(picture, box_, 1) : 0.0};
    std::lock_guard lock(mutex_);
    // A window that stopped listening must not make the capture thread allocate without end.
    if (samples_.size() + 2 > kMaxWaiting) {
        return;
    }
    samples_.push_back(first);
    if (interlaced_) {
        samples_.push_back(second);
    }
}

std::vector<LedSample> LedProbe::take_samples() {
    std::vector<LedSample> out;
    out.reserve(kMaxWaiting);
    std::lock_guard lock(mutex_);
    out.swap(samples_);
    return out;
}

} // namespace veltro
