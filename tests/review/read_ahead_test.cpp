#include "own_settings.h"
#include "recording/recording_fixture.h"
#include "review/read_ahead.h"
#include "review/review.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace veltro {
namespace {

using testing::CapturedFrames;

struct Heat {
    std::int16_t fps = 25; // 25: interlaced, stepped by fields; 50: progressive, stepped by frames
    bool rotated = false;
};

void record_heat(const std::string& path, const Heat& heat, std::int32_t first_picture = 0) {
    constexpr std::int32_t w = 160;
    constexpr std::int32_t h = 120;
    cls_VideoFile_handler rec;
    rec.File_name(path);
    rec.RGB_interlaced(heat.fps <= 30);
    rec.Cropped_X(w);
    rec.Cropped_Y(h);
    rec.Initiate_PX3_File();
    rec.Measured_fps(heat.fps);
    rec.Velt_event("Test Event");
    rec.Velt_start_PC_mill("8000");
    rec.xml_header().RGB_Rotated(heat.rotated);
    rec.Write_XML_header();
    rec.Close_File();
    Append_Test_Frames(rec, CapturedFrames(w, h, 6, 20000, first_picture));
}

// True when both pictures have the same size and the same pixels (within `band` when given).
::testing::AssertionResult same_pixels(const cDIBSection& shown, const cDIBSection& plain,
                                       const std::optional<JpegBand>& band = std::nullopt) {
    if (shown.Width() != plain.Width() || shown.Height() != plain.Height()) {
        return ::testing::AssertionFailure() << "sizes differ";
    }
    const JpegBand b = band.value_or(JpegBand{0, 0, plain.Width(), plain.Height()});
    for (std::int32_t y = b.top; y < b.top + b.height; ++y) {
        if (std::memcmp(shown.scan_line(y) + 3 * b.left, plain.scan_line(y) + 3 * b.left,
                        static_cast<std::size_t>(b.width) * 3) != 0) {
            return ::testing::AssertionFailure() << "row " << y << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

class ReadAheadTest : public testing::OwnSettingsTest, public ::testing::WithParamInterface<Heat> {
protected:
    // The review under test (read-ahead on) and one decoding every picture itself, on the same file.
    void open_both(const std::string& path) {
        ASSERT_EQ(review.open(path), Review::OpenResult::Opened);
        ASSERT_EQ(plain.open(path), Review::OpenResult::Opened);
        review.read_ahead(true);
    }
    // Moves both to `position` after the read-ahead has done its work; true when the picture came
    // from the read-ahead.
    bool step_to(std::int32_t position) {
        review.settle_read_ahead();
        review.set_position(position);
        plain.set_position(position);
        return review.picture_read_ahead();
    }
    void expect_as_plain(const std::optional<JpegBand>& band = std::nullopt) {
        const std::int32_t p = review.play_position();
        EXPECT_TRUE(same_pixels(review.picture(), plain_rec.picture(), band)) << "position " << p;
        EXPECT_EQ(review.frame_time(), plain.frame_time()) << "position " << p;
        EXPECT_EQ(rec.Timestamp_long(), plain_rec.Timestamp_long()) << "position " << p;
        EXPECT_EQ(rec.Field_To_Show(), plain_rec.Field_To_Show()) << "position " << p;
        EXPECT_EQ(rec.effective_time(), plain_rec.effective_time()) << "position " << p;
    }

    ManualClock clock{100000};
    cls_VideoFile_handler rec;
    HeatTiming timing{clock};
    Review review{rec, timing, clock};
    cls_VideoFile_handler plain_rec;
    HeatTiming plain_timing{clock};
    Review plain{plain_rec, plain_timing, clock};
};

// Forward and back again, with a header rewrite (a time given) half way: every picture after the
// first comes from the read-ahead and is what the plain decode shows, with the same times; and the
// recording's own picture (what prints and exports take) is that picture too.
TEST_P(ReadAheadTest, ScrubbedPicturesAreThePlainDecode) {
    const std::string path = dir.file("heat.px3");
    record_heat(path, GetParam());
    open_both(path);
    const std::int32_t last = review.slider_max();
    for (std::int32_t p = 2; p <= last; ++p) {
        EXPECT_TRUE(step_to(p)) << "position " << p;
        expect_as_plain();
        if (p == last / 2) {
            rec.Velt_Heat_time(1, false, 12345);
            rec.Write_XML_header();
        }
    }
    for (std::int32_t p = last - 1; p >= 1; --p) {
        EXPECT_TRUE(step_to(p)) << "position " << p;
        expect_as_plain();
    }
    EXPECT_TRUE(same_pixels(rec.picture(), plain_rec.picture()));
}

// Zoomed 4x, only the band in view is decoded ahead, and its pixels are the plain decode's; zoomed
// out again, the part-decoded picture on show is replaced by the whole one at once.
TEST_P(ReadAheadTest, ZoomedTheBandInViewIsThePlainDecode) {
    const std::string path = dir.file("heat.px3");
    record_heat(path, GetParam());
    open_both(path);
    const std::int32_t w = review.picture_width();
    const std::int32_t h = review.picture_height();
    ViewAdjust view;
    view.zoom_by(4, {w * 0.7, h * 0.3}, w, h);
    ASSERT_EQ(view.zoom(), 4.0);
    const std::optional<JpegBand> band = band_in_view(view, w, h);
    ASSERT_TRUE(band);
    review.view_band(band);
    for (std::int32_t p = 2; p <= 5; ++p) {
        EXPECT_TRUE(step_to(p)) << "position " << p;
        EXPECT_TRUE(review.picture_partial());
        expect_as_plain(band);
    }
    review.view_band(std::nullopt);
    EXPECT_FALSE(review.picture_partial());
    expect_as_plain();
}

INSTANTIATE_TEST_SUITE_P(Recordings, ReadAheadTest,
                         ::testing::Values(Heat{25, false}, Heat{50, false}, Heat{25, true}),
                         [](const auto& test) {
                             return std::string(test.param.fps == 25 ? "Fields" : "Frames") +
                                    (test.param.rotated ? "Rotated" : "");
                         });

// A recording replaced on disk under the open review (the read-ahead then reads the new file) never
// shows the new file's pictures: the window checks each against the record it reads itself. Opened
// again, the review shows the new pictures; nothing of the old recording is handed out after that.
TEST_F(ReadAheadTest, PicturesOfAnotherRecordingAreNeverShown) {
    const std::string path = dir.file("heat.px3");
    const std::string other = dir.file("other.px3");
    record_heat(path, {});
    record_heat(other, {}, 40);
    open_both(path);
    ASSERT_TRUE(step_to(2));
    std::filesystem::rename(other, path);
    review.read_ahead(false);
    review.read_ahead(true);
    for (std::int32_t p = 3; p <= 6; ++p) {
        EXPECT_FALSE(step_to(p)) << "position " << p;
        expect_as_plain();
    }

    const auto layout_of = [](const std::string& file) {
        cls_VideoFile_handler r;
        r.Open_File(file);
        return AheadLayout{160, 120, 6, r.sample_size(), false, true, 12};
    };
    ReadAhead ahead;
    ASSERT_TRUE(ahead.open(path, layout_of(path)));
    ahead.shown(1, 1, std::nullopt);
    ahead.settle();
    ASSERT_TRUE(ahead.take(2, std::nullopt));
    const std::string third = dir.file("third.px3");
    record_heat(third, {}, 80);
    ASSERT_TRUE(ahead.open(third, layout_of(third)));
    EXPECT_FALSE(ahead.take(2, std::nullopt)) << "a picture of the recording before";
    ahead.shown(1, 1, std::nullopt);
    ahead.close();
    ahead.settle();
    EXPECT_FALSE(ahead.take(2, std::nullopt)) << "a picture after closing";
}

} // namespace
} // namespace veltro
