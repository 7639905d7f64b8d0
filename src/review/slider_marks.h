#pragma once

#include "recording/header_journal.h"
#include "timing/heat_values.h"
#include "timing/result_ranking.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// The marks beside the play slider of the review: where each box's finish time was assigned, and
// where each capture pass of the heat began, so the operator finds the crossings and the start of
// every burst of pictures without scrubbing.
enum class SliderMarkKind { Pass, Box };

struct SliderMark {
    std::int32_t position = 0; // picture number on the play slider
    SliderMarkKind kind = SliderMarkKind::Pass;
    std::int16_t box = 0; // Box marks: 1..6
    Rgb fill;
    // Drawn round the fill so a white mark stays visible on a light slider.
    Rgb outline;
    friend bool operator==(const SliderMark&, const SliderMark&) = default;
};

// Pass marks are a neutral grey, apart from every box colour.
inline constexpr Rgb kPassMarkColour{96, 96, 96};

// The frame numbers (from 1) at which the capture passes recorded in `journal` began, in order,
// within the recording's `frames` counted frames. A later pass that starts at or before an earlier
// one wrote over it (that pass was never counted). Frame 1 always begins a pass: a recording from
// before journals, or one whose journal holds no pass, is one pass from its first picture.
std::vector<std::int32_t> capture_pass_starts(const JournalContents& journal, std::int32_t frames);
// The same from the journal beside `recording`; a journal that cannot be read gives {1}.
std::vector<std::int32_t> capture_pass_starts(const std::string& recording, std::int32_t frames);

// The play position of the first picture of `frame`: in field mode frame k is fields 2k-1 and 2k.
std::int32_t first_picture_of_frame(std::int32_t frame, bool field_mode);

// Every mark of a review showing `pictures` pictures, ordered by position (at one position the pass
// mark first, then the boxes in order): one per capture pass (`pass_starts` as frame numbers), and
// one per timed box whose finish time (a no-time code too) was assigned at a picture, in its tile's
// colours. A value that cannot be read, or a picture outside the slider, gives no mark.
std::vector<SliderMark> slider_marks(const HeatValues& heat, const std::vector<std::int32_t>& pass_starts,
                                     bool field_mode, std::int32_t pictures);

// The nearest mark after / before `position`; marks at the same picture count as one, so a jump
// always moves. std::nullopt when there is none that way.
std::optional<std::int32_t> next_mark(const std::vector<SliderMark>& marks, std::int32_t position);
std::optional<std::int32_t> previous_mark(const std::vector<SliderMark>& marks, std::int32_t position);

} // namespace veltro
