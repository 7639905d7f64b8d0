#include "capture/backends/aravis/genicam_frames.h"

#include "picture/dib_section.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace veltro {

namespace {

constexpr std::int64_t kMaxStrayNs = 1000000000;

// Which of a 2 x 2 cell's positions (row * 2 + column) holds red and which blue.
struct BayerSites {
    int red;
    int blue;
};

std::optional<BayerSites> bayer_sites(std::uint32_t pixel_format) {
    switch (pixel_format) {
    case genicam::kBayerRG8:
        return BayerSites{0, 3};
    case genicam::kBayerGR8:
        return BayerSites{1, 2};
    case genicam::kBayerGB8:
        return BayerSites{2, 1};
    case genicam::kBayerBG8:
        return BayerSites{3, 0};
    default:
        return std::nullopt;
    }
}

// One 2 x 2 cell's colour into the pixels of columns x..x1 of both output rows.
void bayer_cell(BayerSites sites, const std::uint8_t* const rows[2], std::int32_t x, std::int32_t x1,
                std::uint8_t* out0, std::uint8_t* out1) {
    const std::array<int, 4> cell{rows[0][x], rows[0][x1], rows[1][x], rows[1][x1]};
    // The greens sit on the other diagonal: beside red and beside blue in their rows.
    const int green =
        (cell[static_cast<std::size_t>(sites.red ^ 1)] + cell[static_cast<std::size_t>(sites.blue ^ 1)] + 1) /
        2;
    const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(cell[static_cast<std::size_t>(sites.blue)]),
                                 static_cast<std::uint8_t>(green),
                                 static_cast<std::uint8_t>(cell[static_cast<std::size_t>(sites.red)])};
    for (std::int32_t xi = x; xi <= x1; ++xi) {
        std::memcpy(out0 + static_cast<std::size_t>(xi) * 3, bgr, 3);
        std::memcpy(out1 + static_cast<std::size_t>(xi) * 3, bgr, 3);
    }
}

void bayer_to_bgr(BayerSites sites, const std::uint8_t* src, std::int32_t width, std::int32_t height,
                  std::uint8_t* dst, std::int32_t dst_stride) {
    for (std::int32_t y = 0; y < height; y += 2) {
        const std::int32_t y1 = std::min(y + 1, height - 1);
        const std::uint8_t* const rows[2] = {src + static_cast<std::size_t>(y) * width,
                                             src + static_cast<std::size_t>(y1) * width};
        std::uint8_t* out0 = dst + static_cast<std::size_t>(height - 1 - y) * dst_stride;
        std::uint8_t* out1 = dst + static_cast<std::size_t>(height - 1 - y1) * dst_stride;
        // Whole cells: each site read straight from its row and column.
        auto site = [&](int at) { return rows[at >> 1] + (at & 1); };
        const std::uint8_t* red = site(sites.red);
        const std::uint8_t* blue = site(sites.blue);
        const std::uint8_t* green_a = site(sites.red ^ 1);
        const std::uint8_t* green_b = site(sites.blue ^ 1);
        std::int32_t x = 0;
        for (; x + 1 < width; x += 2) {
            const std::uint8_t b = blue[x];
            const auto g = static_cast<std::uint8_t>((green_a[x] + green_b[x] + 1) >> 1);
            const std::uint8_t r = red[x];
            std::uint8_t* p = out0 + static_cast<std::size_t>(x) * 3;
            std::uint8_t* q = out1 + static_cast<std::size_t>(x) * 3;
            p[0] = q[0] = p[3] = q[3] = b;
            p[1] = q[1] = p[4] = q[4] = g;
            p[2] = q[2] = p[5] = q[5] = r;
        }
        if (x < width) {
            bayer_cell(sites, rows, x, x, out0, out1); // an odd last column: its cell is cut off
        }
    }
}

} // namespace

bool genicam_format_supported(std::uint32_t pixel_format) {
    return pixel_format == genicam::kMono8 || pixel_format == genicam::kRGB8 ||
           pixel_format == genicam::kBGR8 || bayer_sites(pixel_format).has_value();
}

