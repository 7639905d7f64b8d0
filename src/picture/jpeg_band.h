#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace veltro {

// A rectangle of picture pixels counted from the top-left corner: columns left .. left + width - 1,
// rows top .. top + height - 1.
struct JpegBand {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// A JPEG picture of width x height as a camera sent it, of which only `window` is wanted (a
// capture's crop). The bytes stay the caller's.
struct JpegWindowFrame {
    const std::uint8_t* jpg = nullptr;
    std::size_t length = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    JpegBand window;
};

// Decodes one band of a JPEG picture and no more: the rows above the band are only entropy-decoded,
// the rows below it are not read, and only the block columns that hold the band are transformed and
// coloured. The band's pixels are the ones a whole decode (DIB_From_JPG) gives. A decoder keeps its
// library state between pictures; use one per thread.
class JpegBandDecoder {
public:
    JpegBandDecoder();
    ~JpegBandDecoder();
    JpegBandDecoder(const JpegBandDecoder&) = delete;
    JpegBandDecoder& operator=(const JpegBandDecoder&) = delete;

    // Decodes `band` of the `length`-byte stream at `jpg` into `pixels`: band.height rows of
    // band.width blue-green-red pixels, top row first, no padding. The stream must hold a picture of
    // width x height (the size its owner expects: sizes in a stream are not trusted) that contains
    // the band. A stream that is damaged, cut short (any library warning counts) or of another size
    // fails with VeltroError 26001; `pixels` is then unspecified. Never reads outside the stream.
    void decode(const std::uint8_t* jpg, std::size_t length, std::int32_t width, std::int32_t height,
                const JpegBand& band, std::vector<std::uint8_t>& pixels);
    // The same into rows the caller holds: band row r goes to first_row + r * row_step (a negative
    // step for bottom-up pictures), band.width * 3 bytes each. The decoder's own buffers are kept
    // from picture to picture once it has seen a band of this width (the library's working memory
    // still comes and goes with each picture).
    void decode_into(const std::uint8_t* jpg, std::size_t length, std::int32_t width, std::int32_t height,
                     const JpegBand& band, std::uint8_t* first_row, std::ptrdiff_t row_step);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace veltro
