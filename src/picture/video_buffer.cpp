#include "picture/video_buffer.h"

#include "support/byte_order.h"
#include "support/veltro_error.h"

#include <cstring>

namespace veltro {

CVideobuff_RGB::CVideobuff_RGB() {
    std::memcpy(header_.data(), "RGBS", 4);
    header_[4] = kSampleHeaderSize;
    header_[5] = 0;
    std::memcpy(header_.data() + 40, "RGBE", 4);
}

void CVideobuff_RGB::RGB_Length(std::int32_t length) {
    if (length < 0) {
        throw VeltroError(err::kSubscriptOutOfRange, "Negative frame length");
    }
    std::vector<std::uint8_t>(static_cast<std::size_t>(length), 0).swap(payload_);
}

void CVideobuff_RGB::FillData_RGB(const std::uint8_t* source) {
    if (!payload_.empty()) {
        std::memcpy(payload_.data(), source, payload_.size());
    }
    header_[6] = 0;
    header_[7] = 0;
}

void CVideobuff_RGB::PutTimestamp(std::int32_t mill, std::int32_t local, std::int32_t delta) {
    put_long(8, mill);
    put_long(16, local);
    put_long(12, delta);
}

std::int16_t CVideobuff_RGB::compression_flag() const {
    return le::get_i16(header_.data() + 6);
}

std::int32_t CVideobuff_RGB::get_long(std::size_t offset) const {
    return le::get_i32(header_.data() + offset);
}

void CVideobuff_RGB::put_long(std::size_t offset, std::int32_t value) {
    le::put_i32(header_.data() + offset, value);
}

} // namespace veltro
