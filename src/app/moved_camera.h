#pragma once

#include "picture/dib_section.h"
#include "review/camera_shift.h"
#include "review/goal_line.h"

#include <cstdint>
#include <string>

namespace veltro {

// A finish camera knocked between heats moves the finish line away from the goal line on show. At
// "Initiate file" the live picture around the goal line is compared with the one kept from the last
// heat with the same line (a file per camera in the data folder); a picture moved further than
// kMovedCameraPixels is reported, and the operator may move the line with it.
//
// The kept picture is replaced only by one that shows the scene where it was: when the picture has
// moved by less than half a pixel (so a camera that creeps a pixel a heat is caught once its moves
// add up), when the operator moved the line with the camera, or when a heat uses another line or
// picture size. A move the operator has not agreed to never becomes the new truth: the next heat
// asks again.

// Whole pixels the picture may move without a warning.
inline constexpr double kMovedCameraPixels = 2.0;

struct MovedCameraCheck {
    enum class Verdict : std::uint8_t {
        NewReference, // nothing kept for this line and picture size: this picture is kept from now on
        Steady,       // the picture has moved no further than kMovedCameraPixels
        Moved,        // it has: the operator is asked whether the goal line moves with it
        CannotTell,   // the picture around the line does not match the kept one: the operator is told
    };
    Verdict verdict = Verdict::NewReference;
    CameraShift shift;
    Goal_line moved_line; // Moved: the goal line moved as the picture did
    std::string text;     // Moved: the question; CannotTell: the message
};

// The kept picture of `camera` in the data folder.
std::string camera_reference_path(std::int16_t camera);

// Compares `live`, taken at the initiation of `recording` with goal line `line`, with what is kept in
// `reference_path`, and keeps `live` instead as the rule above says. Every finding goes into the
// trace with the recording's name. A file that cannot be read or written costs only the check.
MovedCameraCheck check_moved_camera(const std::string& reference_path, const cDIBSection& live,
                                    const Goal_line& line, const std::string& recording);

// The operator's answer to a Moved check: `moved` when the goal line was moved with the picture
// (`live` is then kept for the moved line), or not (nothing changes). Both go into the trace.
void answer_moved_camera(const std::string& reference_path, const cDIBSection& live,
                         const MovedCameraCheck& check, const std::string& recording, bool moved);

} // namespace veltro
