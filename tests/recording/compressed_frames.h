#pragma once

#include "picture/dib_section.h"
#include "picture/jpeg_codec.h"
#include "picture/test_picture.h"
#include "recording/compressed_frame.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace veltro::testing {

// Frame `n` (0-based) of a capture compressed as a capture pass does: test picture n (or one flat
// colour), stamped as CapturedFrames stamps it.
inline CompressedFrame compressed_test_frame(std::int32_t width, std::int32_t height, std::int32_t n,
                                             std::int32_t quality = 80, std::int32_t first_mill = 5000,
                                             bool flat = false) {
    cDIBSection picture;
    picture.Create(width, height);
    if (flat) {
        picture.Fill_with_RGB(0x5A5A5A);
    } else {
        Render_Test_Picture(picture, n);
    }
    CompressedFrame frame;
    // The counter wraps at 2^32 as the PC's does.
    frame.capture_mill = static_cast<std::int32_t>(static_cast<std::uint32_t>(first_mill) +
                                                   40u * static_cast<std::uint32_t>(n));
    frame.capture_delta = 40;
    frame.capture_local = 45000000 + 40 * n;
    frame.quality = static_cast<std::int16_t>(quality);
    frame.jpeg.resize(static_cast<std::size_t>(picture.SizeImage()) + 65536);
    auto size = static_cast<std::int32_t>(frame.jpeg.size());
    JPG_From_DIB(picture, frame.jpeg.data(), size, quality);
    frame.jpeg.resize(static_cast<std::size_t>(size));
    return frame;
}

// Compressed frames held in memory, as a test hands them to the final pass.
class FramesInMemory final : public CompressedFrames {
public:
    std::vector<CompressedFrame> frames;

    FramesInMemory() = default;
    FramesInMemory(std::int32_t width, std::int32_t height, std::int32_t count, std::int32_t quality = 80,
                   std::int32_t first_mill = 5000, bool flat = false) {
        for (std::int32_t n = 0; n < count; ++n)
            frames.push_back(compressed_test_frame(width, height, n, quality, first_mill, flat));
    }
    std::int32_t count() const override { return static_cast<std::int32_t>(frames.size()); }
    std::int32_t largest() const override {
        std::size_t largest = 0;
        for (const auto& f : frames)
            largest = std::max(largest, f.jpeg.size());
        return static_cast<std::int32_t>(largest);
    }
    void read(std::int32_t index, CompressedFrame& frame) const override {
        if (index < 1 || index > count())
            throw VeltroError(err::kSubscriptOutOfRange, "no frame " + std::to_string(index));
        frame = frames[static_cast<std::size_t>(index - 1)];
    }
};

} // namespace veltro::testing
