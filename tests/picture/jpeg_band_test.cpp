#include "fake_operator.h"
#include "picture/dib_section.h"
#include "picture/jpeg_band.h"
#include "picture/jpeg_codec.h"
#include "picture/test_picture.h"
#include "support/veltro_error.h"

#include <gtest/gtest.h>
#include <string>
#include <turbojpeg.h>
#include <vector>

namespace veltro {
namespace {

// A test picture of width x height compressed at quality 80 with the given chroma subsampling.
std::vector<std::uint8_t> compressed(std::int32_t width, std::int32_t height, int subsampling) {
    cDIBSection picture;
    EXPECT_TRUE(picture.Create(width, height));
    Render_Test_Picture(picture, 7);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(tjCompress2(tj, picture.DIBSectionBitsPtr(), width, picture.BytesPerScanLine(), height,
                          TJPF_BGR, &out, &size, subsampling, 80, TJFLAG_BOTTOMUP),
              0);
    std::vector<std::uint8_t> stream(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return stream;
}

// Pixels of `band` that differ from the whole decode, as "x,y" texts (at most a few).
std::vector<std::string> differences(const cDIBSection& whole, const JpegBand& band,
                                     const std::vector<std::uint8_t>& pixels) {
    std::vector<std::string> found;
    for (std::int32_t y = 0; y < band.height && found.size() < 4; ++y) {
        const std::uint8_t* expected = whole.scan_line(band.top + y) + 3 * band.left;
        const std::uint8_t* got = pixels.data() + static_cast<std::size_t>(y) * band.width * 3;
        for (std::int32_t x = 0; x < band.width * 3 && found.size() < 4; ++x) {
            if (expected[x] != got[x]) {
                found.push_back(std::to_string(band.left + x / 3) + "," + std::to_string(band.top + y));
            }
        }
    }
    return found;
}

// The band decoder cuts work by skipping rows and cropping block columns; at every place a band can
// take (odd offsets, one pixel wide, touching each edge, the whole picture) its pixels must be the
// whole decode's, including where the chroma upsampler reaches across the cut.
TEST(JpegBand, GivesTheWholeDecodesPixelsAtEveryPlace) {
    testing::FakeOperator op;
    struct Size {
        std::int32_t width, height;
    };
    for (const int subsampling : {TJSAMP_420, TJSAMP_422, TJSAMP_444}) {
        for (const Size size : {Size{600, 1080}, Size{401, 283}}) {
            const auto stream = compressed(size.width, size.height, subsampling);
            cDIBSection whole;
            ASSERT_TRUE(DIB_From_JPG(whole, stream.data(), static_cast<std::int32_t>(stream.size())));
            const std::int32_t w = size.width;
            const std::int32_t h = size.height;
            const JpegBand bands[] = {
                {w / 2, h / 10, 1, h * 8 / 10},             // a goal line's column
                {w / 2 + 1, h / 10 + 1, 1, h * 8 / 10 - 1}, // odd, off every block edge
                {15, 17, 2, 15},                            // both sides of a block edge
                {16, 31, 33, 34},
                {0, 0, 1, h},         // left edge, whole height
                {w - 1, 0, 1, h},     // right edge
                {w - 3, h - 5, 3, 5}, // bottom-right corner
                {0, h - 1, w, 1},     // last row alone
                {0, 0, w, 1},         // first row alone
                {7, 1, w - 9, 3},     // a rotated picture's line: a few rows, wide
                {0, 0, w, h},         // everything
            };
            JpegBandDecoder decoder;
            std::vector<std::uint8_t> pixels;
            for (const JpegBand& band : bands) {
                decoder.decode(stream.data(), stream.size(), w, h, band, pixels);
                ASSERT_EQ(pixels.size(), static_cast<std::size_t>(band.width) * band.height * 3);
                EXPECT_EQ(differences(whole, band, pixels), std::vector<std::string>{})
                    << "subsampling " << subsampling << ", " << w << "*" << h << ", band at " << band.left
                    << "," << band.top << " of " << band.width << "*" << band.height;
            }
        }
    }
}

// Damaged streams fail with the JPEG error and leave the decoder fit for the next picture: the
// library must neither end the program nor keep a broken state.
TEST(JpegBand, RefusesDamagedStreamsWrongSizesAndBandsOutsideAndGoesOn) {
    testing::FakeOperator op;
    const auto stream = compressed(400, 880, TJSAMP_420);
    const JpegBand band{200, 88, 1, 704};
    JpegBandDecoder decoder;
    std::vector<std::uint8_t> pixels;
    auto fails = [&](const std::vector<std::uint8_t>& bytes, std::int32_t w, std::int32_t h,
                     const JpegBand& b) {
        try {
            decoder.decode(bytes.data(), bytes.size(), w, h, b, pixels);
        } catch (const VeltroError& e) {
            EXPECT_EQ(e.number(), err::kJpeg);
            EXPECT_NE(e.description().find("Failed to read JPG"), std::string::npos) << e.description();
            return true;
        }
        return false;
    };
    // Cut short inside the band's rows, garbage in the entropy data, no stream at all.
    std::vector<std::uint8_t> cut(stream.begin(), stream.begin() + static_cast<long>(stream.size() / 2));
    EXPECT_TRUE(fails(cut, 400, 880, band));
    std::vector<std::uint8_t> garbled = stream;
    for (std::size_t i = 1000; i < garbled.size() / 2; i += 97) {
        garbled[i] = 0xFF;
    }
    EXPECT_TRUE(fails(garbled, 400, 880, band));
    EXPECT_TRUE(fails(std::vector<std::uint8_t>(500, 0x42), 400, 880, band));
    EXPECT_TRUE(fails({}, 400, 880, band));
    // Sizes in the stream are checked against the expected ones; bands must lie in the picture.
    EXPECT_TRUE(fails(stream, 600, 1080, band));
    EXPECT_TRUE(fails(stream, 400, 880, JpegBand{399, 0, 2, 10}));
    EXPECT_TRUE(fails(stream, 400, 880, JpegBand{0, 870, 1, 11}));
    EXPECT_TRUE(fails(stream, 400, 880, JpegBand{-1, 0, 1, 1}));
    EXPECT_TRUE(fails(stream, 400, 880, JpegBand{0, 0, 0, 1}));

    cDIBSection whole;
    ASSERT_TRUE(DIB_From_JPG(whole, stream.data(), static_cast<std::int32_t>(stream.size())));
    ASSERT_FALSE(fails(stream, 400, 880, band));
    EXPECT_EQ(differences(whole, band, pixels), std::vector<std::string>{});
}

} // namespace
} // namespace veltro
