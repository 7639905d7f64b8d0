#pragma once

#include "picture/dib_section.h"
#include "review/goal_line.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// Whether the finish camera has moved between two heats, told from the picture around the goal line.
//
// The band around the line (kShiftBandHalf columns either side of it, over the line's height) is
// boiled down to two edge profiles: for each column the brightness steps across it summed down the
// band (the finish line, posts, the clock's edges), and for each row the steps across it summed along
// the band (rail, lane markings). A shift of the scene shifts these profiles; the shift is the offset,
// within kShiftSearch pixels either way, at which the live profile matches the reference best
// (normalised correlation, refined to a tenth of a pixel). Summing over the whole band keeps a dog or
// two in it and the sensor's noise from moving the answer, and the correlation ignores a change of
// light. A band without edges, or a live picture that matches nowhere, is "cannot tell", never a guess.

// Columns of the band either side of the goal line.
inline constexpr std::int32_t kShiftBandHalf = 96;
// The largest shift looked for, in pixels either way.
inline constexpr std::int32_t kShiftSearch = 16;

// The edges across one axis of the band: values[i] belongs to picture column (or row) first + i.
struct EdgeProfile {
    std::int32_t first = 0;
    std::vector<std::int32_t> values;
    friend bool operator==(const EdgeProfile&, const EdgeProfile&) = default;
};

// The picture around a goal line as kept between heats.
struct ShiftReference {
    Goal_line line;
    std::int32_t picture_width = 0;
    std::int32_t picture_height = 0;
    std::string heat; // the recording it was taken at (for the trace)
    EdgeProfile columns;
    EdgeProfile rows;
    friend bool operator==(const ShiftReference&, const ShiftReference&) = default;
};

// The reference for `line` from `picture`.
ShiftReference make_shift_reference(const cDIBSection& picture, const Goal_line& line, std::string heat);

// True when `reference` was taken for `line` on a picture of `width` x `height` (and so can be compared
// with one).
bool reference_fits(const ShiftReference& reference, const Goal_line& line, std::int32_t width,
                    std::int32_t height);

enum class AxisFinding : std::uint8_t {
    Measured,    // the shift along this axis is known
    NoStructure, // the reference has no edges across this axis: nothing to compare
    NoMatch,     // the live picture matches the reference at no shift within reach, or at several
};

struct AxisShift {
    AxisFinding finding = AxisFinding::NoStructure;
    double pixels = 0; // Measured: how far the scene moved in the picture (right or down positive)
    double match = 0;  // the correlation at the best shift (-1 to 1)
};

struct CameraShift {
    AxisShift x;
    AxisShift y;
    // The shift in whole pixels (0 along an axis not measured).
    std::int32_t dx() const;
    std::int32_t dy() const;
    // The whole-pixel shift is longer than `pixels`.
    bool beyond(double pixels) const;
};

// How far the scene of `live` has moved since `kept`; both were taken for the same line on pictures of
// one size (reference_fits).
CameraShift camera_shift_between(const ShiftReference& kept, const ShiftReference& live);
// The same for a picture: camera_shift_between(reference, make_shift_reference(live, reference.line)).
CameraShift measure_camera_shift(const ShiftReference& reference, const cDIBSection& live);

// "3 px right and 1 px down" (the axes that moved; "no shift" when neither did).
std::string shift_text(std::int32_t dx, std::int32_t dy);

// `line` moved by (dx, dy).
Goal_line shifted_line(const Goal_line& line, std::int32_t dx, std::int32_t dy);

// The reference as it is kept in its file, and read back. Reading fails with error 13 (Type mismatch)
// on a text that is not one (a damaged or hand-edited file).
std::string shift_reference_text(const ShiftReference& reference);
ShiftReference parse_shift_reference(std::string_view text);

} // namespace veltro
