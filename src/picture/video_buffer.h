#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace veltro {

// One captured frame between its arrival and its transfer into the recording: the raw 24-bit
// bottom-up BGR pixels of the cropped picture and the packed 44-byte little-endian sample header
// that carries the frame's three capture times.
//
// Sample header: 0 "RGBS", 4 length word 44 (uint16), 6 compression flag (int16, 0 = raw pixels),
// 8 Capture_Mill, 12 Capture_Delta, 16 Capture_Local (int32 each), 20..39 zero, 40 "RGBE".
class CVideobuff_RGB {
public:
    static constexpr std::int32_t kSampleHeaderSize = 44;

    CVideobuff_RGB();

    // Setting the length reallocates the payload to exactly that many zero bytes.
    std::int32_t RGB_Length() const { return static_cast<std::int32_t>(payload_.size()); }
    void RGB_Length(std::int32_t length);

    std::uint8_t* RGB_Buffer_Address() { return payload_.data(); }
    const std::uint8_t* Video_Adress() const { return payload_.data(); }

    // Copies RGB_Length bytes from `source` (a plain block copy) and marks the payload as raw pixels.
    void FillData_RGB(const std::uint8_t* source);

    std::int16_t ID() const { return id_; }
    void ID(std::int16_t value) { id_ = value; }

    void PutTimestamp(std::int32_t mill, std::int32_t local, std::int32_t delta);
    std::int32_t Capture_Mill() const { return get_long(8); }
    std::int32_t Capture_Delta() const { return get_long(12); }
    std::int32_t Capture_Local() const { return get_long(16); }
    std::int16_t compression_flag() const;

    const std::uint8_t* RGB_Sample_Address() const { return header_.data(); }
    std::int32_t RGB_Sample_Len() const { return RGB_Length() + kSampleHeaderSize; }

private:
    std::int32_t get_long(std::size_t offset) const;
    void put_long(std::size_t offset, std::int32_t value);

    std::int16_t id_ = 0;
    std::array<std::uint8_t, kSampleHeaderSize> header_{};
    std::vector<std::uint8_t> payload_;
};

// Frame `index` (1-based) of the captured frames; the recording writer borrows frames through it so
// that it does not depend on how the capture side stores them.
using FrameAt = std::function<const CVideobuff_RGB&(std::int32_t index)>;

} // namespace veltro
