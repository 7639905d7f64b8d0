// Goal lines and crop sizes come back from the settings file and from recording headers, both text
// anyone can edit: reading them either gives a value or fails with a VeltroError, and a line read
// back writes out as text that reads as the same line.
#include "capture/picture_size.h"
#include "review/goal_line.h"
#include "support/veltro_error.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        if (const auto line = veltro::parse_goal_line(text)) {
            if (veltro::parse_goal_line(veltro::goal_line_text(*line)) != line)
                std::abort();
            veltro::Check_Within_Selection_Boxes(*line, 3.5f, -2.0f);
            (void)veltro::displaced(*line, 32767);
        }
    } catch (const veltro::VeltroError&) {
    }
    if (const auto crop = veltro::parse_crop_caption(text)) {
        if (crop->width < 1 || crop->height < 1)
            std::abort();
        (void)veltro::Reset_Goal_Line(crop->width, crop->height);
    }
    return 0;
}
