#include "capture/backends/demo/demo_scene_shift.h"

#include "support/numbers.h"
#include "support/text.h"
#include "support/veltro_error.h"

#include <cstdlib>
#include <cstring>

namespace veltro {

SceneShift parse_scene_shift(const std::string& text) {
    const std::string value = trim(text);
    if (value.empty() || value == "N/A") {
        return {};
    }
    const std::size_t comma = value.find(',');
    const auto fail = [&value] {
        throw VeltroError(err::kTypeMismatch, "The demo camera's shift \"" + value +
                                                  "\" is not two whole numbers from -" +
                                                  std::to_string(kMaxSceneShift) + " to " +
                                                  std::to_string(kMaxSceneShift) + " (\"dx,dy\")");
    };
    if (comma == std::string::npos) {
        fail();
    }
    const std::string_view parts[2] = {std::string_view(value).substr(0, comma),
                                       std::string_view(value).substr(comma + 1)};
    std::int32_t by[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        if (!is_decimal_number(parts[i])) {
            fail();
        }
        by[i] = parse_long(parts[i]);
        if (std::abs(by[i]) > kMaxSceneShift) {
            fail();
        }
    }
    return {by[0], by[1]};
}

void shift_scene(std::uint8_t* bottom_up, std::int32_t width, std::int32_t height, std::int32_t stride,
                 SceneShift shift) {
    if (std::abs(shift.dx) >= width || std::abs(shift.dy) >= height) {
        return;
    }
    const auto row = [bottom_up, stride](std::int32_t memory_row) {
        return bottom_up + static_cast<std::size_t>(memory_row) * static_cast<std::size_t>(stride);
    };
    // Down in the picture is towards the start of the buffer, whose rows run bottom-up.
    const std::int32_t rows_moved = height - std::abs(shift.dy);
    if (shift.dy > 0) {
        std::memmove(row(0), row(shift.dy), static_cast<std::size_t>(rows_moved) * stride);
        for (std::int32_t r = rows_moved; r < height; ++r) {
            std::memcpy(row(r), row(rows_moved - 1), static_cast<std::size_t>(stride));
        }
    } else if (shift.dy < 0) {
        std::memmove(row(-shift.dy), row(0), static_cast<std::size_t>(rows_moved) * stride);
        for (std::int32_t r = 0; r < -shift.dy; ++r) {
            std::memcpy(row(r), row(-shift.dy), static_cast<std::size_t>(stride));
        }
    }
    if (shift.dx == 0) {
        return;
    }
    const std::size_t kept = static_cast<std::size_t>(width - std::abs(shift.dx)) * 3;
    for (std::int32_t r = 0; r < height; ++r) {
        std::uint8_t* const p = row(r);
        if (shift.dx > 0) {
            std::memmove(p + 3 * shift.dx, p, kept);
            for (std::int32_t x = 0; x < shift.dx; ++x) {
                std::memcpy(p + 3 * x, p + 3 * shift.dx, 3);
            }
        } else {
            std::memmove(p, p - 3 * shift.dx, kept);
            for (std::int32_t x = width + shift.dx; x < width; ++x) {
                std::memcpy(p + 3 * x, p + 3 * (width + shift.dx - 1), 3);
            }
        }
    }
}

} // namespace veltro
