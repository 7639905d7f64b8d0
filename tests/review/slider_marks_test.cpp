#include "own_settings.h"
#include "recording/recording_fixture.h"
#include "review/slider_marks.h"
#include "timing/fake_heat_values.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

JournalEntry frames_entry(std::int32_t first, std::int32_t count) {
    JournalEntry e;
    e.kind = JournalKind::Frames;
    e.payload =
        encode_frames_payload({first, std::vector<std::uint32_t>(static_cast<std::size_t>(count), 7u)});
    return e;
}

JournalEntry header_entry() {
    JournalEntry e;
    e.kind = JournalKind::Header;
    e.payload = "<header/>";
    return e;
}

std::vector<std::int32_t> positions(const std::vector<SliderMark>& marks) {
    std::vector<std::int32_t> out;
    for (const SliderMark& m : marks) {
        out.push_back(m.position);
    }
    return out;
}

TEST(CapturePassStarts, ComeFromTheFramesEntriesOfTheJournal) {
    JournalContents journal;
    journal.entries = {header_entry(), frames_entry(1, 3), header_entry(), frames_entry(4, 2),
                       frames_entry(6, 5)};
    EXPECT_EQ(capture_pass_starts(journal, 10), (std::vector<std::int32_t>{1, 4, 6}));
    // A pass journalled but never counted is written over by the next one from the same frame on.
    journal.entries.push_back(frames_entry(4, 9));
    EXPECT_EQ(capture_pass_starts(journal, 12), (std::vector<std::int32_t>{1, 4}));
    // Frames behind the counted ones are not on the slider.
    EXPECT_EQ(capture_pass_starts(journal, 3), (std::vector<std::int32_t>{1}));

    // No journal entry for the first pass (a recording from before journals): it still starts at 1.
    JournalContents late;
    late.entries = {header_entry(), frames_entry(10, 4)};
    EXPECT_EQ(capture_pass_starts(late, 13), (std::vector<std::int32_t>{1, 10}));
    EXPECT_EQ(capture_pass_starts(JournalContents{}, 13), (std::vector<std::int32_t>{1}));
}

class CapturePassFile : public testing::OwnSettingsTest {};

TEST_F(CapturePassFile, TwoAppendPassesOfARecordingAreTwoStartsAndNoJournalIsOne) {
    const std::string path = dir.file("heat.px3");
    cls_VideoFile_handler rec;
    Arm_Test_Recording(rec, path, 64, 48);
    Append_Test_Frames(rec, testing::CapturedFrames(64, 48, 3, 5000));
    Append_Test_Frames(rec, testing::CapturedFrames(64, 48, 4, 9000));
    EXPECT_EQ(capture_pass_starts(path, 7), (std::vector<std::int32_t>{1, 4}));

    std::filesystem::remove(journal_path(path));
    EXPECT_EQ(capture_pass_starts(path, 7), (std::vector<std::int32_t>{1}));
}

TEST(SliderMarks, PassesAndBoxesInFieldAndFrameMode) {
    testing::FakeHeatValues heat;
    heat.box(2).frame = 9;
    heat.box(2).time = 5230;
    heat.box(5).frame = 7;
    heat.box(5).time = no_time::kDisqualified; // a no-time code is an assignment too
    heat.box(3).frame = 11;                    // frame without a time: a cleared box
    heat.box(7).frame = 8;                     // boxes 7 and 8 are not timed
    heat.box(7).time = 4000;

    // Field mode: frame 4 begins at picture 7, where box 5 was also given its code.
    const auto fields = slider_marks(heat, {1, 4}, true, 20);
    EXPECT_EQ(positions(fields), (std::vector<std::int32_t>{1, 7, 7, 9}));
    EXPECT_EQ(fields[1].kind, SliderMarkKind::Pass);
    EXPECT_EQ(fields[1].fill, kPassMarkColour);
    EXPECT_EQ(fields[2].kind, SliderMarkKind::Box);
    EXPECT_EQ(fields[2].box, 5);
    EXPECT_EQ(fields[2].fill, (Rgb{231, 177, 27}));
    EXPECT_EQ(fields[3].box, 2);
    EXPECT_EQ(fields[3].fill, (Rgb{64, 116, 202}));

    // Frame mode: frame 4 is picture 4; a box beyond the last picture shows nothing.
    heat.box(2).frame = 30;
    EXPECT_EQ(positions(slider_marks(heat, {1, 4}, false, 20)), (std::vector<std::int32_t>{1, 4, 7}));
}

TEST(SliderMarks, WhiteBoxesAreOutlinedAndWhiteNumbersAreNot) {
    testing::FakeHeatValues heat;
    for (std::int16_t box = 1; box <= 6; ++box) {
        heat.box(box).frame = box;
        heat.box(box).time = 1000 * box;
    }
    const auto marks = slider_marks(heat, {}, false, 10);
    ASSERT_EQ(marks.size(), 6u);
    EXPECT_EQ(marks[0].outline, marks[0].fill);    // box 1: dark red, white number
    EXPECT_EQ(marks[2].outline, (Rgb{0, 0, 0}));   // box 3: white, black number
    EXPECT_EQ(marks[5].outline, (Rgb{255, 0, 0})); // box 6: white, red number
    EXPECT_EQ(marks[3].fill, (Rgb{0, 0, 0}));      // box 4: black
}

TEST(SliderMarks, NextAndPreviousSkipEqualMarksAndStopAtTheEnds) {
    testing::FakeHeatValues heat;
    heat.box(1).frame = 10;
    heat.box(1).time = 1000;
    heat.box(4).frame = 10; // a dead heat on one picture
    heat.box(4).time = 1000;
    heat.box(6).frame = 25;
    heat.box(6).time = 2000;
    const auto marks = slider_marks(heat, {1}, false, 40);
    EXPECT_EQ(next_mark(marks, 1), 10);
    EXPECT_EQ(next_mark(marks, 10), 25); // both marks at 10 are passed at once
    EXPECT_EQ(next_mark(marks, 12), 25);
    EXPECT_EQ(next_mark(marks, 25), std::nullopt);
    EXPECT_EQ(previous_mark(marks, 25), 10);
    EXPECT_EQ(previous_mark(marks, 10), 1);
    EXPECT_EQ(previous_mark(marks, 1), std::nullopt);
    EXPECT_EQ(next_mark({}, 5), std::nullopt);
}

} // namespace
} // namespace veltro
