// The moved-camera check at "Initiate file": the live picture around the goal line against the last
// heat's with the same line.
#include "app/moved_camera.h"
#include "app/ui/form_veltro.h"
#include "review/ui/picture_box.h"
#include "support/operator.h"
#include "support/ui/run_trapped.h"

#include <memory>

namespace veltro {

void Form_Veltro::queue_moved_camera_check(const std::string& recording, const Goal_line& line) {
    auto live = std::make_shared<cDIBSection>();
    if (!capture_->copy_cropped_picture(*live)) {
        return; // no live picture: nothing to compare
    }
    QMetaObject::invokeMethod(
        this,
        [this, live, line, recording] {
            run_trapped(where("Check_moved_camera"), [&] { check_moved_camera(*live, line, recording); });
        },
        Qt::QueuedConnection);
}

void Form_Veltro::check_moved_camera(const cDIBSection& live, const Goal_line& line,
                                     const std::string& recording) {
    const std::string path = camera_reference_path(kGoalCamera);
    const MovedCameraCheck check = veltro::check_moved_camera(path, live, line, recording);
    if (check.verdict == MovedCameraCheck::Verdict::CannotTell) {
        the_operator().message(check.text, MsgIcon::Exclamation, "Camera check");
        return;
    }
    if (check.verdict != MovedCameraCheck::Verdict::Moved) {
        return;
    }
    const bool move = the_operator().ask_yes_no(check.text, "Camera moved");
    if (move) {
        // The recording first: when its header cannot be written, nothing has moved.
        heat_->move_goal_line(recording, check.moved_line);
        goal_lines_[static_cast<std::size_t>(kGoalCamera - 1)] = check.moved_line;
        Save_Goal_line(kGoalCamera, check.moved_line);
        picture_->update();
    }
    answer_moved_camera(path, live, check, recording, move);
}

} // namespace veltro
