#include "recording/finish_strip.h"
#include "recording/recording_fixture.h"
#include "support/files.h"
#include "support/veltro_error.h"
#include "timing/heat_timing.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace veltro {
namespace {

constexpr std::int32_t kStart = 4000; // start counter; the test frames are stamped from 5000 on

class FinishStripTest : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    std::string path = dir.file("heat.px3");

    // A recording of `frames` test pictures (or of what `paint` draws into each), started at kStart.
    void write(std::int32_t width, std::int32_t height, std::int32_t frames,
               const std::function<void(cDIBSection&)>& paint = {}, bool interlaced = true) {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, width, height, interlaced, std::to_string(kStart));
        CapturedFrames captured(width, height, frames);
        if (paint) {
            for (auto& f : captured.frames) {
                cDIBSection d;
                d.Create(width, height);
                paint(d);
                std::memcpy(f->RGB_Buffer_Address(), d.DIBSectionBitsPtr(),
                            static_cast<std::size_t>(d.SizeImage()));
            }
        }
        Append_Test_Frames(rec, captured);
    }
    // Replaces a header text of the recording by one of the same length.
    void edit_header(const std::string& from, const std::string& to) {
        ASSERT_EQ(from.size(), to.size());
        std::string file = read_whole_file(path).value();
        const auto at = file.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        file.replace(at, from.size(), to);
        std::ofstream(path, std::ios::binary) << file;
    }
    FinishStrip build(const StripLine& line, std::int32_t compensation = 200) {
        FinishStripOptions options;
        options.line = line;
        options.goal_compensation = compensation;
        return build_finish_strip(path, options);
    }
};

const std::uint8_t* strip_pixel(const FinishStrip& s, std::int32_t row, std::int32_t x) {
    return s.image.scan_line(row) + 3 * x;
}

bool grey(const std::uint8_t* p) {
    return p[0] == 0x80 && p[1] == 0x80 && p[2] == 0x80;
}

// Every column of a vertical line is the pixels the review shows of that picture (the same field of
// the same frame, turned as the review turns it) and every time the review's time of it.
void expect_review_pictures(const std::string& path, const FinishStrip& strip, std::int32_t x,
                            std::int32_t y1, bool fields,
                            const std::vector<std::int32_t>& unreadable_frames = {}) {
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    ASSERT_TRUE(rec.File_open());
    ASSERT_EQ(strip.field_mode, fields);
    ASSERT_EQ(strip.pictures(), fields ? rec.Num_fields() : rec.num_Frames());
    ASSERT_EQ(strip.image.Width(), strip.pictures() * strip.column_width);
    ASSERT_EQ(strip.image.Height(), strip.strip_height + kStripScaleHeight);
    for (std::int16_t p = 1; p <= strip.pictures(); ++p) {
        if (fields) {
            rec.Draw_RGB_Field(p);
        } else {
            rec.Draw_RGB_frame(p);
        }
        const std::int32_t frame = fields ? (p + 1) / 2 : p;
        const bool damaged =
            std::find(unreadable_frames.begin(), unreadable_frames.end(), frame) != unreadable_frames.end();
        ASSERT_EQ(damaged, rec.RGB_samplesize_error() || rec.frame_corrupted()) << "picture " << p;
        const auto time = strip.times[static_cast<std::size_t>(p - 1)];
        if (damaged) {
            EXPECT_FALSE(time) << "picture " << p;
        } else {
            EXPECT_EQ(time, picture_time(static_cast<std::uint32_t>(rec.Timestamp_long()), kStart,
                                         rec.Field_To_Show(), 200))
                << "picture " << p;
        }
        for (std::int32_t row = 0; row < strip.strip_height; ++row) {
            for (std::int32_t c = 0; c < strip.column_width; ++c) {
                const std::uint8_t* got = strip_pixel(strip, row, strip.column_of(p) + c);
                if (damaged) {
                    ASSERT_TRUE(grey(got)) << "picture " << p << " row " << row;
                    continue;
                }
                const std::uint8_t* shown = rec.picture().scan_line(y1 + row) + 3 * x;
                ASSERT_EQ(std::memcmp(got, shown, 3), 0) << "picture " << p << " row " << row;
            }
        }
    }
}

