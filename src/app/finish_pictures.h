#pragma once

#include "picture/dib_section.h"
#include "recording/video_file_handler.h"
#include "timing/published_results.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// The picture a box's finish time was given on, as the review showed it (a field or a frame, turned
// when the recording is), with the goal line drawn in the goal camera's colour and a band at the
// foot naming the box, its rank, dog and time: evidence that stands on its own.
struct Finish_picture {
    const Published_row* row = nullptr;
    cDIBSection picture;
    // Empty when the picture was drawn; else why there is none ("frame 12 cannot be read").
    std::string problem;
};

// One per row of `heat` with a finish time, in finishing order (a time typed in rather than given on a
// picture has none, and says so). `rec` is the
// heat's recording, open; the picture on show in it changes.
std::vector<Finish_picture> Finish_pictures(cls_VideoFile_handler& rec, const Published_heat& heat);

// The caption band's lines for a row, beside the box's tile: "26,41  Rank 1" and "Fast Lady".
std::vector<std::string> Finish_caption(const Published_row& row);

// A copy of `picture` scaled down (area average) to at most `max_width` x `max_height`, sides kept in
// proportion; a picture already inside is copied as it is.
cDIBSection Scaled_down(const cDIBSection& picture, std::int32_t max_width, std::int32_t max_height);

} // namespace veltro
