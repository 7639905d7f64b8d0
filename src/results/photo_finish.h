#pragma once

#include "picture/dib_section.h"
#include "recording/finish_strip.h"
#include "timing/finish_estimate.h"
#include "timing/published_results.h"

#include <cstdint>
#include <vector>

namespace veltro {

// The photo finish: the finish strip with its time scale, and below the scale a band with a tick in
// the box's colour and a label (box and time) for every box whose finish time was given on a
// picture, at the middle of that picture's column. Nothing is drawn over the strip's pixels.
inline constexpr std::int32_t kPhotoFinishBandHeight = 48;

struct PhotoFinishTick {
    std::int16_t box = 0;
    std::int32_t x = 0; // the tick's column in the image
};

struct PhotoFinish {
    cDIBSection image;
    std::vector<PhotoFinishTick> ticks; // in finishing order
};

// `strip` must be the recording's of `heat` (finish pictures are play positions in it). Boxes whose
// picture lies outside the strip get no tick.
PhotoFinish photo_finish_of(const FinishStrip& strip, const PublishedHeat& heat);

class cls_VideoFile_handler;
// The strip options of the recording open in `rec` as its review would show it: its stored goal (or
// split) line, else the line a reset draws; its own goal compensation; the camera's colour.
FinishStripOptions recorded_strip_options(cls_VideoFile_handler& rec, bool split);
// The estimated crossings of `rec` (open, at `path`) against its own goal line and goal compensation,
// as a reader away from the window sees them; none where the pictures cannot be read for them.
BoxEstimates recorded_estimates(cls_VideoFile_handler& rec, const std::string& path);

} // namespace veltro
