#include "app/moved_camera.h"

#include "support/app_paths.h"
#include "support/files.h"
#include "support/trace.h"
#include "support/veltro_error.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace veltro {

namespace {

std::string file_name_of(const std::string& recording) {
    return std::filesystem::path(recording).filename().string();
}

void trace_check(const std::string& recording, const std::string& text) {
    Trace("*Camera check, " + file_name_of(recording) + ": " + text);
}

std::optional<ShiftReference> read_reference(const std::string& path, const std::string& recording) {
    const std::optional<std::string> text = read_whole_file(path);
    if (!text) {
        return std::nullopt;
    }
    try {
        return parse_shift_reference(*text);
    } catch (const VeltroError& e) {
        trace_check(recording, e.description() + " (" + path + "); a new one is kept");
        return std::nullopt;
    }
}

void keep_reference(const std::string& path, const ShiftReference& reference, const std::string& recording) {
    try {
        save_file_atomically(path, shift_reference_text(reference));
    } catch (const VeltroError& e) {
        trace_check(recording, "the picture around the goal line could not be kept: " + e.description());
    }
}

std::string axis_text(const char* axis, const AxisShift& shift) {
    char figure[32];
    switch (shift.finding) {
    case AxisFinding::Measured:
        // No "-0.0" for a shift that rounds to nothing.
        std::snprintf(figure, sizeof figure, "%+.1f px (match %.2f)",
                      std::abs(shift.pixels) < 0.05 ? 0.0 : shift.pixels, shift.match);
        return std::string(axis) + " " + figure;
    case AxisFinding::NoStructure:
        return std::string(axis) + " no edges to compare";
    case AxisFinding::NoMatch:
        std::snprintf(figure, sizeof figure, "%.2f", shift.match);
        return std::string(axis) + " no match (best " + figure + ")";
    }
    return {};
}

bool under_half_a_pixel(const AxisShift& shift) {
    return shift.finding != AxisFinding::Measured || std::abs(shift.pixels) < 0.5;
}

} // namespace

std::string camera_reference_path(std::int16_t camera) {
    return data_file("Veltro_camera" + std::to_string(camera) + "_reference.txt");
}

MovedCameraCheck check_moved_camera(const std::string& reference_path, const cDIBSection& live,
                                    const Goal_line& line, const std::string& recording) {
    MovedCameraCheck check;
    const std::optional<ShiftReference> kept = read_reference(reference_path, recording);
    const ShiftReference now = make_shift_reference(live, line, file_name_of(recording));
    if (!kept || !reference_fits(*kept, line, live.Width(), live.Height())) {
        keep_reference(reference_path, now, recording);
        trace_check(recording, "the picture around goal line " + goal_line_text(line) +
                                   " is kept to compare the next heats with");
        return check;
    }
    check.shift = camera_shift_between(*kept, now);
    const std::string found =
        axis_text("x", check.shift.x) + ", " + axis_text("y", check.shift.y) + " since " + kept->heat;
    if (check.shift.beyond(kMovedCameraPixels)) {
        check.verdict = MovedCameraCheck::Verdict::Moved;
        const std::string moved = shift_text(check.shift.dx(), check.shift.dy());
        check.moved_line = shifted_line(line, check.shift.dx(), check.shift.dy());
        check.text = "The picture has moved " + moved +
                     " since the last heat with this goal line: the camera has been moved.\n"
                     "Move the goal line with it?";
        trace_check(recording, "the camera has moved " + moved + " (" + found + ")");
        return check;
    }
    if (check.shift.x.finding == AxisFinding::NoMatch || check.shift.y.finding == AxisFinding::NoMatch) {
        check.verdict = MovedCameraCheck::Verdict::CannotTell;
        check.text = "The picture around the goal line does not match the last heat with this goal line: the "
                     "camera may have been moved far, or something stands in front of it.\n"
                     "Check that the goal line lies on the finish line.";
        trace_check(recording, "cannot tell whether the camera has moved (" + found + ")");
        return check;
    }
    check.verdict = MovedCameraCheck::Verdict::Steady;
    if (under_half_a_pixel(check.shift.x) && under_half_a_pixel(check.shift.y)) {
        keep_reference(reference_path, now, recording);
        trace_check(recording, "the camera has not moved (" + found + ")");
    } else {
        trace_check(recording, "the camera has moved no more than " +
                                   std::to_string(static_cast<int>(kMovedCameraPixels)) + " px (" + found +
                                   "); the picture of " + kept->heat + " stays the one compared with");
    }
    return check;
}

void answer_moved_camera(const std::string& reference_path, const cDIBSection& live,
                         const MovedCameraCheck& check, const std::string& recording, bool moved) {
    if (!moved) {
        trace_check(recording, "the goal line was left where it was");
        return;
    }
    keep_reference(reference_path, make_shift_reference(live, check.moved_line, file_name_of(recording)),
                   recording);
    trace_check(recording, "the goal line was moved with the camera to " + goal_line_text(check.moved_line));
}

} // namespace veltro
