// The kept picture around the goal line is a text file in the data folder, which a damaged disk or a
// hand edit can change: reading it either gives a reference or fails with a VeltroError, a reference
// read back writes out as text that reads as the same reference, and comparing a picture with it
// never reads outside the picture.
#include "picture/dib_section.h"
#include "review/camera_shift.h"
#include "support/veltro_error.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const veltro::ShiftReference reference = veltro::parse_shift_reference(text);
        if (veltro::parse_shift_reference(veltro::shift_reference_text(reference)) != reference)
            std::abort();
        if (reference.picture_width > 0 && reference.picture_height > 0 &&
            std::int64_t{reference.picture_width} * reference.picture_height <= 1024 * 1024) {
            veltro::cDIBSection picture;
            if (picture.Create(reference.picture_width, reference.picture_height) &&
                veltro::reference_fits(reference, reference.line, picture.Width(), picture.Height()))
                (void)veltro::measure_camera_shift(reference, picture);
        }
    } catch (const veltro::VeltroError&) {
    }
    return 0;
}
