#include "capture/picture_size.h"
#include "fake_operator.h"
#include "own_settings.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(CropSize, CaptionsSplitAtTheStarAndOtherTextIsRefused) {
    EXPECT_EQ(parse_crop_caption("600*1080"), (CropSize{600, 1080}));
    for (const char* bad : {"600x1080", "600*", "*1080", "0*880", "-400*880", "400*880*2", "40000*880"}) {
        EXPECT_EQ(parse_crop_caption(bad), std::nullopt) << bad;
    }
    for (const char* caption : kCropCaptions) {
        EXPECT_TRUE(parse_crop_caption(caption).has_value()) << caption;
    }
    EXPECT_DOUBLE_EQ(*x_stretch_scale("1/1,5"), 1 / 1.5);
    EXPECT_DOUBLE_EQ(*x_stretch_scale("1/2"), 0.5);
    EXPECT_EQ(x_stretch_scale("2/1"), std::nullopt);
}

class PictureSettings : public testing::OwnSettingsTest {};

TEST_F(PictureSettings, LastCropComesBackAndAnUnknownOneFallsBackToTheDefault) {
    EXPECT_EQ(Read_Last_Crop(), "400*880");
    store_last_crop("576*720");
    EXPECT_EQ(Read_Last_Crop(), "576*720");
    Write_Setting(keys::lastcrop, "123*45");
    EXPECT_EQ(Read_Last_Crop(), "400*880");
}

} // namespace
} // namespace veltro
