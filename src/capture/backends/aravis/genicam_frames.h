#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace veltro {

// The GenICam pixel formats the Aravis back end takes (their standard codes).
namespace genicam {
inline constexpr std::uint32_t kMono8 = 0x01080001;
inline constexpr std::uint32_t kBayerGR8 = 0x01080008;
inline constexpr std::uint32_t kBayerRG8 = 0x01080009;
inline constexpr std::uint32_t kBayerGB8 = 0x0108000A;
inline constexpr std::uint32_t kBayerBG8 = 0x0108000B;
inline constexpr std::uint32_t kRGB8 = 0x02180014;
inline constexpr std::uint32_t kBGR8 = 0x02180015;
} // namespace genicam

// Whether the back end can turn pictures of `pixel_format` into the program's rows.
bool genicam_format_supported(std::uint32_t pixel_format);
// The one format a camera is run in, of those it offers: colour first (BGR8, RGB8, then an 8-bit
// Bayer pattern), else Mono8; none when it offers none of them.
std::optional<std::uint32_t> genicam_preferred_format(const std::vector<std::uint32_t>& offered);

// Turns one picture of `width` x `height` pixels, its rows top-down and packed as GenICam sends them,
// into 24-bit bottom-up BGR rows padded to 4 bytes at `dst`. Bayer pictures get each 2 x 2 cell's red,
// blue and mean green (cheap and sharp enough for a finish line). False when `size` cannot hold the
// picture or the format is not taken; `dst` is then untouched.
bool genicam_to_bottom_up_bgr(std::uint32_t pixel_format, const std::uint8_t* src, std::size_t size,
                              std::int32_t width, std::int32_t height, std::uint8_t* dst);

// The rates offered for a camera whose frame rate may lie in min_fps..max_fps: the standard rates
// from 25 to 240 in range, and the maximum itself when it lies below 240 and is none of them.
std::vector<double> genicam_offered_rates(double min_fps, double max_fps);

// Puts a camera's frame stamps on the monotonic clock. The camera counts on its own clock from its own
// zero; the offset between the two is fixed at the first frame (its host arrival), so that the
// frames keep the camera's spacing rather than the host's. Two quartz clocks drift apart (tens of
// parts per million, a tenth of a second in an hour of live picture), so the offset then follows the
// host: down at once to a frame that arrives sooner after its camera stamp than the offset says (the
// transfer took less), up by at most kMaxDriftPpm of the camera's time. A frame without a camera stamp
// keeps its arrival; a camera stamp that goes back or strays more than a second from the arrival
// (the camera was reset) fixes the offset again.
class CameraStampMap {
public:
    static constexpr std::int64_t kMaxDriftPpm = 500;

    // `camera_ns`: the camera's stamp, 0 for none. `arrival_ns`: the host arrival on CLOCK_MONOTONIC.
    std::int64_t monotonic_ns(std::uint64_t camera_ns, std::int64_t arrival_ns);
    void reset() { offset_.reset(); }

private:
    std::optional<std::int64_t> offset_;
    std::uint64_t last_camera_ns_ = 0;
};

} // namespace veltro
