#include "capture/backends/v4l2/v4l2_controls.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <linux/videodev2.h>

namespace veltro {

namespace {

constexpr double kExposureStepUs = 100; // V4L2_CID_EXPOSURE_ABSOLUTE counts in 100 µs

int retry(V4L2Io& io, int fd, unsigned long request, void* arg) {
    int r = 0;
    do {
        r = io.ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

std::optional<v4l2_queryctrl> query(V4L2Io& io, int fd, std::uint32_t id) {
    v4l2_queryctrl q{};
    q.id = id;
    if (retry(io, fd, VIDIOC_QUERYCTRL, &q) < 0 || (q.flags & V4L2_CTRL_FLAG_DISABLED) != 0 ||
        q.type != V4L2_CTRL_TYPE_INTEGER) {
        return std::nullopt;
    }
    return q;
}

std::optional<v4l2_queryctrl> gain_control(V4L2Io& io, int fd) {
    if (auto q = query(io, fd, V4L2_CID_GAIN)) {
        return q;
    }
    return query(io, fd, V4L2_CID_ANALOGUE_GAIN);
}

std::optional<std::int32_t> get(V4L2Io& io, int fd, std::uint32_t id) {
    v4l2_control c{};
    c.id = id;
    if (retry(io, fd, VIDIOC_G_CTRL, &c) < 0) {
        return std::nullopt;
    }
    return c.value;
}

bool set(V4L2Io& io, int fd, std::uint32_t id, std::int32_t value) {
    v4l2_control c{};
    c.id = id;
    c.value = value;
    return retry(io, fd, VIDIOC_S_CTRL, &c) == 0;
}

std::int32_t within(const v4l2_queryctrl& q, double value) {
    return static_cast<std::int32_t>(std::clamp<double>(std::llround(value), static_cast<double>(q.minimum),
                                                        static_cast<double>(q.maximum)));
}

} // namespace

std::optional<ControlRange> v4l2_query_control(V4L2Io& io, int fd, ControlKind kind) {
    const auto q =
        kind == ControlKind::Exposure ? query(io, fd, V4L2_CID_EXPOSURE_ABSOLUTE) : gain_control(io, fd);
    if (!q) {
        return std::nullopt;
    }
    const double scale = kind == ControlKind::Exposure ? kExposureStepUs : 1;
    const std::int32_t value = get(io, fd, q->id).value_or(q->default_value);
    return ControlRange{q->minimum * scale, q->maximum * scale, value * scale,
                        kind == ControlKind::Exposure ? "µs" : ""};
}

std::string v4l2_apply_controls(V4L2Io& io, int fd, const ControlChoice& choice, std::string& error) {
    error.clear();
    std::optional<double> exposure;
    std::optional<double> gain;
    if (const auto q = choice.exposure_us ? query(io, fd, V4L2_CID_EXPOSURE_ABSOLUTE) : std::nullopt) {
        // A device without automatic exposure refuses the mode; the time is what counts.
        set(io, fd, V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL);
        if (!set(io, fd, q->id, within(*q, *choice.exposure_us / kExposureStepUs))) {
            error = std::string("Cannot set the exposure time: ") + std::strerror(errno);
            return {};
        }
        exposure =
            get(io, fd, q->id).value_or(within(*q, *choice.exposure_us / kExposureStepUs)) * kExposureStepUs;
    }
    if (const auto q = choice.gain ? gain_control(io, fd) : std::nullopt) {
        set(io, fd, V4L2_CID_AUTOGAIN, 0);
        if (!set(io, fd, q->id, within(*q, *choice.gain))) {
            error = std::string("Cannot set the gain: ") + std::strerror(errno);
            return {};
        }
        gain = get(io, fd, q->id).value_or(within(*q, *choice.gain));
    }
    return controls_text(exposure, gain, "");
}

} // namespace veltro