std::optional<std::uint32_t> genicam_preferred_format(const std::vector<std::uint32_t>& offered) {
    auto has = [&](std::uint32_t f) { return std::find(offered.begin(), offered.end(), f) != offered.end(); };
    for (std::uint32_t f : {genicam::kBGR8, genicam::kRGB8, genicam::kBayerRG8, genicam::kBayerGR8,
                            genicam::kBayerGB8, genicam::kBayerBG8, genicam::kMono8}) {
        if (has(f)) {
            return f;
        }
    }
    return std::nullopt;
}

bool genicam_to_bottom_up_bgr(std::uint32_t pixel_format, const std::uint8_t* src, std::size_t size,
                              std::int32_t width, std::int32_t height, std::uint8_t* dst) {
    if (width <= 0 || height <= 0 || !genicam_format_supported(pixel_format)) {
        return false;
    }
    const bool packed = pixel_format == genicam::kRGB8 || pixel_format == genicam::kBGR8;
    const std::size_t src_stride = static_cast<std::size_t>(width) * (packed ? 3 : 1);
    if (size < src_stride * static_cast<std::size_t>(height)) {
        return false;
    }
    const std::int32_t dst_stride = cDIBSection::bytes_per_scan_line(width);
    const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
    if (const auto sites = bayer_sites(pixel_format)) {
        bayer_to_bgr(*sites, src, width, height, dst, dst_stride);
    } else {
        for (std::int32_t y = 0; y < height; ++y) {
            const std::uint8_t* in = src + static_cast<std::size_t>(y) * src_stride;
            std::uint8_t* out = dst + static_cast<std::size_t>(height - 1 - y) * dst_stride;
            if (pixel_format == genicam::kBGR8) {
                std::memcpy(out, in, row_bytes);
            } else if (pixel_format == genicam::kRGB8) {
                for (std::size_t i = 0; i < row_bytes; i += 3) {
                    out[i] = in[i + 2];
                    out[i + 1] = in[i + 1];
                    out[i + 2] = in[i];
                }
            } else {
                // Four bytes a pixel, the fourth overwritten by the next pixel; the last one on its own,
                // as its fourth byte would land in the row after it.
                const auto last = static_cast<std::size_t>(width) - 1;
                for (std::size_t x = 0; x < last; ++x) {
                    const std::uint32_t grey = in[x] * 0x010101u;
                    std::memcpy(out + 3 * x, &grey, 4);
                }
                out[3 * last] = out[3 * last + 1] = out[3 * last + 2] = in[last];
            }
        }
    }
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* out = dst + static_cast<std::size_t>(y) * dst_stride;
        std::memset(out + row_bytes, 0, static_cast<std::size_t>(dst_stride) - row_bytes);
    }
    return true;
}

std::vector<double> genicam_offered_rates(double min_fps, double max_fps) {
    std::vector<double> rates;
    for (double r : {25.0, 30.0, 50.0, 60.0, 100.0, 120.0, 200.0, 240.0}) {
        if (r >= min_fps && r <= max_fps) {
            rates.push_back(r);
        }
    }
    if (max_fps < 240 && max_fps > 0 && std::find(rates.begin(), rates.end(), max_fps) == rates.end()) {
        rates.push_back(max_fps);
    }
    return rates;
}

std::int64_t CameraStampMap::monotonic_ns(std::uint64_t camera_ns, std::int64_t arrival_ns) {
    if (camera_ns == 0) {
        return arrival_ns;
    }
    const auto camera = static_cast<std::int64_t>(camera_ns & 0x7fffffffffffffffULL);
    const std::int64_t seen = arrival_ns - camera;
    if (!offset_ || camera_ns < last_camera_ns_ || std::llabs(camera + *offset_ - arrival_ns) > kMaxStrayNs) {
        offset_ = seen;
    } else {
        const auto since = static_cast<std::int64_t>(camera_ns - last_camera_ns_);
        offset_ = std::min(seen, *offset_ + since / 1000000 * kMaxDriftPpm +
                                     since % 1000000 * kMaxDriftPpm / 1000000);
    }
    last_camera_ns_ = camera_ns;
    return camera + *offset_;
}

} // namespace veltro
