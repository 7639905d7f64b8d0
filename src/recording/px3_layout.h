#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltro::px3 {

// Byte layout of a ".px3" recording. Little-endian throughout.
//
// Header block at offset 0, 32016 bytes: "PXV3", Long 32016, Long text length, 32000-byte text field
// (ISO-8859-1 header text, zero-filled), "PXVX". Then one sample record per frame, all of size
// S = D + 58, frame n (1-based) at 32016 + (n - 1) x S:
//   0 "RGBS", 4 Integer header length (0), 6 Integer 0, 8 capture mill, 12 capture delta,
//   16 capture local, 20 Long 0, 24 quality, 28 Integer 0, 30 Integer 0, 32 JPEG size,
//   36 capture events, 40 "RGBE", 44 Integer 1, 46 Long D, 50 Long 1, 54 data (D bytes), 54+D "RGBF".
inline constexpr std::int32_t kHeaderBlockSize = 32016;
inline constexpr std::int32_t kTextFieldSize = 32000;
inline constexpr std::int32_t kTextOffset = 12;
inline constexpr std::int32_t kEndMagicOffset = 32012;
inline constexpr std::int32_t kRecordHeaderSize = 44;
inline constexpr std::int32_t kDataOffset = 54;
inline constexpr std::int32_t kRecordOverhead = 58;
// A recording counts its frames in a 16-bit header value.
inline constexpr std::int32_t kMaxFrames = 32767;
// No capture source fills a record this large: a header that says so is damaged.
inline constexpr std::int32_t kMaxSampleSize = 64 * 1024 * 1024;
// Nor delivers a larger picture side: pictures whose sizes in the file say so are not decoded.
inline constexpr std::int32_t kMaxPictureSide = 4096;
inline bool picture_side_ok(std::int32_t side) {
    return side > 0 && side <= kMaxPictureSide;
}

using HeaderBlock = std::array<std::uint8_t, kHeaderBlockSize>;

// The header block for a header text given as ISO-8859-1 bytes. A text over 32000 bytes fails with a
// VeltroError (the reader needs the whole text, so a cut text would lose the recording's header).
void encode_header_block(std::string_view latin1_text, HeaderBlock& block);

// What a header block holds. `text` is empty (and `text_ok` false) when the magic is wrong or the
// text length is outside 0..32000: such a recording is read as one without header.
struct HeaderBlockContents {
    bool magic_ok = false;
    std::int32_t header_size = 0;
    std::int32_t text_length = 0;
    bool text_ok = false;
    std::string text; // ISO-8859-1 bytes
};
HeaderBlockContents decode_header_block(const std::uint8_t* block, std::size_t size);

// 0-based file offset of frame n (1-based) in a file of sample size S.
inline std::int64_t frame_offset(std::int32_t frame, std::int32_t sample_size) {
    return kHeaderBlockSize + static_cast<std::int64_t>(frame - 1) * sample_size;
}
inline std::int32_t sample_size_for(std::int32_t data_size) {
    return data_size + kRecordOverhead;
}
// Whether records of sample size S can exist at all: a header saying otherwise locates no frame.
inline bool sample_size_ok(std::int32_t sample_size) {
    return sample_size > kRecordOverhead && sample_size <= kMaxSampleSize;
}
// The whole records a file of `length` bytes holds after its header block.
inline std::int64_t records_present(std::int64_t length, std::int32_t sample_size) {
    return length > kHeaderBlockSize ? (length - kHeaderBlockSize) / sample_size : 0;
}

// The fields of a sample record other than its data.
struct RecordFields {
    std::int16_t header_length = 0;
    std::int32_t capture_mill = 0;
    std::int32_t capture_delta = 0;
    std::int32_t capture_local = 0;
    std::int32_t quality = 0;
    std::int32_t jpeg_size = 0;
    std::int32_t capture_events = 0;
    std::int32_t data_count = 0; // D
};

// Writes the magics and fields of a record of data size fields.data_count into `record` (which
// holds at least D + 58 bytes); the data area is left alone.
void put_record_fields(std::uint8_t* record, const RecordFields& fields);
// Reads the fields of the first 54 bytes of a record.
RecordFields get_record_fields(const std::uint8_t* record);
inline bool has_record_magic(const std::uint8_t* record) {
    return record[0] == 'R' && record[1] == 'G' && record[2] == 'B' && record[3] == 'S';
}

// Sum of the data bytes at 1-based positions 100, 1100, 2100, ... while the position is at most the
// JPEG size and below the sample size.
std::int32_t record_checksum(const std::uint8_t* data, std::int32_t data_size, std::int32_t jpeg_size,
                             std::int32_t sample_size);

// D from the largest trial compression m: 1000 x whole part of (m + 5500) / 1000.
std::int32_t data_size_for(std::int32_t largest_trial);
// The three trial frames for n captured frames: n - 1, n / 2 rounded (halves to even), 2, each kept
// within 1..n. n = 0 gives no trial frames (zeros).
std::array<std::int32_t, 3> trial_frames(std::int32_t frames);
// The next quality of the fitting loop: q x 0.85 rounded (halves to even), at least one lower than
// q, never below 1.
std::int32_t next_lower_quality(std::int32_t quality);

} // namespace veltro::px3
