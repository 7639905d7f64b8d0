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

JpegCrop crop_jpeg_frame(JpegBandDecoder& decoder, const std::uint8_t* jpg, std::int32_t length,
                         std::int32_t source_width, std::int32_t source_height, std::int32_t crop_width,
                         std::int32_t crop_height, cDIBSection& cropped, cDIBSection& scratch,
                         std::string& why) {
    if (source_width <= 0 || source_height <= 0 || crop_width <= 0 || crop_height <= 0 ||
        crop_width > source_width || crop_height > source_height || source_width > 32767 ||
        source_height > 32767) {
        return JpegCrop::Outside;
    }
    const CropOrigin o = hdmi_crop_origin(source_width, source_height, crop_width, crop_height);
    if (o.x0 < 0 || o.y0 < 0 || o.x0 + crop_width > source_width || o.y0 + crop_height > source_height) {
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
        decoder.decode_into(jpg, static_cast<std::size_t>(length), source_width, source_height,
                            {o.x0, o.y0, crop_width, crop_height}, scratch.scan_line(0), step);
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
