#pragma once

#include "capture/capture_component.h"
#include "picture/dib_section.h"
#include "picture/jpeg_band.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// Frames of MJPEG sources: each one a JPEG picture of the format's size, as most fast USB cameras
// send them. They are captured as sent and only the crop window is decoded.

// Whether the frames of `format` come as JPEG pictures (MJPEG and JPEG devices) rather than rows.
bool is_jpeg_format(const MediaType& format);

// The codec after the size and rate in a format's description: " MJPEG" for JPEG pictures, empty
// for rows (whose descriptions stay as they always were).
std::string format_codec_text(const MediaType& format);

// The format a source runs in until one is set: for a source that offers JPEG pictures, its largest
// picture at the highest rate, JPEG before rows at the same rate (USB cameras send far more pictures
// a second as MJPEG); for any other, its first format.
std::size_t default_format(const std::vector<MediaType>& formats);

// The centre window (hdmi_crop_origin) of crop_width x crop_height in a source of source_width x
// source_height; none when it does not lie inside the source.
std::optional<JpegBand> jpeg_crop_window(std::int32_t source_width, std::int32_t source_height,
                                         std::int32_t crop_width, std::int32_t crop_height);

// Whether a frame of `length` bytes is worth handing on as a JPEG picture of width x height: it starts
// as one, its header segments are whole, its frame header gives that size, and its scan begins. The
// scan itself is checked where the window is decoded. `why` says what is wrong.
bool jpeg_frame_plausible(const std::uint8_t* jpg, std::size_t length, std::int32_t width,
                          std::int32_t height, std::string& why);

enum class JpegCrop {
    Cropped, // the window is in `cropped`
    Outside, // the window does not lie inside the source: nothing was read
    Corrupt, // the frame is damaged, cut short or of another size: `cropped` is unchanged
};

// Decodes the centre window (hdmi_crop_origin) of a JPEG frame of source_width x source_height into
// `cropped` and no more of it: the rows above are only entropy-decoded, the rows below not read. The
// pixels are those a whole decode and crop_frame give. The window is decoded into `scratch` and
// swapped into `cropped` when the frame was whole, so a damaged frame leaves the last picture as it
// was; both are recreated at the crop size when theirs differs, and are kept from frame to frame.
// `why` says what was wrong with a corrupt frame.
JpegCrop crop_jpeg_frame(JpegBandDecoder& decoder, const std::uint8_t* jpg, std::int32_t length,
                         std::int32_t source_width, std::int32_t source_height, std::int32_t crop_width,
                         std::int32_t crop_height, cDIBSection& cropped, cDIBSection& scratch,
                         std::string& why);

} // namespace veltro