TEST_F(FinishStripTest, ShowsTheReviewsFieldsAndTimes) {
    write(72, 52, 7);
    const FinishStrip strip = build({37, 47, 37, 5}); // drawn upwards: the strip still runs down
    EXPECT_EQ(strip.strip_height, 43);
    expect_review_pictures(path, strip, 37, 5, true);
}

TEST_F(FinishStripTest, ShowsTheReviewsFramesAbove40PicturesASecond) {
    write(72, 52, 7, {}, false);
    edit_header("<RGB_fps>25</RGB_fps>", "<RGB_fps>50</RGB_fps>");
    expect_review_pictures(path, build({0, 0, 0, 51}), 0, 0, false);
}

// A rotated recording is reviewed turned a quarter clockwise: the line is in that picture, so a
// vertical line there is a row of the stored frame, and field rows are taken before the turn.
TEST_F(FinishStripTest, ShowsTheReviewsTurnedPicturesOfARotatedRecording) {
    write(72, 52, 5);
    edit_header("<RGB_rotated>f</RGB_rotated>", "<RGB_rotated>t</RGB_rotated>");
    expect_review_pictures(path, build({20, 3, 20, 70}), 20, 3, true);
    expect_review_pictures(path, build({51, 0, 51, 71}), 51, 0, true);
}

// A red stripe running down at one pixel right per two down: a slanted line along it sees red in
// every row, one beside it none; a vertical line only crosses it.
TEST_F(FinishStripTest, SamplesASlantedLineAlongTheLine) {
    write(96, 96, 3, [](cDIBSection& d) {
        d.Fill_with_RGB(0xFF0000);
        for (std::int32_t y = 0; y < 96; ++y) {
            for (std::int32_t x = 20 + y / 2 - 4; x <= 20 + y / 2 + 4; ++x) {
                std::uint8_t* p = d.scan_line(y) + 3 * x;
                p[0] = 0;
                p[2] = 255;
            }
        }
    });
    auto red_rows = [](const FinishStrip& s, std::int32_t picture) {
        std::int32_t n = 0;
        for (std::int32_t row = 0; row < s.strip_height; ++row) {
            const std::uint8_t* p = strip_pixel(s, row, s.column_of(static_cast<std::int16_t>(picture)));
            n += p[2] > 180 && p[0] < 80 ? 1 : 0;
        }
        return n;
    };
    const FinishStrip along = build({25, 10, 60, 80});
    ASSERT_EQ(along.strip_height, 71);
    const FinishStrip backwards = build({60, 80, 25, 10});
    const FinishStrip beside = build({39, 10, 74, 80});
    const FinishStrip across = build({45, 10, 45, 80});
    for (std::int32_t picture = 1; picture <= along.pictures(); ++picture) {
        EXPECT_EQ(red_rows(along, picture), 71) << picture;
        EXPECT_EQ(red_rows(beside, picture), 0) << picture;
        EXPECT_LT(red_rows(across, picture), 25) << picture;
    }
    EXPECT_EQ(std::memcmp(backwards.image.DIBSectionBitsPtr(), along.image.DIBSectionBitsPtr(),
                          static_cast<std::size_t>(along.image.SizeImage())),
              0);
}

TEST(FinishStripColumns, PictureAtAndColumnOfRoundTripAndStayInTheStrip) {
    FinishStrip s;
    s.column_width = 4;
    s.times.assign(10, std::nullopt);
    for (std::int16_t p = 1; p <= 10; ++p) {
        EXPECT_EQ(s.column_of(p), 4 * (p - 1));
        for (std::int32_t dx = 0; dx < 4; ++dx) {
            EXPECT_EQ(s.picture_at(s.column_of(p) + dx), p);
        }
    }
    EXPECT_EQ(s.picture_at(-7), 1);
    EXPECT_EQ(s.picture_at(40), 10);
    EXPECT_EQ(s.picture_at(1 << 30), 10);
    EXPECT_EQ(s.column_of(0), 0);
    EXPECT_EQ(s.column_of(-3), 0);
    EXPECT_EQ(s.column_of(11), 36);
    EXPECT_EQ(FinishStrip{}.picture_at(5), 0);
}

