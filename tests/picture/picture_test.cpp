#include "fake_operator.h"
#include "picture/dib_section.h"
#include "picture/jpeg_codec.h"
#include "picture/test_picture.h"
#include "picture/video_buffer.h"
#include "recording/recording_fixture.h"
#include "support/veltro_error.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <vector>

namespace veltro {
namespace {

TEST(DibSection, ScanLinesArePaddedToFourBytes) {
    cDIBSection dib;
    for (auto [width, expected] : {std::pair{1, 4}, {400, 1200}, {401, 1204}, {2, 8}, {3, 12}}) {
        ASSERT_TRUE(dib.Create(width, 5));
        EXPECT_EQ(dib.BytesPerScanLine(), expected) << "width " << width;
        EXPECT_EQ(dib.SizeImage(), expected * 5);
    }
    ASSERT_TRUE(dib.Create(600, 1080));
    EXPECT_EQ(dib.SizeImage(), 1944000);
    EXPECT_EQ(dib.pBitmapInfo().bi_size_image, 1944000u);
    EXPECT_EQ(dib.pBitmapInfo().bi_bit_count, 24);
}

TEST(DibSection, RefusesImpossibleSizesAndStaysEmpty) {
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(10, 10));
    EXPECT_FALSE(dib.Create(0, 10));
    EXPECT_TRUE(dib.empty());
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
    EXPECT_FALSE(dib.Create(-5, 10));
    EXPECT_FALSE(dib.Create(100000, 100000)); // more than a Long of pixel memory
    EXPECT_TRUE(dib.empty());
}

TEST(DibSection, FillWritesBlueGreenRedAndKeepsPaddingAndDrawDibSwitch) {
    cDIBSection dib;
    dib.UseDrawDib(true);
    ASSERT_TRUE(dib.Create(401, 3));
    EXPECT_TRUE(dib.UseDrawDib());
    dib.Fill_with_RGB(0xFF);
    const std::uint8_t* p = dib.DIBSectionBitsPtr();
    for (int y = 0; y < 3; ++y) {
        const std::uint8_t* row = p + y * 1204;
        EXPECT_EQ(row[0], 0);
        EXPECT_EQ(row[1], 0);
        EXPECT_EQ(row[2], 255);
        EXPECT_EQ(row[400 * 3 + 2], 255);
        EXPECT_EQ(row[1203], 0) << "padding byte of row " << y;
    }
    dib.Fill_with_RGB(16711680); // blue
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[2], 0);
    // Row 0 from the top is the last row in memory.
    EXPECT_EQ(dib.scan_line(0), p + 2 * 1204);
}

TEST(VideoBuffer, SampleHeaderLayout) {
    CVideobuff_RGB frame;
    EXPECT_EQ(frame.RGB_Sample_Len(), 44);
    const std::uint8_t* h = frame.RGB_Sample_Address();
    EXPECT_EQ(std::memcmp(h, "RGBS", 4), 0);
    EXPECT_EQ(h[4] | (h[5] << 8), 44);
    EXPECT_EQ(std::memcmp(h + 40, "RGBE", 4), 0);

    frame.PutTimestamp(0x01020304, 0x11121314, 0x21222324);
    // Raw order in the header is mill, delta, local.
    const std::uint8_t expected[12] = {4, 3, 2, 1, 0x24, 0x23, 0x22, 0x21, 0x14, 0x13, 0x12, 0x11};
    EXPECT_EQ(std::memcmp(h + 8, expected, 12), 0);
    for (int i = 20; i < 40; ++i) {
        EXPECT_EQ(h[i], 0) << i;
    }
    EXPECT_EQ(frame.Capture_Mill(), 0x01020304);
    EXPECT_EQ(frame.Capture_Local(), 0x11121314);
    EXPECT_EQ(frame.Capture_Delta(), 0x21222324);
}

