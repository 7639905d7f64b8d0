#pragma once

#include "picture/jpeg_band.h"
#include "support/file_io.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// What a reader of a recording's pictures needs to know of it, read from its header block alone, so
// that it can read the file on a descriptor of its own while the window reviews the same recording.
struct RecordingFacts {
    std::int32_t width = 0; // the stored pictures
    std::int32_t height = 0;
    std::int32_t frames = 0; // counted and present in the file
    std::int32_t sample_size = 0;
    bool jpeg = true;
    bool rotated = false;
    bool field_mode = true; // as the review steps: fields up to 40 measured pictures a second
    bool interlaced = false;
    std::int32_t pictures = 0; // play positions
    std::optional<std::uint32_t> start;
};

// Reads the header block of `file`. A recording without a readable header, pictures or sane sizes
// fails with VeltroError "<what> of <path>: <why>".
RecordingFacts read_recording_facts(File& file, const std::string& path, const std::string& what);

// One reader's buffers; use one per thread.
struct BandReader {
    JpegBandDecoder decoder;
    std::vector<std::uint8_t> record;
    std::vector<std::uint8_t> band; // band pixels, rows top first, no padding
};

// Reads record `frame` (1-based) and puts the pixels of `band` (in stored-picture pixels) into
// reader.band; false when the picture cannot be read. The capture stamp goes to `capture_mill`.
bool read_frame_band(File& file, const RecordingFacts& f, std::int32_t frame, const JpegBand& band,
                     BandReader& reader, std::int32_t& capture_mill);

} // namespace veltro
