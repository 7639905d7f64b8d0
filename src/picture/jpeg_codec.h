#pragma once

#include "picture/dib_section.h"

#include <cstdint>
#include <optional>

namespace veltro {

// The single JPEG layer of the program. Pictures are 24-bit bottom-up blue-green-red rows with
// padding; qualities run from 1 to 100.

// Compresses the section into `out` (capacity `out_size` bytes). On success stores the stream
// length in `out_size` and returns true. Fails with error 26001 "Failed to save to JPG ..." (the
// size argument unchanged) for an empty section, a quality outside 1..100 or a buffer too small.
bool JPG_From_DIB(const cDIBSection& dib, std::uint8_t* out, std::int32_t& out_size, std::int32_t quality);

// The same from raw bottom-up rows of `stride` bytes (at least width x 3), so that captured frames
// compress without a copy into a section first.
bool jpg_from_pixels(const std::uint8_t* pixels, std::int32_t width, std::int32_t height, std::int32_t stride,
                     std::uint8_t* out, std::int32_t& out_size, std::int32_t quality);

// Decodes `length` bytes of JPEG stream into the section, re-created at the stream's size (3
// channels also for a grey stream). A stream whose header cannot be read shows "Failed to read JPG"
// and returns false; a truncated or corrupt picture returns false. Never reads outside the stream.
bool DIB_From_JPG(cDIBSection& dib, const std::uint8_t* jpg, std::int32_t length);

// What the stream header says, without decoding; std::nullopt when it is no readable JPEG header.
struct JpegHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool grey = false;
};
std::optional<JpegHeader> read_jpg_header(const std::uint8_t* jpg, std::int32_t length);

} // namespace veltro
