#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// The 40-byte bitmap info header that describes a section: 24 bits per pixel, uncompressed, positive
// height for bottom-up rows.
struct BitmapInfoHeader {
    std::uint32_t bi_size = 40;
    std::int32_t bi_width = 0;
    std::int32_t bi_height = 0;
    std::uint16_t bi_planes = 1;
    std::uint16_t bi_bit_count = 24;
    std::uint32_t bi_compression = 0;
    std::uint32_t bi_size_image = 0;
    std::int32_t bi_x_pels_per_meter = 0;
    std::int32_t bi_y_pels_per_meter = 0;
    std::uint32_t bi_clr_used = 0;
    std::uint32_t bi_clr_important = 0;
};

// The program's in-memory picture: an owned 24-bit bottom-up pixel buffer, blue-green-red per pixel,
// rows padded to a multiple of 4 bytes. Codecs and block copies work on its pixel memory directly;
// windows draw it through a QImage view.
class cDIBSection {
public:
    cDIBSection() = default;

    // Tags an owner attaches to a picture (stored only).
    std::int32_t Capture_events() const { return capture_events_; }
    void Capture_events(std::int32_t value) { capture_events_ = value; }
    std::int32_t Capture_Local() const { return capture_local_; }
    void Capture_Local(std::int32_t value) { capture_local_ = value; }
    std::int32_t Capture_Mill() const { return capture_mill_; }
    void Capture_Mill(std::int32_t value) { capture_mill_ = value; }
    const std::string& ID_string() const { return id_string_; }
    void ID_string(const std::string& value) { id_string_ = value; }
    const std::string& Extra_string() const { return extra_string_; }
    void Extra_string(const std::string& value) { extra_string_ = value; }

    // Whether windows should stretch the picture when they draw it; survives Create.
    bool UseDrawDib() const { return use_draw_dib_; }
    void UseDrawDib(bool value) { use_draw_dib_ = value; }

    // Makes a zero-filled section of width x height. False (and an empty section) for a size that is
    // not positive or whose pixel memory would not fit a Long.
    bool Create(std::int32_t width, std::int32_t height);
    // Releases the pixels; the section is then empty (size 0, no pixel address).
    void ClearUp();

    std::int32_t Width() const { return info_.bi_width; }
    std::int32_t Height() const { return info_.bi_height; }
    std::int32_t BytesPerScanLine() const { return bytes_per_scan_line(info_.bi_width); }
    std::int32_t SizeImage() const { return static_cast<std::int32_t>(info_.bi_size_image); }
    const BitmapInfoHeader& pBitmapInfo() const { return info_; }
    bool empty() const { return pixels_.empty(); }

    // First byte of the bottom row; nullptr for an empty section.
    std::uint8_t* DIBSectionBitsPtr() { return pixels_.empty() ? nullptr : pixels_.data(); }
    const std::uint8_t* DIBSectionBitsPtr() const { return pixels_.empty() ? nullptr : pixels_.data(); }
    // Row `y` counted from the top of the picture (0 = top row).
    std::uint8_t* scan_line(std::int32_t y) {
        return pixels_.data() + static_cast<std::size_t>(Height() - 1 - y) * BytesPerScanLine();
    }
    const std::uint8_t* scan_line(std::int32_t y) const {
        return pixels_.data() + static_cast<std::size_t>(Height() - 1 - y) * BytesPerScanLine();
    }

    // Fills every pixel with one colour written &HBBGGRR (red in the low byte). Row padding stays 0.
    void Fill_with_RGB(std::int32_t colour);

    // (width x 3 + 3) with the two lowest bits cleared.
    static std::int32_t bytes_per_scan_line(std::int32_t width) { return (width * 3 + 3) & ~3; }

private:
    BitmapInfoHeader info_;
    std::vector<std::uint8_t> pixels_;
    bool use_draw_dib_ = false;
    std::int32_t capture_events_ = 0;
    std::int32_t capture_local_ = 0;
    std::int32_t capture_mill_ = 0;
    std::string id_string_;
    std::string extra_string_;
};

} // namespace veltro
