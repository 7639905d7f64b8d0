#pragma once

#include "picture/dib_section.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// A line in the review picture's pixels (as drawn: turned when the recording is stored rotated).
struct StripLine {
    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct FinishStripOptions {
    StripLine line;                       // the camera's goal line as drawn in the review
    std::int32_t column_width = 4;        // pixels per picture, 1..64
    std::int32_t goal_compensation = 200; // ms, subtracted from picture times as the review does
    std::uint32_t line_colour = 0x80FF80; // 0xBBGGRR, the scale's marks
};

// The whole finish in one picture: the pixels along the goal line of every picture the review steps
// through (every field in field mode, every frame in frame mode), side by side in time order, each
// picture widened to column_width pixels, with a time scale below them.
struct FinishStrip {
    cDIBSection image;             // the line pixels with the time-scale band below them
    std::int32_t strip_height = 0; // rows of line pixels above the scale band
    std::int32_t column_width = 4;
    bool field_mode = true;
    // Heat time of each picture (index 0 = play position 1); std::nullopt when the heat was never
    // started or the picture could not be read (its column is mid grey).
    std::vector<std::optional<std::int32_t>> times;

    std::int32_t pictures() const { return static_cast<std::int32_t>(times.size()); }
    // Play position (1-based) of strip column x, kept within 1..pictures() (0 for an empty strip).
    std::int16_t picture_at(std::int32_t x) const;
    // Left column of the picture at that play position, kept within the strip.
    std::int32_t column_of(std::int16_t position) const;
};

// Rows of the time-scale band below the line pixels.
inline constexpr std::int32_t kStripScaleHeight = 30;
// The colour of a picture that cannot be read (0xBBGGRR).
inline constexpr std::uint32_t kStripUnreadableColour = 0x808080;

// Builds the strip of the recording at `path`, reading the file on its own descriptor: it may run on
// any thread while the recording is under review elsewhere, and writes nothing, tells nobody. The
// line runs from its upper end (the left end of a line nearer the horizontal) down the strip, one
// row per pixel step along its longer axis; its ends are kept inside the picture. Pictures are
// decoded only in the band around the line, on two threads. Throws VeltroError for a file that
// cannot be read as a recording with pictures, and for a column width outside 1..64. `cancel` (may
// be null) is polled between pictures; once it is true the function returns an empty strip.
// `progress` (may be empty) gets 0..100, always on the calling thread.
FinishStrip build_finish_strip(const std::string& path, const FinishStripOptions& options,
                               const std::atomic<bool>* cancel = nullptr,
                               const std::function<void(int)>& progress = {});

} // namespace veltro
