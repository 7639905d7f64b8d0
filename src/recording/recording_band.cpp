#include "recording/recording_band.h"

#include "picture/dib_section.h"
#include "recording/px3_layout.h"
#include "recording/xml_header.h"
#include "support/numbers.h"
#include "support/value_or.h"
#include "support/veltro_error.h"
#include "timing/heat_timing.h"

#include <algorithm>
#include <memory>
#include <system_error>

namespace veltro {

namespace {

[[noreturn]] void cannot_read(const std::string& what, const std::string& path, const std::string& why) {
    throw VeltroError(err::kPathFileAccess, what + " of " + path + ": " + why);
}

} // namespace

RecordingFacts read_recording_facts(File& file, const std::string& path, const std::string& what) {
    auto block = std::make_unique<px3::HeaderBlock>();
    block->fill(0);
    std::int64_t length = 0;
    try {
        length = file.size();
        // What a file cut short lacks reads as zeros, and fails the checks below.
        file.read_at(0, block->data(), block->size());
    } catch (const std::system_error& e) {
        cannot_read(what, path, e.code().message());
    }
    const px3::HeaderBlockContents contents = px3::decode_header_block(block->data(), block->size());
    Cls_XML_header header;
    header.XML_string(contents.text_ok ? contents.text : std::string());
    if (!contents.magic_ok || !header.Has_XML()) {
        cannot_read(what, path, "it has no readable recording header");
    }
    RecordingFacts f;
    f.width = value_or([&] { return header.RGB_X(); }, 0);
    f.height = value_or([&] { return header.RGB_Y(); }, 0);
    f.sample_size = value_or([&] { return header.RGB_Sample_Size(); }, 0);
    const std::int32_t counted = value_or([&] { return header.G_Frames_no(); }, 0);
    if (counted <= 0) {
        cannot_read(what, path, "it holds no pictures");
    }
    if (!px3::sample_size_ok(f.sample_size)) {
        cannot_read(what, path, "its record size " + std::to_string(f.sample_size) + " cannot be right");
    }
    if (!px3::picture_side_ok(f.width) || !px3::picture_side_ok(f.height)) {
        cannot_read(what, path,
                    "its picture size " + std::to_string(f.width) + "*" + std::to_string(f.height) +
                        " cannot be right");
    }
    f.frames = static_cast<std::int32_t>(
        std::min<std::int64_t>(counted, px3::records_present(length, f.sample_size)));
    if (f.frames <= 0) {
        cannot_read(what, path, "it holds no pictures");
    }
    const std::string fourcc = value_or([&] { return header.RGB_fourcc(); }, "");
    f.jpeg = fourcc == "IJL" || fourcc == "JPEG";
    f.rotated = value_or([&] { return header.RGB_Rotated(); }, false);
    // The review's choice: fields up to 40 measured pictures per second (also when never measured),
    // and its slider's range, whose fields the reader counts only for interlaced recordings.
    const std::int32_t rate = value_or([&] { return std::int32_t{parse_integer(header.RGB_fps())}; }, 0);
    f.field_mode = rate <= 40;
    f.interlaced = value_or([&] { return header.RGB_interlaced(); }, false);
    f.pictures = f.field_mode && f.interlaced ? std::min(2 * f.frames, 32767) : f.frames;
    try {
        f.start = parse_start_pc_mill(header.Velt_heat_start_PC_mill());
    } catch (const VeltroError&) {
        // A heat that was never started: its pictures have no heat time.
    }
    return f;
}

bool read_frame_band(File& file, const RecordingFacts& f, std::int32_t frame, const JpegBand& band,
                     BandReader& w, std::int32_t& capture_mill) {
    w.record.resize(static_cast<std::size_t>(f.sample_size));
    if (!read_fully(file, px3::frame_offset(frame, f.sample_size), w.record.data(), w.record.size()) ||
        !px3::has_record_magic(w.record.data())) {
        return false;
    }
    const px3::RecordFields fields = px3::get_record_fields(w.record.data());
    capture_mill = fields.capture_mill;
    const std::uint8_t* data = w.record.data() + px3::kDataOffset;
    const std::int32_t data_size = f.sample_size - px3::kRecordOverhead;
    if (f.jpeg) {
        if (fields.jpeg_size <= 0 || fields.jpeg_size > data_size) {
            return false;
        }
        try {
            w.decoder.decode(data, static_cast<std::size_t>(fields.jpeg_size), f.width, f.height, band,
                             w.band);
        } catch (const VeltroError&) {
            return false;
        }
        return true;
    }
    // Other codecs stored the bottom-up rows of the bitmap; what the record lacks stays black.
    const std::size_t stride = static_cast<std::size_t>(cDIBSection::bytes_per_scan_line(f.width));
    w.band.assign(static_cast<std::size_t>(band.width) * band.height * 3, 0);
    for (std::int32_t y = 0; y < band.height; ++y) {
        const std::size_t row = static_cast<std::size_t>(f.height - 1 - (band.top + y)) * stride;
        for (std::int32_t x = 0; x < band.width; ++x) {
            const std::size_t at = row + static_cast<std::size_t>(band.left + x) * 3;
            if (at + 3 <= static_cast<std::size_t>(data_size)) {
                std::copy_n(data + at, 3, w.band.data() + (static_cast<std::size_t>(y) * band.width + x) * 3);
            }
        }
    }
    return true;
}

} // namespace veltro