// A record that does not begin right and one whose picture does not decode are grey and have no
// time, as the review shows them broken; every other picture is right.
TEST_F(FinishStripTest, DamagedRecordsGiveGreyColumnsAndTheRestIsRight) {
    write(72, 52, 6);
    std::string file = read_whole_file(path).value();
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    const std::int32_t s = rec.sample_size();
    rec.Close_File();
    file.replace(static_cast<std::size_t>(px3::frame_offset(2, s)), 4, "XXXX");
    const auto third = static_cast<std::size_t>(px3::frame_offset(3, s) + px3::kDataOffset);
    for (std::size_t i = 700; i < 2500; i += 97) {
        file[third + i] = '\xFF';
    }
    std::ofstream(path, std::ios::binary) << file;
    expect_review_pictures(path, build({37, 5, 37, 47}), 37, 5, true, {2, 3});
}

TEST_F(FinishStripTest, CancellingGivesAnEmptyStripAndProgressRunsToTheEnd) {
    write(72, 52, 40);
    std::atomic<bool> cancel{true};
    FinishStripOptions options;
    options.line = {37, 5, 37, 47};
    FinishStrip strip = build_finish_strip(path, options, &cancel);
    EXPECT_EQ(strip.pictures(), 0);
    EXPECT_TRUE(strip.image.empty());

    cancel = false;
    std::vector<int> told;
    strip = build_finish_strip(path, options, &cancel, [&](int percent) {
        told.push_back(percent);
        if (percent >= 30) {
            cancel = true;
        }
    });
    EXPECT_EQ(strip.pictures(), 0);
    EXPECT_TRUE(strip.image.empty());

    cancel = false;
    told.clear();
    strip = build_finish_strip(path, options, &cancel, [&](int percent) { told.push_back(percent); });
    EXPECT_EQ(strip.pictures(), 80);
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.front(), 0);
    EXPECT_EQ(told.back(), 100);
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
}

TEST_F(FinishStripTest, RefusesWhatIsNoRecordingWithPicturesAndBadColumnWidths) {
    FinishStripOptions options;
    auto error_of = [&](const std::string& file) {
        try {
            build_finish_strip(file, options);
        } catch (const VeltroError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(error_of(dir.file("missing.px3")), err::kFileNotFound);
    std::ofstream(dir.file("text.px3")) << std::string(40000, 'x');
    EXPECT_EQ(error_of(dir.file("text.px3")), err::kPathFileAccess);
    {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, dir.file("armed.px3"), 72, 52);
    }
    EXPECT_EQ(error_of(dir.file("armed.px3")), err::kPathFileAccess); // no frames yet
    write(72, 52, 2);
    for (const std::int32_t width : {0, -1, 65}) {
        options.column_width = width;
        EXPECT_EQ(error_of(path), err::kSubscriptOutOfRange) << width;
    }
}

// Pictures 20 ms apart at 4 pixels: a tick every 0,10 s stands over the picture showing that time
// (longer every 0,50 s, with its label), and nowhere else.
TEST_F(FinishStripTest, TimeScaleTicksStandOverThePicturesOfRoundTimes) {
    write(72, 52, 20);
    const FinishStrip strip = build({37, 5, 37, 47}, 2); // pictures at 1000, 1020, ... ms
    ASSERT_EQ(strip.times.front(), 1000);
    const std::int32_t base = strip.strip_height;
    auto marked = [&](std::int32_t row, std::int32_t x) {
        const std::uint8_t* p = strip_pixel(strip, row, x);
        return p[0] == 0x80 && p[1] == 0xFF && p[2] == 0x80;
    };
    for (std::int32_t x = 0; x < strip.image.Width(); ++x) {
        EXPECT_TRUE(marked(base, x));
        const auto& time = strip.times[static_cast<std::size_t>(strip.picture_at(x) - 1)];
        const bool at_tick = x == strip.column_of(strip.picture_at(x)) + 2 && *time % 100 == 0;
        EXPECT_EQ(marked(base + 1, x), at_tick) << x;
        EXPECT_EQ(marked(base + 6, x), at_tick && *time % 500 == 0) << x;
    }
    // The label "1,50" under its tick (picture 26).
    std::int32_t label = 0;
    const std::int32_t tick = strip.column_of(26) + 2;
    for (std::int32_t y = base + 10; y < base + kStripScaleHeight; ++y) {
        for (std::int32_t x = tick - 30; x < tick + 30; ++x) {
            label += marked(y, x) ? 1 : 0;
        }
    }
    EXPECT_GT(label, 40);
}

} // namespace
} // namespace veltro
