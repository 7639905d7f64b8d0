#pragma once

#include "picture/dib_section.h"
#include "recording/video_file_handler.h"
#include "review/goal_line.h"
#include "timing/published_results.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// The picture a box's finish time was given on, as the review showed it (a field or a frame, turned
// when the recording is): the recorded pixels, with at most the goal line drawn over them, one pixel
// wide in the goal camera's colour. Captions go beside the picture (Captioned), never on it: the
// decisive pixels are where a caption would be.
struct FinishPicture {
    const PublishedRow* row = nullptr;
    cDIBSection picture;
    std::int16_t picture_number = 0; // the field or frame shown
    bool field = false;
    // Empty when the picture was drawn; else why there is none ("frame 12 cannot be read").
    std::string problem;
};

// One per row of `heat` with a finish time, in finishing order (a time typed in rather than given on a
// picture has none, and says so). `rec` is the heat's recording, open; the picture on show in it
// changes. `goal_line` false leaves the pictures exactly as recorded.
std::vector<FinishPicture> finish_pictures(cls_VideoFile_handler& rec, const PublishedHeat& heat,
                                           bool goal_line);

// Whether prints and published pictures carry the goal line (the operator's choice, on by default).
bool goal_line_on_prints();

// The goal line drawn one pixel wide into `dib` (the pixels it covers, nothing else).
void draw_thin_line(cDIBSection& dib, const Goal_line& line, std::uint32_t bgr);

// `p`'s picture with a band below it, outside the picture, naming the box (its tile), the time, rank,
// dog and the picture shown. The picture's rows come first, unchanged.
cDIBSection captioned(const FinishPicture& p);

// The caption band's lines for a row, beside the box's tile: "26,41  Rank 1" and "Fast Lady".
std::vector<std::string> finish_caption(const PublishedRow& row);

} // namespace veltro
