#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace veltro {

// A goal line in picture pixels: first handle (x1, y1), second handle (x2, y2).
struct Goal_line {
    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    friend constexpr bool operator==(const Goal_line&, const Goal_line&) = default;
};

inline constexpr std::int16_t kGoalCamera = 1;
inline constexpr std::int16_t kSplitCamera = 2;

// Half the side of a handle square.
inline constexpr std::int32_t kHandleHalf = 6;

// "x1,y1,x2,y2", the form stored in the settings and in a recording.
std::string goal_line_text(const Goal_line& line);

// A stored goal line. Values of up to 6 characters (such as "N/A") hold no line: std::nullopt, the
// line on show stays. A longer value that is not four whole numbers fails with error 13.
std::optional<Goal_line> parse_goal_line(const std::string& text);

// The line the "Reset Goal line" command puts in: vertical, in the middle of the picture, from 1/10
// to 9/10 of its height (halves rounded to even).
Goal_line Reset_Goal_Line(std::int32_t picture_width, std::int32_t picture_height);

// Which handle a press at (x, y) grabs: 1, 2 or 0. The hit area reaches 12 pixels right of and below
// a handle point but only 6 left of and above it; the first handle wins where both are hit.
std::int16_t Check_Within_Selection_Boxes(const Goal_line& line, float x, float y);

// Writes the camera's line under [Goal_lines] Goal_line<camera>.
void Save_Goal_line(std::int16_t camera, const Goal_line& line);
// Reads both cameras' lines from the settings; a camera whose value holds no line, or a value that
// cannot be read, keeps the line it has.
void Read_Goal_Lines(std::array<Goal_line, 2>& lines);

// Dragging a handle of the selected camera's line with the mouse over the picture.
class GoalLineDrag {
public:
    // Button down at whole pixel (x, y) over `line`. Returns the grabbed handle (0 when none).
    std::int16_t press(const Goal_line& line, std::int32_t x, std::int32_t y);
    // The mouse is at (x, y) with the left button down. Moves the grabbed handle of `line` by the
    // distance from the press point when its new place lies inside the picture (both coordinates at
    // least 1 and below the picture's width and height). True when the line changed.
    bool move(Goal_line& line, std::int32_t x, std::int32_t y, std::int32_t picture_width,
              std::int32_t picture_height);
    // Button up. True when the line was moved since the button went down, so it must be saved.
    bool release();

    bool dragging() const { return dragging_; }
    std::int16_t grabbed() const { return grabbed_; }

private:
    Goal_line saved_;
    std::int32_t press_x_ = 0, press_y_ = 0;
    std::int16_t grabbed_ = 0;
    bool dragging_ = false;
    bool moved_ = false;
};

// "Displace goalline": a sideways nudge of the drawn goal line, in pixels. Steps stop at the ends of
// a 16-bit value instead of overflowing.
std::int16_t step_goal_offset(std::int16_t offset, int step);
// The line as drawn with the offset: both handles shifted right by `offset` pixels.
Goal_line displaced(const Goal_line& line, std::int16_t offset);

} // namespace veltro
