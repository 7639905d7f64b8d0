#include "recording/px3_layout.h"

#include "support/byte_order.h"
#include "support/numbers.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstring>

namespace veltro::px3 {

void encode_header_block(std::string_view latin1_text, HeaderBlock& block) {
    if (latin1_text.size() > static_cast<std::size_t>(kTextFieldSize)) {
        throw VeltroError(err::kOverflow, "Recording header text of " + std::to_string(latin1_text.size()) +
                                              " characters does not fit the 32000-character header field");
    }
    block.fill(0);
    std::memcpy(block.data(), "PXV3", 4);
    le::put_i32(block.data() + 4, kHeaderBlockSize);
    le::put_i32(block.data() + 8, static_cast<std::int32_t>(latin1_text.size()));
    std::memcpy(block.data() + kTextOffset, latin1_text.data(), latin1_text.size());
    std::memcpy(block.data() + kEndMagicOffset, "PXVX", 4);
}

HeaderBlockContents decode_header_block(const std::uint8_t* block, std::size_t size) {
    HeaderBlockContents c;
    if (size < static_cast<std::size_t>(kHeaderBlockSize)) {
        return c;
    }
    c.magic_ok = std::memcmp(block, "PXV3", 4) == 0;
    c.header_size = le::get_i32(block + 4);
    c.text_length = le::get_i32(block + 8);
    if (c.magic_ok && c.text_length >= 0 && c.text_length <= kTextFieldSize) {
        c.text_ok = true;
        c.text.assign(reinterpret_cast<const char*>(block + kTextOffset),
                      static_cast<std::size_t>(c.text_length));
    }
    return c;
}

void put_record_fields(std::uint8_t* record, const RecordFields& f) {
    std::memset(record, 0, kDataOffset);
    std::memcpy(record, "RGBS", 4);
    le::put_i16(record + 4, f.header_length);
    le::put_i32(record + 8, f.capture_mill);
    le::put_i32(record + 12, f.capture_delta);
    le::put_i32(record + 16, f.capture_local);
    le::put_i32(record + 24, f.quality);
    le::put_i32(record + 32, f.jpeg_size);
    le::put_i32(record + 36, f.capture_events);
    std::memcpy(record + 40, "RGBE", 4);
    le::put_i16(record + 44, 1);
    le::put_i32(record + 46, f.data_count);
    le::put_i32(record + 50, 1);
    std::memcpy(record + kDataOffset + f.data_count, "RGBF", 4);
}

RecordFields get_record_fields(const std::uint8_t* record) {
    RecordFields f;
    f.header_length = le::get_i16(record + 4);
    f.capture_mill = le::get_i32(record + 8);
    f.capture_delta = le::get_i32(record + 12);
    f.capture_local = le::get_i32(record + 16);
    f.quality = le::get_i32(record + 24);
    f.jpeg_size = le::get_i32(record + 32);
    f.capture_events = le::get_i32(record + 36);
    f.data_count = le::get_i32(record + 46);
    return f;
}

std::int32_t record_checksum(const std::uint8_t* data, std::int32_t data_size, std::int32_t jpeg_size,
                             std::int32_t sample_size) {
    std::int64_t sum = 0;
    for (std::int32_t pos = 100; pos <= jpeg_size && pos < sample_size && pos <= data_size; pos += 1000) {
        sum += data[pos - 1];
    }
    return static_cast<std::int32_t>(sum);
}

std::int32_t data_size_for(std::int32_t largest_trial) {
    return checked_mul(1000, checked_add(largest_trial, 5500) / 1000);
}

std::array<std::int32_t, 3> trial_frames(std::int32_t frames) {
    if (frames <= 0) {
        return {0, 0, 0};
    }
    auto clamp = [frames](std::int64_t f) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(f, 1, frames));
    };
    return {clamp(frames - 1), clamp(div_round_half_even(frames, 2)), clamp(2)};
}

std::int32_t next_lower_quality(std::int32_t quality) {
    auto next = static_cast<std::int32_t>(round_half_even(quality * 0.85));
    if (next >= quality) {
        next = quality - 1;
    }
    return std::max(next, 1);
}

} // namespace veltro::px3
