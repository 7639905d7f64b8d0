#pragma once

#include "capture/capture_component.h"

#include <cstdint>
#include <optional>
#include <string>

namespace veltro {

// What the program knows process-wide about the capture source in use and the operator's choice.
struct CurrentCapture {
    std::string saved_friendlyname;  // as read from the settings at the last source opening
    std::string saved_videoproperty; // the saved format number, decimal text
    std::string friendly_name;       // Current_FriendlyName
    std::string property_string;     // Current_PropertyString
    std::int32_t image_size = 0;     // of the last format described
    std::uint32_t compression = 0;   // of the last format described
    bool limit_to_25_fps = false;    // "Limit capture to 25 fps" of the source selection
};
CurrentCapture& current_capture();

// The short description of a format record: width, "*", height, "/", frames per second to one
// decimal (halves to even, no trailing zeros): 1920*1080/25, 1920*1080/30 (333667), 1920*1080/29.9
// (334000); JPEG pictures say so after it (1920*1080/120 MJPEG). "Corrupt data!" for a record
// without format block or time per frame. Keeps the image size and compression code in
// current_capture().
std::string Process_AMT(const std::optional<MediaType>& record);

} // namespace veltro
