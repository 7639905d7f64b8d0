#include "capture/mjpeg_frame.h"

#include "capture/hdmi_crop.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

namespace veltro {

bool is_jpeg_format(const MediaType& format) {
    return format.subtype == fourcc('M', 'J', 'P', 'G') || format.subtype == fourcc('J', 'P', 'E', 'G');
}

std::string format_codec_text(const MediaType& format) {
    return is_jpeg_format(format) ? " MJPEG" : "";
}

std::size_t default_format(const std::vector<MediaType>& formats) {
    if (std::none_of(formats.begin(), formats.end(), [](const MediaType& f) { return is_jpeg_format(f); })) {
        return 0;
    }
    // Larger picture, then shorter time per frame, then JPEG: the first format best on all three.
    auto rank = [](const MediaType& f) {
        const std::int64_t area =
            f.format ? std::int64_t{f.format->bmi_header.bi_width} * f.format->bmi_header.bi_height : -1;
        const std::int64_t period = f.format && f.format->avg_time_per_frame > 0
                                        ? f.format->avg_time_per_frame
                                        : std::numeric_limits<std::int64_t>::max();
        return std::tuple(area, -period, is_jpeg_format(f));
    };
    std::size_t best = 0;
    for (std::size_t i = 1; i < formats.size(); ++i) {
        if (rank(formats[i]) > rank(formats[best])) {
            best = i;
        }
    }
    return best;
}

std::optional<JpegBand> jpeg_crop_window(std::int32_t source_width, std::int32_t source_height,
                                         std::int32_t crop_width, std::int32_t crop_height) {
    if (source_width <= 0 || source_height <= 0 || crop_width <= 0 || crop_height <= 0 ||
        crop_width > source_width || crop_height > source_height || source_width > 32767 ||
        source_height > 32767) {
        return std::nullopt;
    }
    const CropOrigin o = hdmi_crop_origin(source_width, source_height, crop_width, crop_height);
    if (o.x0 < 0 || o.y0 < 0 || o.x0 + crop_width > source_width || o.y0 + crop_height > source_height) {
        return std::nullopt;
    }
    return JpegBand{o.x0, o.y0, crop_width, crop_height};
}

bool jpeg_frame_plausible(const std::uint8_t* jpg, std::size_t length, std::int32_t width,
                          std::int32_t height, std::string& why) {
    if (jpg == nullptr || length < 4 || jpg[0] != 0xFF || jpg[1] != 0xD8) {
        why = "not a JPEG picture";
        return false;
    }
    bool sized = false;
    std::size_t at = 2;
    while (at + 4 <= length) {
        if (jpg[at] != 0xFF) {
            why = "a damaged header at byte " + std::to_string(at);
            return false;
        }
        const std::uint8_t marker = jpg[at + 1];
        if (marker == 0xFF) {
            ++at; // a fill byte
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2; // TEM and RSTn stand alone, and the decoder lets them pass
            continue;
        }
        const std::size_t segment = std::size_t{jpg[at + 2]} << 8 | jpg[at + 3];
        if (segment < 2 || segment > length - at - 2) {
            why = "a header cut short at byte " + std::to_string(at);
            return false;
        }
        // Start of frame: C0 to CF less DHT (C4), JPG (C8) and DAC (CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (segment < 8) {
                why = "a damaged frame header";
                return false;
            }
            const std::int32_t h = jpg[at + 5] << 8 | jpg[at + 6];
            const std::int32_t w = jpg[at + 7] << 8 | jpg[at + 8];
            if (w != width || h != height) {
                why = "a picture of " + std::to_string(w) + "*" + std::to_string(h) + ", not " +
                      std::to_string(width) + "*" + std::to_string(height);
                return false;
            }
            sized = true;
        } else if (marker == 0xDA) {
            if (!sized) {
                why = "a scan without a frame header";
                return false;
            }
            if (segment >= length - at - 2) {
                why = "a picture cut short at its scan";
                return false;
            }
            return true;
        }
        at += 2 + segment;
    }
    why = "a picture cut short in its header";
    return false;
}

JpegCrop crop_jpeg_frame(JpegBandDecoder& decoder, const std::uint8_t* jpg, std::int32_t length,
                         std::int32_t source_width, std::int32_t source_height, std::int32_t crop_width,
                         std::int32_t crop_height, cDIBSection& cropped, cDIBSection& scratch,
                         std::string& why) {
    const std::optional<JpegBand> window =
        jpeg_crop_window(source_width, source_height, crop_width, crop_height);
    if (!window) {
        return JpegCrop::Outside;
    }
    if (jpg == nullptr || length <= 0) {
        why = "an empty frame";
        return JpegCrop::Corrupt;
    }
    if (scratch.Width() != crop_width || scratch.Height() != crop_height) {
        if (!scratch.Create(crop_width, crop_height)) {
            return JpegCrop::Outside;
        }
    }
    try {
        // Row 0 of the window is the top one; the section's rows run bottom-up.
        const std::ptrdiff_t step =
            crop_height > 1 ? scratch.scan_line(1) - scratch.scan_line(0) : -scratch.BytesPerScanLine();
        decoder.decode_into(jpg, static_cast<std::size_t>(length), source_width, source_height, *window,
                            scratch.scan_line(0), step);
    } catch (const VeltroError& e) {
        why = e.what();
        return JpegCrop::Corrupt;
    }
    std::swap(cropped, scratch);
    return JpegCrop::Cropped;
}

// Sinks that want rows get the whole frame decoded; the capture source decodes only its window.
void CaptureEventSink::on_jpeg_event(const std::uint8_t* jpg, std::int32_t length, std::int32_t width,
                                     std::int32_t height, std::optional<std::uint32_t> arrival_mill) {
    thread_local JpegBandDecoder decoder;
    thread_local std::vector<std::uint8_t> rows;
    if (jpg == nullptr || length <= 0 || width <= 0 || height <= 0 || width > 32767 || height > 32767) {
        on_frames_lost(1);
        return;
    }
    const std::int32_t stride = cDIBSection::bytes_per_scan_line(width);
    rows.resize(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    try {
        decoder.decode_into(jpg, static_cast<std::size_t>(length), width, height, {0, 0, width, height},
                            rows.data() + static_cast<std::size_t>(height - 1) * stride, -stride);
    } catch (const VeltroError&) {
        on_frames_lost(1);
        return;
    }
    OnRGBEvent(rows.data(), static_cast<std::int32_t>(rows.size()), arrival_mill);
}

} // namespace veltro
