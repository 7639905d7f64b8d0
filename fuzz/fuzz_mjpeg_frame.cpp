// Pictures from an MJPEG camera are outside data: whatever a frame holds, its crop window is decoded
// or the frame is called corrupt, and nothing outside it is read. The header check the capture thread
// makes before handing a frame on never refuses a frame whose window decodes.
#include "capture/mjpeg_frame.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static veltro::JpegBandDecoder decoder;
    static veltro::cDIBSection cropped;
    static veltro::cDIBSection spare;
    std::string why;
    const auto result = veltro::crop_jpeg_frame(decoder, data, static_cast<std::int32_t>(size), 320, 240, 100,
                                                240, cropped, spare, why);
    if (result == veltro::JpegCrop::Outside ||
        (result == veltro::JpegCrop::Cropped && cropped.Width() != 100))
        std::abort();
    std::string said;
    if (!veltro::jpeg_frame_plausible(data, size, 320, 240, said) && result == veltro::JpegCrop::Cropped)
        std::abort();
    return 0;
}
