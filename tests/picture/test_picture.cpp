#include "picture/test_picture.h"

#include <cstdint>

namespace veltro {

namespace {

// Box colours in blue, green, red order: red, blue, white, black, orange, black and white.
constexpr std::uint8_t kBlobColours[6][3] = {{40, 40, 220}, {200, 80, 30},  {235, 235, 235},
                                             {20, 20, 20},  {20, 140, 245}, {120, 120, 120}};

std::uint32_t grain(std::uint32_t x, std::uint32_t y, std::uint32_t frame) {
    std::uint32_t h = x * 374761393u + y * 668265263u + frame * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

} // namespace

void Render_Test_Picture(cDIBSection& dib, std::int32_t frame) {
    const std::int32_t w = dib.Width();
    const std::int32_t h = dib.Height();
    if (dib.empty()) {
        return;
    }
    const std::int32_t finish_x = w / 2;
    const std::int32_t lane_height = h / 6 > 0 ? h / 6 : 1;
    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* row = dib.scan_line(y);
        const std::int32_t lane = y / lane_height;
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint32_t n = grain(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                          static_cast<std::uint32_t>(frame)) &
                                    31u;
            // Sand-coloured track, darker towards the bottom, with grain.
            int b = 70 + (y * 40) / h + static_cast<int>(n);
            int g = 110 + (y * 50) / h + static_cast<int>(n);
            int r = 150 + (y * 60) / h + static_cast<int>(n);
            if (y % lane_height < 2) {
                b = g = r = 230; // lane line
            }
            if (x >= finish_x - 1 && x <= finish_x + 1) {
                b = g = r = 250; // finish line
            }
            // One blob per lane, moving right with the frame number at a lane-dependent speed.
            const std::int32_t cx = (frame * (3 + lane) + lane * 37) % (w + 60) - 30;
            const std::int32_t cy = lane * lane_height + lane_height / 2;
            const std::int64_t dx = x - cx;
            const std::int64_t dy = y - cy;
            const std::int64_t rx = w / 10 + 4;
            const std::int64_t ry = lane_height / 3 + 2;
            if (lane < 6 && dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry) {
                b = kBlobColours[lane][0] + static_cast<int>(n / 2);
                g = kBlobColours[lane][1] + static_cast<int>(n / 2);
                r = kBlobColours[lane][2] + static_cast<int>(n / 2);
            }
            row[3 * x] = static_cast<std::uint8_t>(b > 255 ? 255 : b);
            row[3 * x + 1] = static_cast<std::uint8_t>(g > 255 ? 255 : g);
            row[3 * x + 2] = static_cast<std::uint8_t>(r > 255 ? 255 : r);
        }
    }
}

CapturedFrames::CapturedFrames(std::int32_t w, std::int32_t h, std::int32_t count, std::int32_t first_mill,
                               std::int32_t first_picture)
    : width(w), height(h) {
    for (std::int32_t i = 0; i < count; ++i) {
        cDIBSection pic;
        pic.Create(w, h);
        Render_Test_Picture(pic, first_picture + i);
        auto f = std::make_unique<CVideobuff_RGB>();
        f->RGB_Length(pic.SizeImage());
        f->FillData_RGB(pic.DIBSectionBitsPtr());
        f->PutTimestamp(first_mill + 40 * i, 45000000 + 40 * i, 40);
        frames.push_back(std::move(f));
        pictures.push_back(std::move(pic));
    }
}

} // namespace veltro
