#pragma once

#include <cstdint>
#include <vector>

namespace veltro {

// A picture compressed for a sample record whose data area holds `data_size` bytes.
struct FittedStream {
    std::int32_t size = 0;    // bytes of the stream at the start of the buffer (data_size when cut)
    std::int32_t quality = 0; // the quality of the stream kept
    bool cut = false;         // too large even at quality 1: only its first data_size bytes are kept
    std::int32_t largest = 0; // largest and smallest stream of all the compressions tried
    std::int32_t smallest = 0;
    // Kept below the start quality, or cut.
    bool reduced(std::int32_t start_quality) const { return cut || quality != start_quality; }
};

// Compresses the bottom-up picture at `start_quality` into `out` (grown, never shrunk, to room for the
// picture's stream so it can be reused frame after frame). While the stream is larger than
// `data_size`, compresses again at the next lower quality (px3::next_lower_quality); at quality 1 a
// stream still too large is cut to `data_size`. `data_size` 0 means no limit: one compression.
// Fails as jpg_from_pixels does (VeltroError 26001).
FittedStream compress_to_fit(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                             std::int32_t stride, std::int32_t start_quality, std::int32_t data_size,
                             std::vector<std::uint8_t>& out);

} // namespace veltro
