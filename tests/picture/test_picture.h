#pragma once

#include "picture/dib_section.h"
#include "picture/video_buffer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace veltro {

// Draws a finish-line scene into the section (which keeps its size): a graded track with lane
// lines, grain, a vertical finish line and six coloured blobs whose places depend on `frame`. It
// compresses like real camera pictures do, unlike flat colours, so tests and benchmarks of the JPEG
// and recording paths measure something true. Deterministic for a given size and frame.
void Render_Test_Picture(cDIBSection& dib, std::int32_t frame);

// Captured frames as the capture side hands them over: test pictures first_picture, first_picture + 1,
// ..., stamped 40 ms apart from first_mill. The pictures are kept for comparison.
struct CapturedFrames {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::unique_ptr<CVideobuff_RGB>> frames;
    std::vector<cDIBSection> pictures;

    CapturedFrames(std::int32_t w, std::int32_t h, std::int32_t count, std::int32_t first_mill = 5000,
                   std::int32_t first_picture = 0);
    FrameAt at() const {
        return [this](std::int32_t index) -> const CVideobuff_RGB& { return *frames.at(index - 1); };
    }
    std::int32_t count() const { return static_cast<std::int32_t>(frames.size()); }
};

} // namespace veltro
