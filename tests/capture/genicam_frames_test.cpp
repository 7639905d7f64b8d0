// The Aravis back end's pictures and stamps: GenICam pixels into the program's rows, the camera's
// clock onto the PC counter's.
#include "capture/backends/aravis/genicam_frames.h"

#include <gtest/gtest.h>
#include <vector>

namespace veltro {
namespace {

// A 3 x 2 picture (rows of 9 bytes, padded to 12) whose pixels are all different: the top row ends up
// last, each pixel blue, green, red, and the padding zero.
TEST(GenICamFrames, EachFormatGivesBottomUpBgrRowsWithZeroPadding) {
    const std::vector<std::uint8_t> mono = {10, 20, 30, 40, 50, 60};
    const std::vector<std::uint8_t> rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    std::vector<std::uint8_t> bgr = rgb;
    for (std::size_t i = 0; i < bgr.size(); i += 3) {
        std::swap(bgr[i], bgr[i + 2]);
    }
    const std::vector<std::uint8_t> bottom_up_bgr = {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0,
                                                     3,  2,  1,  6,  5,  4,  9,  8,  7,  0, 0, 0};
    const std::vector<std::uint8_t> bottom_up_mono = {40, 40, 40, 50, 50, 50, 60, 60, 60, 0, 0, 0,
                                                      10, 10, 10, 20, 20, 20, 30, 30, 30, 0, 0, 0};
    const struct {
        std::uint32_t format;
        const std::vector<std::uint8_t>& in;
        const std::vector<std::uint8_t>& out;
    } cases[] = {{genicam::kRGB8, rgb, bottom_up_bgr},
                 {genicam::kBGR8, bgr, bottom_up_bgr},
                 {genicam::kMono8, mono, bottom_up_mono}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> dst(24, 0xEE);
        ASSERT_TRUE(genicam_to_bottom_up_bgr(c.format, c.in.data(), c.in.size(), 3, 2, dst.data()))
            << c.format;
        EXPECT_EQ(dst, c.out) << std::hex << c.format;
        // One byte short of the picture: refused, nothing written.
        std::vector<std::uint8_t> untouched(24, 0xEE);
        EXPECT_FALSE(
            genicam_to_bottom_up_bgr(c.format, c.in.data(), c.in.size() - 1, 3, 2, untouched.data()));
        EXPECT_EQ(untouched, std::vector<std::uint8_t>(24, 0xEE));
    }
    std::vector<std::uint8_t> dst(24);
    EXPECT_FALSE(genicam_to_bottom_up_bgr(0x01100007 /* Mono16 */, mono.data(), 12, 3, 2, dst.data()));
}

// Every Bayer layout: a 2 x 2 cell with red 200, greens 90 and 110, blue 40 gives one colour; an odd
// last column and row take their cell's colour too.
TEST(GenICamFrames, BayerCellsGiveTheirRedBlueAndMeanGreen) {
    const struct {
        std::uint32_t format;
        std::uint8_t cell[4]; // top left, top right, bottom left, bottom right
    } cases[] = {{genicam::kBayerRG8, {200, 90, 110, 40}},
                 {genicam::kBayerGR8, {90, 200, 40, 110}},
                 {genicam::kBayerGB8, {90, 40, 200, 110}},
                 {genicam::kBayerBG8, {40, 90, 110, 200}}};
    for (const auto& c : cases) {
        // 3 x 3: the cell repeated, cut off after one column and one row of the next cells.
        const std::uint8_t src[9] = {c.cell[0], c.cell[1], c.cell[0], c.cell[2], c.cell[3],
                                     c.cell[2], c.cell[0], c.cell[1], c.cell[0]};
        std::vector<std::uint8_t> dst(36, 0xEE);
        ASSERT_TRUE(genicam_to_bottom_up_bgr(c.format, src, sizeof src, 3, 3, dst.data()));
        for (int y = 0; y < 2; ++y) { // the rows of the whole cell: the two top-most, stored last
            for (int x = 0; x < 2; ++x) {
                const std::uint8_t* p = dst.data() + (2 - y) * 12 + x * 3;
                EXPECT_EQ(p[0], 40) << std::hex << c.format;
                EXPECT_EQ(p[1], 100) << std::hex << c.format;
                EXPECT_EQ(p[2], 200) << std::hex << c.format;
            }
        }
        EXPECT_NE(dst[2 * 3], 0xEE); // the odd column got a colour too
        EXPECT_NE(dst[0], 0xEE);     // and the odd row
    }
}

TEST(GenICamFrames, CameraStampsKeepTheCameraSpacingFromTheFirstArrival) {
    CameraStampMap map;
    const std::int64_t ms = 1000000;
    // The camera's clock starts anywhere; the first frame lands on its arrival.
    EXPECT_EQ(map.monotonic_ns(5000 * ms, 900000 * ms), 900000 * ms);
    // Later arrivals jitter with the host; the stamps keep the camera's 10 ms (and rise by no more
    // than the drift allowance, 5 µs in 10 ms).
    EXPECT_EQ(map.monotonic_ns(5010 * ms, 900013 * ms), 900010 * ms + 5000);
    EXPECT_EQ(map.monotonic_ns(5020 * ms, 900024 * ms), 900020 * ms + 10000);
    // A frame that came through sooner: the offset follows it down at once.
    EXPECT_EQ(map.monotonic_ns(5030 * ms, 900029 * ms), 900029 * ms);
    // No camera stamp: the arrival.
    EXPECT_EQ(map.monotonic_ns(0, 900044 * ms), 900044 * ms);
    // A camera that was reset (its clock back at zero, or far away) starts over from the arrival.
    EXPECT_EQ(map.monotonic_ns(3 * ms, 900050 * ms), 900050 * ms);
    EXPECT_EQ(map.monotonic_ns(13 * ms, 900061 * ms), 900060 * ms + 5000);
    EXPECT_EQ(map.monotonic_ns(9000 * ms, 900070 * ms), 900070 * ms);
    // After reset() the next frame fixes the offset again.
    map.reset();
    EXPECT_EQ(map.monotonic_ns(9010 * ms, 900085 * ms), 900085 * ms);
}

// An hour of live picture from a camera whose clock runs 100 ppm slow, then one 100 ppm fast, each
// frame reaching the host 2 to 6 ms after it was taken: the stamps stay within the transfer time of
// the moment the picture was taken, not a third of a second off.
TEST(GenICamFrames, CameraStampsFollowACameraClockThatDrifts) {
    for (const std::int64_t ppm : {-100, 100}) {
        CameraStampMap map;
        std::int64_t worst = 0;
        for (std::int64_t frame = 0; frame < 360000; ++frame) {
            const std::int64_t taken = 1000000000000 + frame * 10000000; // host time, 100 a second
            const std::int64_t camera = 7000000000 + frame * 10000000 * (1000000 + ppm) / 1000000;
            const std::int64_t latency = 2000000 + (frame * 7919 % 5) * 1000000;
            const std::int64_t stamp = map.monotonic_ns(static_cast<std::uint64_t>(camera), taken + latency);
            worst = std::max<std::int64_t>(worst, std::llabs(stamp - taken));
        }
        EXPECT_LE(worst, 6000000) << ppm << " ppm";
    }
}

TEST(GenICamFrames, OfferedFormatAndRates) {
    EXPECT_EQ(genicam_offered_rates(0.1, 1000), (std::vector<double>{25, 30, 50, 60, 100, 120, 200, 240}));
    EXPECT_EQ(genicam_offered_rates(1, 163.5), (std::vector<double>{25, 30, 50, 60, 100, 120, 163.5}));
    EXPECT_EQ(genicam_preferred_format({genicam::kMono8, 0x01100007, genicam::kBayerBG8}),
              genicam::kBayerBG8);
    EXPECT_EQ(genicam_preferred_format({0x01100007}), std::nullopt);
}

} // namespace
} // namespace veltro
