#include "review/goal_line.h"

#include "support/numbers.h"
#include "support/settings.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace veltro {

namespace {

const SettingKey& key_of(std::int16_t camera) {
    return camera == kSplitCamera ? keys::goal_line_2 : keys::goal_line_1;
}

// In double: a stored point near the ends of a Long must not overflow.
bool inside_handle(std::int32_t hx, std::int32_t hy, float x, float y) {
    const double px = hx, py = hy;
    return px - kHandleHalf < x && x < px + 2 * kHandleHalf && py - kHandleHalf < y &&
           y < py + 2 * kHandleHalf;
}

} // namespace

std::string goal_line_text(const Goal_line& line) {
    return std::to_string(line.x1) + "," + std::to_string(line.y1) + "," + std::to_string(line.x2) + "," +
           std::to_string(line.y2);
}

std::optional<Goal_line> parse_goal_line(const std::string& text) {
    if (text.size() <= 6) {
        return std::nullopt;
    }
    std::vector<std::int32_t> parts;
    std::size_t from = 0;
    while (true) {
        const std::size_t comma = text.find(',', from);
        const std::string part = trim(text.substr(from, comma == std::string::npos ? comma : comma - from));
        if (!is_decimal_number(part)) {
            throw VeltroError(err::kTypeMismatch, "Goal line \"" + text + "\" is not four whole numbers");
        }
        parts.push_back(parse_long(part));
        if (comma == std::string::npos) {
            break;
        }
        from = comma + 1;
    }
    if (parts.size() != 4) {
        throw VeltroError(err::kTypeMismatch, "Goal line \"" + text + "\" is not four whole numbers");
    }
    return Goal_line{parts[0], parts[1], parts[2], parts[3]};
}

Goal_line Reset_Goal_Line(std::int32_t picture_width, std::int32_t picture_height) {
    const auto mid = static_cast<std::int32_t>(div_round_half_even(picture_width, 2));
    return Goal_line{mid, static_cast<std::int32_t>(div_round_half_even(picture_height, 10)), mid,
                     static_cast<std::int32_t>(div_round_half_even(std::int64_t{picture_height} * 9, 10))};
}

std::int16_t Check_Within_Selection_Boxes(const Goal_line& line, float x, float y) {
    if (inside_handle(line.x1, line.y1, x, y)) {
        return 1;
    }
    if (inside_handle(line.x2, line.y2, x, y)) {
        return 2;
    }
    return 0;
}

void Save_Goal_line(std::int16_t camera, const Goal_line& line) {
    Trace("Save_Goal_line ", camera);
    Write_Setting(key_of(camera), goal_line_text(line));
}

void Read_Goal_Lines(std::array<Goal_line, 2>& lines) {
    Trace("Read_Goal_Lines");
    for (std::int16_t camera : {kGoalCamera, kSplitCamera}) {
        const std::string value = Read_Setting(key_of(camera));
        try {
            if (const auto line = parse_goal_line(value)) {
                lines[static_cast<std::size_t>(camera - 1)] = *line;
            }
        } catch (const VeltroError& e) {
            // A hand-edited value must not cost the operator the line on show.
            Trace("Read_Goal_Lines ", camera, e.description());
        }
    }
}

std::int16_t GoalLineDrag::press(const Goal_line& line, std::int32_t x, std::int32_t y) {
    press_x_ = x;
    press_y_ = y;
    saved_ = line;
    grabbed_ = Check_Within_Selection_Boxes(line, static_cast<float>(x), static_cast<float>(y));
    dragging_ = grabbed_ != 0;
    moved_ = false;
    return grabbed_;
}

bool GoalLineDrag::move(Goal_line& line, std::int32_t x, std::int32_t y, std::int32_t picture_width,
                        std::int32_t picture_height) {
    if (!dragging_) {
        return false;
    }
    const std::int64_t hx =
        std::int64_t{grabbed_ == 1 ? saved_.x1 : saved_.x2} - (press_x_ - std::int64_t{x});
    const std::int64_t hy =
        std::int64_t{grabbed_ == 1 ? saved_.y1 : saved_.y2} - (press_y_ - std::int64_t{y});
    if (hx < 1 || hy < 1 || hx >= picture_width || hy >= picture_height) {
        return false;
    }
    if (grabbed_ == 1) {
        line.x1 = static_cast<std::int32_t>(hx);
        line.y1 = static_cast<std::int32_t>(hy);
    } else {
        line.x2 = static_cast<std::int32_t>(hx);
        line.y2 = static_cast<std::int32_t>(hy);
    }
    moved_ = true;
    return true;
}

bool GoalLineDrag::release() {
    const bool save = moved_;
    dragging_ = false;
    grabbed_ = 0;
    moved_ = false;
    return save;
}

std::int16_t step_goal_offset(std::int16_t offset, int step) {
    const int next = offset + step;
    if (next > std::numeric_limits<std::int16_t>::max() || next < std::numeric_limits<std::int16_t>::min()) {
        return offset;
    }
    return static_cast<std::int16_t>(next);
}

Goal_line displaced(const Goal_line& line, std::int16_t offset) {
    Goal_line d = line;
    d.x1 = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{line.x1} + offset, INT32_MIN, INT32_MAX));
    d.x2 = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{line.x2} + offset, INT32_MIN, INT32_MAX));
    return d;
}

} // namespace veltro