TEST(VideoBuffer, ResizeDiscardsPayloadAndFillCopiesExactly) {
    CVideobuff_RGB frame;
    frame.RGB_Length(6);
    const std::uint8_t source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    frame.FillData_RGB(source);
    EXPECT_EQ(frame.RGB_Sample_Len(), 50);
    EXPECT_EQ(std::memcmp(frame.Video_Adress(), source, 6), 0);
    EXPECT_EQ(frame.compression_flag(), 0);
    frame.RGB_Length(4);
    EXPECT_EQ(frame.RGB_Length(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(frame.Video_Adress()[i], 0);
    }
    EXPECT_THROW(frame.RGB_Length(-1), VeltroError);
}

using testing::mean_difference;

class JpegTest : public ::testing::Test {
protected:
    testing::FakeOperator op;
};

TEST_F(JpegTest, RoundTripsOddSizesWithRowPadding) {
    for (auto [w, h] : {std::pair{1, 1}, {1, 17}, {401, 33}, {63, 65}, {600, 1080}}) {
        cDIBSection in;
        ASSERT_TRUE(in.Create(w, h));
        Render_Test_Picture(in, 7);
        std::vector<std::uint8_t> buffer(in.SizeImage() + 2048);
        std::int32_t size = static_cast<std::int32_t>(buffer.size());
        ASSERT_TRUE(JPG_From_DIB(in, buffer.data(), size, 90));
        ASSERT_GT(size, 0);
        ASSERT_LT(size, static_cast<std::int32_t>(buffer.size()));

        cDIBSection out;
        out.Create(3, 3); // re-created at the stream's size
        ASSERT_TRUE(DIB_From_JPG(out, buffer.data(), size)) << w << "x" << h;
        ASSERT_EQ(out.Width(), w);
        ASSERT_EQ(out.Height(), h);
        // Not upside down, not shifted by the padding: the picture stays close to the original.
        EXPECT_LT(mean_difference(in, out), 12.0) << w << "x" << h;
    }
}

TEST_F(JpegTest, OrientationIsKeptForBottomUpRows) {
    cDIBSection in;
    ASSERT_TRUE(in.Create(32, 32));
    in.Fill_with_RGB(0x000000);
    for (int y = 0; y < 8; ++y) {
        std::memset(in.scan_line(y), 255, 32 * 3); // white band at the top
    }
    std::vector<std::uint8_t> buffer(20000);
    std::int32_t size = 20000;
    ASSERT_TRUE(JPG_From_DIB(in, buffer.data(), size, 95));
    // Another decoder, reading top-down, must see the band at the top: a codec that flipped the
    // picture both ways would still round-trip.
    std::vector<unsigned char> plain(32 * 32 * 3);
    tjhandle d = tjInitDecompress();
    ASSERT_EQ(tjDecompress2(d, buffer.data(), size, plain.data(), 32, 0, 32, TJPF_BGR, 0), 0);
    tjDestroy(d);
    EXPECT_GT(plain[2 * 96 + 40], 200);
    EXPECT_LT(plain[29 * 96 + 40], 50);
    cDIBSection out;
    ASSERT_TRUE(DIB_From_JPG(out, buffer.data(), size));
    EXPECT_GT(out.scan_line(2)[40], 200);
    EXPECT_LT(out.scan_line(29)[40], 50);
}

TEST_F(JpegTest, CompressionFailuresRaise26001AndKeepTheSize) {
    cDIBSection in;
    ASSERT_TRUE(in.Create(600, 1080));
    Render_Test_Picture(in, 1);
    std::vector<std::uint8_t> buffer(1000);
    std::int32_t size = 1000; // far too small for this picture
    try {
        JPG_From_DIB(in, buffer.data(), size, 80);
        FAIL() << "no error";
    } catch (const VeltroError& e) {
        EXPECT_EQ(e.number(), 26001);
        EXPECT_EQ(e.description().rfind("Failed to save to JPG ", 0), 0u) << e.description();
    }
    EXPECT_EQ(size, 1000);
    size = 1000;
    EXPECT_THROW(JPG_From_DIB(in, buffer.data(), size, 0), VeltroError);
    EXPECT_THROW(JPG_From_DIB(in, buffer.data(), size, 101), VeltroError);
    cDIBSection empty;
    EXPECT_THROW(JPG_From_DIB(empty, buffer.data(), size, 80), VeltroError);
}

TEST_F(JpegTest, GreyStreamFillsAllThreeChannels) {
    // A grey stream as another program would write it.
    const int w = 40;
    const int h = 20;
    std::vector<unsigned char> grey(w * h);
    for (int i = 0; i < w * h; ++i) {
        grey[i] = static_cast<unsigned char>((i % w) * 6);
    }
    tjhandle c = tjInitCompress();
    unsigned char* jpg = nullptr;
    unsigned long jpg_size = 0;
    ASSERT_EQ(tjCompress2(c, grey.data(), w, w, h, TJPF_GRAY, &jpg, &jpg_size, TJSAMP_GRAY, 95, 0), 0);
    tjDestroy(c);
    const auto header = read_jpg_header(jpg, static_cast<std::int32_t>(jpg_size));
    ASSERT_TRUE(header.has_value());
    EXPECT_TRUE(header->grey);

    cDIBSection out;
    const bool ok = DIB_From_JPG(out, jpg, static_cast<std::int32_t>(jpg_size));
    tjFree(jpg);
    ASSERT_TRUE(ok);
    const std::uint8_t* px = out.scan_line(5) + 30 * 3;
    EXPECT_NEAR(px[0], 180, 4);
    EXPECT_EQ(px[0], px[1]);
    EXPECT_EQ(px[1], px[2]);
}

TEST_F(JpegTest, TruncatedOrCorruptStreamsReturnFalse) {
    cDIBSection in;
    ASSERT_TRUE(in.Create(401, 300));
    Render_Test_Picture(in, 2);
    std::vector<std::uint8_t> buffer(in.SizeImage());
    std::int32_t size = in.SizeImage();
    ASSERT_TRUE(JPG_From_DIB(in, buffer.data(), size, 80));

    cDIBSection out;
    EXPECT_FALSE(DIB_From_JPG(out, buffer.data(), size / 2)); // cut in the middle of the scan
    EXPECT_FALSE(DIB_From_JPG(out, buffer.data(), 10));       // cut inside the header
    EXPECT_FALSE(DIB_From_JPG(out, buffer.data(), 0));
    std::vector<std::uint8_t> junk(5000, 0x5A);
    EXPECT_FALSE(DIB_From_JPG(out, junk.data(), 5000));
    EXPECT_EQ(op.messages.size(), 3u); // the header failures are told; the scan failure is not
    EXPECT_EQ(op.messages.front().text, "Failed to read JPG");

    std::vector<std::uint8_t> damaged(buffer.begin(), buffer.begin() + size);
    for (std::size_t i = damaged.size() / 3; i < damaged.size() - 2; i += 7) {
        damaged[i] = 0xFF; // markers in the middle of entropy-coded data
    }
    EXPECT_FALSE(DIB_From_JPG(out, damaged.data(), static_cast<std::int32_t>(damaged.size())));

    // A failure leaves nothing behind: the next sound stream decodes.
    EXPECT_TRUE(DIB_From_JPG(out, buffer.data(), size));
    EXPECT_FALSE(DIB_From_JPG(out, junk.data(), 5000));
    EXPECT_TRUE(DIB_From_JPG(out, buffer.data(), size));
}

} // namespace
} // namespace veltro
