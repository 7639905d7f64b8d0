#include "recording/px3_layout.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace veltro::px3 {
namespace {

TEST(Px3Layout, TwoFramesOfTwentyThousandBytes) {
    const std::int32_t s = sample_size_for(20000);
    EXPECT_EQ(s, 20058);
    EXPECT_EQ(frame_offset(1, s), 32016);
    EXPECT_EQ(frame_offset(2, s), 52074);
    EXPECT_EQ(frame_offset(3, s), 72132); // the end of a two-frame file
    // No overflow for the last frame a recording can hold at a large sample size.
    EXPECT_EQ(frame_offset(kMaxFrames, 2000058), 32016 + 32766LL * 2000058);
}

TEST(Px3Layout, HeaderBlockPadsTheTextWithZerosUpToTheEndMagic) {
    const std::string text(5000, 'x');
    auto block = std::make_unique<HeaderBlock>();
    encode_header_block(text, *block);
    EXPECT_EQ(std::memcmp(block->data(), "PXV3", 4), 0);
    EXPECT_EQ(std::memcmp(block->data() + 32012, "PXVX", 4), 0);
    EXPECT_EQ((*block)[4] | ((*block)[5] << 8), 32016);
    EXPECT_EQ((*block)[8] | ((*block)[9] << 8), 5000);
    EXPECT_EQ((*block)[12 + 4999], 'x');
    int zeros = 0;
    for (int i = 12 + 5000; i < 32012; ++i) {
        zeros += (*block)[i] == 0;
    }
    EXPECT_EQ(zeros, 27000);

    const auto c = decode_header_block(block->data(), block->size());
    EXPECT_TRUE(c.magic_ok);
    EXPECT_TRUE(c.text_ok);
    EXPECT_EQ(c.text, text);
}

TEST(Px3Layout, OversizedTextsAreRefusedAndNotTrusted) {
    auto block = std::make_unique<HeaderBlock>();
    encode_header_block(std::string(32000, 'a'), *block); // exactly full is fine
    EXPECT_THROW(encode_header_block(std::string(32001, 'a'), *block), VeltroError);

    // A block claiming a longer text (or a negative one) is a recording without header.
    for (std::int32_t bad : {32001, -1, 0x7FFFFFFF}) {
        (*block)[8] = static_cast<std::uint8_t>(bad);
        (*block)[9] = static_cast<std::uint8_t>(bad >> 8);
        (*block)[10] = static_cast<std::uint8_t>(bad >> 16);
        (*block)[11] = static_cast<std::uint8_t>(bad >> 24);
        const auto c = decode_header_block(block->data(), block->size());
        EXPECT_FALSE(c.text_ok) << bad;
        EXPECT_TRUE(c.text.empty());
    }
    EXPECT_FALSE(decode_header_block(block->data(), 100).magic_ok); // short file
}

TEST(Px3Layout, RecordFieldsRoundTripAtTheirOffsets) {
    std::vector<std::uint8_t> rec(sample_size_for(1000), 0xEE);
    RecordFields f;
    f.capture_mill = -5;
    f.capture_delta = 40;
    f.capture_local = 45296789;
    f.quality = 68;
    f.jpeg_size = 999;
    f.data_count = 1000;
    put_record_fields(rec.data(), f);
    EXPECT_TRUE(has_record_magic(rec.data()));
    EXPECT_EQ(std::memcmp(rec.data() + 40, "RGBE", 4), 0);
    EXPECT_EQ(std::memcmp(rec.data() + 1054, "RGBF", 4), 0);
    EXPECT_EQ(rec[24], 68);
    EXPECT_EQ(rec[44], 1);
    EXPECT_EQ(rec[50], 1);
    EXPECT_EQ(rec[54], 0xEE) << "the data area is not touched";
    const auto g = get_record_fields(rec.data());
    EXPECT_EQ(g.capture_mill, -5);
    EXPECT_EQ(g.capture_delta, 40);
    EXPECT_EQ(g.capture_local, 45296789);
    EXPECT_EQ(g.jpeg_size, 999);
    EXPECT_EQ(g.data_count, 1000);
}

TEST(Px3Layout, ChecksumTakesEveryThousandthByteFromTheHundredth) {
    std::vector<std::uint8_t> data(5000, 0);
    data[99] = 1;
    data[1099] = 2;
    data[2099] = 4;
    data[3099] = 8;
    EXPECT_EQ(record_checksum(data.data(), 5000, 3100, 5058), 15);
    EXPECT_EQ(record_checksum(data.data(), 5000, 3099, 5058), 7);
    EXPECT_EQ(record_checksum(data.data(), 5000, 99, 5058), 0);
    EXPECT_EQ(record_checksum(data.data(), 5000, 100000, 2100), 3) << "bounded by the sample size";
}

TEST(Px3Layout, DataSizeFromTrialCompressions) {
    EXPECT_EQ(data_size_for(std::max({14321, 15002, 13870})), 20000);
    EXPECT_EQ(data_size_for(0), 5000); // a codec without trial compressions
    EXPECT_EQ(data_size_for(14499), 19000);
    EXPECT_EQ(data_size_for(14500), 20000);
    EXPECT_THROW(data_size_for(0x7FFFFFF0), VeltroError);
}

TEST(Px3Layout, TrialFramesStayInsideTheCapture) {
    EXPECT_EQ(trial_frames(250), (std::array<std::int32_t, 3>{249, 125, 2}));
    EXPECT_EQ(trial_frames(5), (std::array<std::int32_t, 3>{4, 2, 2})); // 2.5 rounds to 2
    EXPECT_EQ(trial_frames(7), (std::array<std::int32_t, 3>{6, 4, 2})); // 3.5 rounds to 4
    EXPECT_EQ(trial_frames(1), (std::array<std::int32_t, 3>{1, 1, 1}));
    EXPECT_EQ(trial_frames(0), (std::array<std::int32_t, 3>{0, 0, 0}));
}

TEST(Px3Layout, QualityStepsDownAndEnds) {
    EXPECT_EQ(next_lower_quality(80), 68);
    EXPECT_EQ(next_lower_quality(68), 58); // 57.8
    EXPECT_EQ(next_lower_quality(10), 8);  // 8.5 rounds to even
    EXPECT_EQ(next_lower_quality(3), 2);   // 2.55 rounds to 3, forced one lower
    EXPECT_EQ(next_lower_quality(1), 1);
    int steps = 0;
    for (std::int32_t q = 100; q > 1; q = next_lower_quality(q)) {
        ++steps;
    }
    EXPECT_LT(steps, 40);
}

} // namespace
} // namespace veltro::px3
