#include "review/slider_marks.h"

#include "support/files.h"
#include "support/veltro_error.h"

#include <algorithm>

namespace veltro {

namespace {

constexpr Rgb kWhite{255, 255, 255};

SliderMark box_mark(std::int32_t position, std::int16_t box) {
    SliderMark mark;
    mark.position = position;
    mark.kind = SliderMarkKind::Box;
    mark.box = box;
    const std::optional<BoxTile> tile = box_tile_colours(box);
    mark.fill = tile ? tile->background : kPassMarkColour;
    // A white number would vanish round the mark; the tile's dark or coloured number outlines it.
    mark.outline = tile && !(tile->number == kWhite) ? tile->number : mark.fill;
    return mark;
}

} // namespace

std::vector<std::int32_t> capture_pass_starts(const JournalContents& journal, std::int32_t frames) {
    std::vector<std::int32_t> starts;
    for (const JournalEntry& e : journal.entries) {
        if (e.kind != JournalKind::Frames) {
            continue;
        }
        const auto pass = decode_frames_payload(e.payload);
        if (!pass || pass->first < 1) {
            continue;
        }
        std::erase_if(starts, [&](std::int32_t s) { return s >= pass->first; });
        starts.push_back(pass->first);
    }
    std::erase_if(starts, [&](std::int32_t s) { return s > frames; });
    if (starts.empty() || starts.front() != 1) {
        starts.insert(starts.begin(), 1);
    }
    return starts;
}

std::vector<std::int32_t> capture_pass_starts(const std::string& recording, std::int32_t frames) {
    const std::optional<std::string> bytes = read_whole_file(journal_path(recording));
    if (!bytes) {
        return {1};
    }
    return capture_pass_starts(decode_journal(*bytes), frames);
}

std::int32_t first_picture_of_frame(std::int32_t frame, bool field_mode) {
    return field_mode ? 2 * frame - 1 : frame;
}

std::vector<SliderMark> slider_marks(const HeatValues& heat, const std::vector<std::int32_t>& pass_starts,
                                     bool field_mode, std::int32_t pictures) {
    std::vector<SliderMark> marks;
    for (const std::int32_t frame : pass_starts) {
        const std::int32_t picture = first_picture_of_frame(frame, field_mode);
        if (picture >= 1 && picture <= pictures) {
            marks.push_back({picture, SliderMarkKind::Pass, 0, kPassMarkColour, kPassMarkColour});
        }
    }
    for (std::int16_t box = 1; box <= kTimedBoxes; ++box) {
        try {
            const std::int16_t picture = heat.Velt_heat_frame(box);
            if (picture >= 1 && picture <= pictures && heat.Velt_Heat_time(box, false) != 0) {
                marks.push_back(box_mark(picture, box));
            }
        } catch (const VeltroError&) {
            // A box value the header cannot give shows no mark; the results window says the rest.
        }
    }
    std::stable_sort(marks.begin(), marks.end(),
                     [](const SliderMark& a, const SliderMark& b) { return a.position < b.position; });
    return marks;
}

std::optional<std::int32_t> next_mark(const std::vector<SliderMark>& marks, std::int32_t position) {
    std::optional<std::int32_t> next;
    for (const SliderMark& m : marks) {
        if (m.position > position && (!next || m.position < *next)) {
            next = m.position;
        }
    }
    return next;
}

std::optional<std::int32_t> previous_mark(const std::vector<SliderMark>& marks, std::int32_t position) {
    std::optional<std::int32_t> previous;
    for (const SliderMark& m : marks) {
        if (m.position < position && (!previous || m.position > *previous)) {
            previous = m.position;
        }
    }
    return previous;
}

} // namespace veltro
