#include "picture/jpeg_band.h"

#include "support/veltro_error.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <string>

// jpeglib.h leaves size_t and FILE to its includer.
#include <jpeglib.h>

namespace veltro {

namespace {

// Columns decoded beyond each side of the band: the chroma upsampler treats the edge of a decoded
// region as the edge of the picture, so the pixels next to it differ from a whole decode.
constexpr std::int32_t kSideMargin = 4;
// Rows handed out by the library per call.
constexpr std::int32_t kRowsPerRead = 16;
// The widest decoded region beyond the band: the margins and the alignment of its left edge to a
// block column (at most 31 pixels for 4:2:0 and 4:4:4 alike).
constexpr std::int32_t kRegionSlack = 2 * kSideMargin + 32;

// The library's error exit must not end the program: it jumps back into decode_band, which reports
// the failure. A warning (corrupt data, a stream cut short) fails the same way at once: the picture
// would be incomplete, as the whole decode also counts it.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void error_exit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void emit_message(j_common_ptr cinfo, int level) {
    if (level < 0) {
        error_exit(cinfo);
    }
}

void output_message(j_common_ptr) {}

// Decodes the band; false with the reason in err.message. Only trivially destructible objects live in
// this function, as the library's errors jump back into it. `region` holds kRowsPerRead rows of
// region_width pixels.
bool decode_band(jpeg_decompress_struct& cinfo, ErrorManager& err, const std::uint8_t* jpg,
                 std::size_t length, std::int32_t width, std::int32_t height, const JpegBand& band,
                 std::uint8_t* region, std::int32_t region_width, std::uint8_t* out,
                 std::ptrdiff_t out_step) {
    if (setjmp(err.jump) != 0) {
        jpeg_abort_decompress(&cinfo);
        return false;
    }
    jpeg_mem_src(&cinfo, jpg, static_cast<unsigned long>(length));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        std::snprintf(err.message, sizeof err.message, "no picture in the stream");
        jpeg_abort_decompress(&cinfo);
        return false;
    }
    if (cinfo.image_width != static_cast<JDIMENSION>(width) ||
        cinfo.image_height != static_cast<JDIMENSION>(height)) {
        std::snprintf(err.message, sizeof err.message, "a picture of %u*%u, not %d*%d", cinfo.image_width,
                      cinfo.image_height, width, height);
        jpeg_abort_decompress(&cinfo);
        return false;
    }
    // What a whole decode does: accurate integer transform, smooth chroma upsampling, BGR out.
    cinfo.out_color_space = JCS_EXT_BGR;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&cinfo);

    const std::int32_t wanted_left = std::max(0, band.left - kSideMargin);
    const std::int32_t wanted_right = std::min(width, band.left + band.width + kSideMargin);
    auto x = static_cast<JDIMENSION>(wanted_left);
    auto w = static_cast<JDIMENSION>(wanted_right - wanted_left);
    jpeg_crop_scanline(&cinfo, &x, &w);
    if (static_cast<std::int32_t>(w) > region_width) {
        std::snprintf(err.message, sizeof err.message, "decoded region of %u columns", w);
        jpeg_abort_decompress(&cinfo);
        return false;
    }
    jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(band.top));

    const std::size_t region_stride = static_cast<std::size_t>(w) * 3;
    const std::size_t band_stride = static_cast<std::size_t>(band.width) * 3;
    const std::size_t first_column = static_cast<std::size_t>(band.left - static_cast<std::int32_t>(x)) * 3;
    JSAMPROW rows[kRowsPerRead];
    for (std::int32_t r = 0; r < kRowsPerRead; ++r) {
        rows[r] = region + static_cast<std::size_t>(r) * region_stride;
    }
    const auto end = static_cast<JDIMENSION>(band.top + band.height);
    while (cinfo.output_scanline < end) {
        const JDIMENSION first = cinfo.output_scanline;
        const JDIMENSION want = std::min<JDIMENSION>(kRowsPerRead, end - first);
        const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, want);
        for (JDIMENSION r = 0; r < got; ++r) {
            const auto y = static_cast<std::int32_t>(first + r);
            if (y >= band.top) {
                std::copy_n(rows[r] + first_column, band_stride, out + (y - band.top) * out_step);
            }
        }
    }
    // The rows below the band are not needed: the stream is left unread from here.
    jpeg_abort_decompress(&cinfo);
    return true;
}

} // namespace

struct JpegBandDecoder::State {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    std::vector<std::uint8_t> region;

    State() {
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = error_exit;
        err.pub.emit_message = emit_message;
        err.pub.output_message = output_message;
        jpeg_create_decompress(&cinfo);
    }
    ~State() { jpeg_destroy_decompress(&cinfo); }
};

JpegBandDecoder::JpegBandDecoder() : state_(std::make_unique<State>()) {}
JpegBandDecoder::~JpegBandDecoder() = default;

void JpegBandDecoder::decode(const std::uint8_t* jpg, std::size_t length, std::int32_t width,
                             std::int32_t height, const JpegBand& band, std::vector<std::uint8_t>& pixels) {
    if (band.width > 0 && band.height > 0) {
        pixels.resize(static_cast<std::size_t>(band.width) * 3 * static_cast<std::size_t>(band.height));
    }
    decode_into(jpg, length, width, height, band, pixels.data(), std::ptrdiff_t{band.width} * 3);
}

void JpegBandDecoder::decode_into(const std::uint8_t* jpg, std::size_t length, std::int32_t width,
                                  std::int32_t height, const JpegBand& band, std::uint8_t* first_row,
                                  std::ptrdiff_t row_step) {
    if (jpg == nullptr || length == 0) {
        throw VeltroError(err::kJpeg, "Failed to read JPG: empty stream");
    }
    if (band.width <= 0 || band.height <= 0 || band.left < 0 || band.top < 0 ||
        std::int64_t{band.left} + band.width > width || std::int64_t{band.top} + band.height > height) {
        throw VeltroError(err::kJpeg, "Failed to read JPG: band outside the picture");
    }
    const std::int32_t region_width = std::min(width, band.width + kRegionSlack);
    State& s = *state_;
    s.region.resize(static_cast<std::size_t>(region_width) * 3 * kRowsPerRead);
    if (!decode_band(s.cinfo, s.err, jpg, length, width, height, band, s.region.data(), region_width,
                     first_row, row_step)) {
        throw VeltroError(err::kJpeg, std::string("Failed to read JPG: ") + s.err.message);
    }
}

} // namespace veltro
