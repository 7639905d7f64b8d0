#pragma once

#include "recording/finish_strip.h"
#include "recording/recording_band.h"
#include "timing/finish_estimate.h"
#include "timing/heat_values.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace veltro {

// Play positions per box (index 1..6; 0 = no finish time given on a picture).
using BoxPositions = std::array<std::int16_t, 7>;

// Works out when a dog's nose crossed the goal line between the picture its finish time was given on
// and the picture before it. In both pictures the dog's leading edge is found in a band around the
// line, against an empty-track picture (each pixel's median over pictures spread through the heat);
// the crossing lies where the edge, moving at its speed between the two pictures, reaches the line.
//
// It says nothing where it cannot be sure: a box given the first picture, no dog newly across the
// line on the picture given (hidden, or given the wrong picture), more than one newly across where
// only one box was given that picture, or several boxes given one picture, a nose that was not in
// the band on the picture before, a recording stored turned, a line nearer horizontal than vertical.
class FinishEstimator {
public:
    // Reads `path` on a descriptor of its own, so the window may review the same recording meanwhile.
    // Throws VeltroError when it cannot be read as a recording with pictures.
    FinishEstimator(const std::string& path, std::int32_t goal_compensation);
    ~FinishEstimator();
    FinishEstimator(const FinishEstimator&) = delete;
    FinishEstimator& operator=(const FinishEstimator&) = delete;

    // The estimates for the boxes at `positions`, against `line` (in the picture's pixels, as the
    // review draws it). Pictures read once are kept for the next call.
    BoxEstimates estimate(const BoxPositions& positions, const StripLine& line);

    const RecordingFacts& facts() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The play positions of the boxes with a valid finish time given on a picture.
BoxPositions estimate_positions(const HeatValues& heat);

} // namespace veltro
