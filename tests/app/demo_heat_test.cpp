#include "app/demo_heat.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/backends/demo/demo_race_scene.h"
#include "capture/hdmi_crop.h"
#include "fake_operator.h"
#include "file_size_limit.h"
#include "recording/capture_spool.h"
#include "recording/finish_strip.h"
#include "recording/px3_layout.h"
#include "recording/recording_check.h"
#include "recording/timestamp_report.h"
#include "recording/video_file_handler.h"
#include "support/settings.h"
#include "support/veltro_error.h"
#include "temp_dir.h"
#include "timing/heat_timing.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace veltro {
namespace {

// Whether the dog of `box` covers column x of the picture (the finish column unless given), whose
// rows are those of the crop: the median brightness of that column over the rows of the dog's head
// is nearer the dark head than the white line.
bool nose_at_line(const cDIBSection& picture, int box, CropOrigin origin, std::optional<int> column = {}) {
    const auto [first, last] = DemoRaceScene::head_rows(box);
    const int x = column.value_or(DemoRaceScene::kFinishX - origin.x0);
    std::vector<int> luma;
    for (int y = first; y <= last; ++y) {
        const std::uint8_t* p = picture.scan_line(y - origin.y0) + 3 * x;
        luma.push_back((p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8);
    }
    std::nth_element(luma.begin(), luma.begin() + static_cast<long>(luma.size() / 2), luma.end());
    return luma[luma.size() / 2] < 150;
}

struct Case {
    std::size_t format;
    std::int16_t crop_w, crop_h;
};

class DemoHeatTest : public ::testing::Test {
protected:
    DemoHeatTest() { set_settings_path(dir_.file("Veltro_HDMI.ini")); }
    ~DemoHeatTest() override { set_settings_path({}); }
    std::string demo_path() const { return dir_.file("demo.px3"); }
    // A heat of 2,6 s in the case's format, recorded fast.
    DemoHeatOptions options(const Case& c) const {
        DemoHeatOptions o;
        o.path = demo_path();
        o.capture_ms = 2600;
        o.format = c.format;
        o.crop_width = c.crop_w;
        o.crop_height = c.crop_h;
        o.fast = true;
        return o;
    }
    // Every dog is first seen at the line in the picture that follows its true crossing: the picture's
    // heat time (default goal compensation) lies at or after the crossing and less than one picture period
    // plus the 2 ms of the rule after it. In the interlaced format this also pins the field order: the
    // field the review shows first is the earlier one.
    void expect_first_pictures_true(const Case& c, const DemoHeatResult& result) {
        const std::int32_t rate = DemoCamera::kRates[c.format];
        // Capture runs from the start signal; the first picture arrives the capture delay after it.
        const std::int32_t seen_ms = 2600 - static_cast<std::int32_t>(DemoCamera::kCaptureDelayMs);
        ASSERT_EQ(result.frames, (seen_ms * rate + 999) / 1000);
        EXPECT_EQ(check_recording(demo_path()).problems, std::vector<std::string>{});
        EXPECT_FALSE(std::filesystem::exists(demo_path() + ".spool")); // its frames are counted

        cls_VideoFile_handler rec;
        rec.Open_File(demo_path());
        ASSERT_TRUE(rec.File_open()) << op_.last_message();
        ASSERT_EQ(rec.num_Frames(), result.frames);
        EXPECT_EQ(rec.Velt_event(), "Test Event");
        EXPECT_EQ(rec.Velt_Heat_Name(), "Test Heat");
        const std::uint32_t start = parse_start_pc_mill(rec.Velt_start_PC_mill());
        EXPECT_EQ(start, result.start_pc_mill);

        const bool fields = c.format == 0;
        const std::int32_t pictures = fields ? 2 * result.frames : result.frames;
        // A field at 25 interlaced, else a frame: 20, 10, 8.3 or 5 ms.
        const double picture_period = fields ? 20.0 : 1000.0 / rate;
        const CropOrigin origin = hdmi_crop_origin(1920, 1080, c.crop_w, c.crop_h);
        std::array<std::optional<std::int32_t>, 6> seen;
        for (std::int32_t n = 1; n <= pictures; ++n) {
            if (fields) {
                rec.Draw_RGB_Field(n);
            } else {
                rec.Draw_RGB_frame(n);
            }
            // Compressed while capturing and sized after the largest of them, no picture is stepped down.
            ASSERT_EQ(rec.PX3_Compression_Quality(), 80) << "picture " << n;
            const std::int32_t time = picture_time(static_cast<std::uint32_t>(rec.Timestamp_long()), start,
                                                   rec.Field_To_Show(), TimingSettings{}.goal_compensation);
            for (int box = 1; box <= 6; ++box) {
                auto& s = seen[static_cast<std::size_t>(box - 1)];
                if (!s && nose_at_line(rec.picture(), box, origin)) {
                    s = time;
                }
            }
        }
        for (int box = 1; box <= 6; ++box) {
            const auto truth = result.crossing_ms[static_cast<std::size_t>(box - 1)];
            const auto first = seen[static_cast<std::size_t>(box - 1)];
            ASSERT_TRUE(truth && first) << "box " << box;
            EXPECT_GE(*first, *truth) << "box " << box;
            EXPECT_LT(*first, *truth + picture_period + 2) << "box " << box;
        }
    }
    testing::TempDir dir_;
    testing::FakeOperator op_;
};

class DemoHeatAccuracy : public DemoHeatTest, public ::testing::WithParamInterface<Case> {};

TEST_P(DemoHeatAccuracy, FirstPictureAtTheLineIsWithinOnePictureOfTheTruth) {
    expect_first_pictures_true(GetParam(), record_demo_heat(options(GetParam())));
}

// The same with the window thread doing nothing from half a second before the first dog crosses to
// the end of capture, as when a question is on screen: the times stay true.
TEST_F(DemoHeatTest, TheWindowThreadStalledThroughTheCrossingsChangesNoTime) {
    const Case c{1, 400, 880};
    DemoHeatOptions o = options(c);
    o.stall_from_ms = DemoRaceScene::crossing_ms(6) - 500;
    o.stall_ms = 2600;
    expect_first_pictures_true(c, record_demo_heat(o));
}

// One look at the finish strip judges the heat: each dog's head reaches the finish line in the column
// of the first picture at or after its true crossing time, or the next one, and not in the column
// before it.
class DemoStripAccuracy : public DemoHeatAccuracy {};

TEST_P(DemoStripAccuracy, FinishStripShowsEachDogAtTheLineInTheColumnOfItsCrossingTime) {
    const Case c = GetParam();
    const DemoHeatResult result = record_demo_heat(options(c));

    const CropOrigin origin = hdmi_crop_origin(1920, 1080, c.crop_w, c.crop_h);
    const std::int32_t x = DemoRaceScene::kFinishX - origin.x0;
    FinishStripOptions strip_options;
    strip_options.line = {x, 0, x, c.crop_h - 1};
    strip_options.goal_compensation = TimingSettings{}.goal_compensation;
    const FinishStrip strip = build_finish_strip(demo_path(), strip_options);
    EXPECT_EQ(strip.field_mode, c.format == 0);
    ASSERT_EQ(strip.pictures(), c.format == 0 ? 2 * result.frames : result.frames);
    ASSERT_EQ(strip.strip_height, c.crop_h);

    for (int box = 1; box <= 6; ++box) {
        const auto truth = result.crossing_ms[static_cast<std::size_t>(box - 1)];
        ASSERT_TRUE(truth) << "box " << box;
        const auto at_or_after = std::find_if(strip.times.begin(), strip.times.end(),
                                              [&](const auto& t) { return t && *t >= *truth; });
        ASSERT_NE(at_or_after, strip.times.end()) << "box " << box;
        const auto position = static_cast<std::int32_t>(at_or_after - strip.times.begin() + 1);
        ASSERT_GT(position, 1);
        auto head = [&](std::int32_t p) {
            return nose_at_line(strip.image, box, origin, strip.column_of(static_cast<std::int16_t>(p)));
        };
        EXPECT_FALSE(head(position - 1)) << "box " << box << " at picture " << position - 1;
        EXPECT_TRUE(head(position) || head(position + 1)) << "box " << box << " at picture " << position;
    }
}

std::string case_name(const ::testing::TestParamInfo<Case>& c) {
    return "format" + std::to_string(c.param.format) + "_" + std::to_string(c.param.crop_w) + "x" +
           std::to_string(c.param.crop_h);
}

INSTANTIATE_TEST_SUITE_P(Formats, DemoHeatAccuracy,
                         ::testing::Values(Case{0, 400, 880}, Case{1, 600, 1080}, Case{0, 576, 720},
                                           Case{0, 600, 1080}, Case{1, 400, 880}, Case{2, 600, 1080},
                                           Case{3, 400, 880}, Case{4, 400, 880}),
                         case_name);
// The strip's columns are pictures whatever the rate: 25 interlaced and 50 show it.
INSTANTIATE_TEST_SUITE_P(Formats, DemoStripAccuracy,
                         ::testing::Values(Case{0, 400, 880}, Case{1, 600, 1080}, Case{0, 576, 720},
                                           Case{0, 600, 1080}, Case{1, 400, 880}),
                         case_name);

TEST(DemoHeat, RefusesBadOptionsAndAnExistingFileWithoutTouchingIt) {
    testing::TempDir dir;
    testing::FakeOperator op;
    DemoHeatOptions options;
    options.fast = true;
    options.path = dir.file("x.px3");
    options.crop_width = 500;
    EXPECT_THROW(record_demo_heat(options), VeltroError);
    EXPECT_FALSE(std::filesystem::exists(options.path));
    options.crop_width = 400;
    std::ofstream(options.path) << "keep";
    EXPECT_THROW(record_demo_heat(options), VeltroError);
    std::ifstream kept(options.path);
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "keep");
    options.path = dir.file("no such folder/x.px3");
    EXPECT_THROW(record_demo_heat(options), VeltroError);
    EXPECT_EQ(demo_crop_from_text("600*1080"), (std::pair<std::int16_t, std::int16_t>{600, 1080}));
    EXPECT_EQ(demo_format_from_text("1920*1080/30"), std::nullopt);
    EXPECT_EQ(demo_format_from_text("1920*1080/200"), 4u);
}

// At 100 pictures a second the recording says its rate, its stamps lie one period apart with no gap
// reported, and a reader of the bare layout (stamps from the records, the start from the header) gives
// every picture the time the review gives it.
TEST_F(DemoHeatTest, AHundredPictureHeatReadsTheSameTimesThroughTheLayout) {
    DemoHeatOptions o = options(Case{2, 400, 880});
    o.capture_ms = 700;
    const DemoHeatResult result = record_demo_heat(o);
    ASSERT_EQ(result.frames, 50);
    EXPECT_EQ(check_recording(demo_path()).problems, std::vector<std::string>{});

    cls_VideoFile_handler rec;
    rec.Open_File(demo_path());
    ASSERT_TRUE(rec.File_open());
    EXPECT_EQ(rec.xml_header().RGB_fps(), "100");
    EXPECT_FALSE(rec.xml_header().RGB_interlaced());
    rec.deinterlaced(true);
    EXPECT_EQ(rec.mill_per_Frame(), 10);
    EXPECT_EQ(timestamp_report_text(rec).find("Gap"), std::string::npos);

    std::ifstream in(demo_path(), std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    const std::int32_t sample_size = rec.xml_header().RGB_Sample_Size();
    const std::uint32_t start = parse_start_pc_mill(rec.Velt_start_PC_mill());
    std::int32_t previous = 0;
    for (std::int32_t n = 1; n <= result.frames; ++n) {
        const auto offset = static_cast<std::size_t>(px3::frame_offset(n, sample_size));
        ASSERT_LE(offset + px3::kRecordHeaderSize, bytes.size());
        const std::int32_t mill = px3::get_record_fields(bytes.data() + offset).capture_mill;
        if (n > 1) {
            EXPECT_EQ(mill - previous, 10) << "frame " << n;
        }
        previous = mill;
        rec.Draw_RGB_frame(n);
        const std::int32_t layout_time = mill - static_cast<std::int32_t>(start) + 2 - 200;
        EXPECT_EQ(picture_time(static_cast<std::uint32_t>(rec.Timestamp_long()), start, rec.Field_To_Show(),
                               TimingSettings{}.goal_compensation),
                  layout_time)
            << "frame " << n;
    }
}

// The disk fills during the heat: the recording and the frames captured are kept, and the error
// says where they are.
TEST_F(DemoHeatTest, ADiskThatFillsKeepsTheRecordingAndWhatWasCaptured) {
    DemoHeatOptions options;
    options.fast = true;
    options.capture_ms = 1000;
    options.path = dir_.file("full.px3");
    std::string error;
    {
        testing::FileSizeLimit limit(400000); // the header and a few frames
        ASSERT_TRUE(limit.ok());
        try {
            record_demo_heat(options);
        } catch (const VeltroError& e) {
            error = e.description();
        }
    }
    EXPECT_NE(error.find("What was recorded is kept in " + options.path), std::string::npos) << error;
    EXPECT_NE(error.find("px3tool recover"), std::string::npos) << error;
    cls_VideoFile_handler rec;
    rec.Open_File(options.path);
    EXPECT_TRUE(rec.File_open()) << op_.last_message();
    const SpoolRecovery recovered = recover_spool(options.path);
    EXPECT_GT(recovered.frames, 3) << recovered.message;
}

} // namespace
} // namespace veltro
