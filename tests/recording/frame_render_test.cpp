#include "recording/frame_render.h"
#include "recording_fixture.h"
#include "support/files.h"
#include "support/veltro_error.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

namespace veltro {
namespace {

// A picture whose every row (counted from the top) holds its row number in all bytes, and whose
// columns are told apart by the green byte.
cDIBSection numbered(int w, int h) {
    cDIBSection d;
    d.Create(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = d.scan_line(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(y);
            p[1] = static_cast<std::uint8_t>(x);
            p[2] = 7;
        }
    }
    return d;
}

TEST(FrameRender, FieldsAreLineDoubledFromAlternateRows) {
    const cDIBSection src = numbered(5, 7);
    cDIBSection field;
    field.Create(5, 7);
    ASSERT_TRUE(deinterlaceFrame2(src, field, 2)); // field 1: rows 0, 2, 4, 6
    const int top[7] = {0, 0, 2, 2, 4, 4, 6};
    for (int y = 0; y < 7; ++y) {
        EXPECT_EQ(field.scan_line(y)[0], top[y]) << y;
        EXPECT_EQ(field.scan_line(y)[3 * 4 + 1], 4);
    }
    ASSERT_TRUE(deinterlaceFrame2(src, field, 1)); // field 2: rows 1, 3, 5 (the last row repeats 5)
    const int bottom[7] = {1, 1, 3, 3, 5, 5, 5};
    for (int y = 0; y < 7; ++y) {
        EXPECT_EQ(field.scan_line(y)[0], bottom[y]) << y;
    }
    cDIBSection wrong;
    wrong.Create(5, 6);
    EXPECT_FALSE(deinterlaceFrame2(src, wrong, 1));
}

TEST(FrameRender, RotationTurnsAQuarterClockwise) {
    const cDIBSection src = numbered(3, 2); // rows 0..1, columns 0..2
    cDIBSection turned;
    turned.Create(2, 3);
    ASSERT_TRUE(Rotate90(src, turned));
    // The left column of the source becomes the top row, its bottom row first.
    EXPECT_EQ(turned.scan_line(0)[0], 1);     // row 1 of the source
    EXPECT_EQ(turned.scan_line(0)[3], 0);     // row 0
    EXPECT_EQ(turned.scan_line(0)[1], 0);     // column 0
    EXPECT_EQ(turned.scan_line(2)[3 + 1], 2); // bottom right: source row 0, column 2
    cDIBSection wrong;
    wrong.Create(3, 2);
    EXPECT_FALSE(Rotate90(src, wrong));
}

class Rendering : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    std::string path = dir.file("render.px3");

    // Interlaced frames whose top field is white and bottom field black, stored at quality 100.
    void write(int frames) {
        cls_VideoFile_handler rec;
        rec.start_quality(100);
        Arm_Test_Recording(rec, path, 32, 16);
        testing::CapturedFrames captured(32, 16, frames);
        for (auto& f : captured.frames) {
            cDIBSection d;
            d.Create(32, 16);
            for (int y = 0; y < 16; y += 2) {
                std::memset(d.scan_line(y), 255, 32 * 3);
            }
            std::memcpy(f->RGB_Buffer_Address(), d.DIBSectionBitsPtr(),
                        static_cast<std::size_t>(d.SizeImage()));
        }
        Append_Test_Frames(rec, captured);
    }
    void set_rotated_text(const std::string& from, const std::string& to) {
        std::string file = read_whole_file(path).value();
        const auto at = file.find("<RGB_rotated>" + from + "</RGB_rotated>");
        ASSERT_NE(at, std::string::npos);
        file.replace(at + 13, from.size(), to);
        std::ofstream(path, std::ios::binary) << file;
    }
};

TEST_F(Rendering, FieldsOneAndTwoShowTheTwoHalvesOfFrameOne) {
    write(3);
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    rec.Draw_RGB_Field(1);
    EXPECT_EQ(rec.PX3_Displayed_Frame(), 1);
    EXPECT_EQ(rec.Field_To_Show(), 1);
    EXPECT_GT(rec.picture().scan_line(1)[10], 200) << "field 1 is the top field, line-doubled";
    rec.Draw_RGB_Field(2);
    EXPECT_EQ(rec.PX3_Displayed_Frame(), 1);
    EXPECT_EQ(rec.Field_To_Show(), 2);
    EXPECT_LT(rec.picture().scan_line(0)[10], 60);
    rec.Draw_RGB_Field(6);
    EXPECT_EQ(rec.PX3_Displayed_Frame(), 3);
    EXPECT_EQ(rec.current_field(), 6);
}

TEST_F(Rendering, EffectiveTimesCountFromTheStart) {
    write(12);
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    rec.Draw_RGB_frame(12);
    EXPECT_EQ(rec.Field_To_Show(), 99);
    EXPECT_EQ(rec.PX3_Displayed_Frame(), 12);
    EXPECT_FLOAT_EQ(rec.effective_time(), 440.0f);
    rec.Draw_RGB_Field(5);
    EXPECT_FLOAT_EQ(rec.effective_time(), 80.0f);
    rec.start_number(3);
    rec.Draw_RGB_Field(7);
    EXPECT_FLOAT_EQ(rec.effective_time(), 80.0f);
    rec.Draw_RGB_frame(5);
    EXPECT_FLOAT_EQ(rec.effective_time(), 80.0f);
}

TEST_F(Rendering, StoredRotationDecidesTheTurn) {
    write(3);
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        EXPECT_FALSE(rec.rotated());
        rec.Draw_RGB_frame(1);
        EXPECT_EQ(rec.picture().Width(), 32);
    }
    set_rotated_text("f", "Y"); // the header's default, as other writers leave it
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    EXPECT_TRUE(rec.rotated());
    rec.Draw_RGB_frame(1);
    EXPECT_EQ(rec.picture().Width(), 16);
    EXPECT_EQ(rec.picture().Height(), 32);
    // Turned clockwise, the white top row becomes the right column, the black second row the next.
    EXPECT_GT(rec.picture().scan_line(5)[3 * 15], 200);
    EXPECT_LT(rec.picture().scan_line(5)[3 * 14], 60);
    rec.Draw_RGB_Field(2);
    EXPECT_EQ(rec.picture().Width(), 16);
    EXPECT_LT(rec.picture().scan_line(5)[3 * 15], 60);
}

TEST_F(Rendering, ReadErrorStopsFieldDrawingOnly) {
    write(3);
    cls_VideoFile_handler rec;
    rec.Open_File(path);
    rec.Draw_RGB_Field(1);
    EXPECT_THROW(rec.Draw_RGB_Field(9), VeltroError); // frame 5 of 3
    EXPECT_TRUE(rec.read_error());
    rec.Draw_RGB_Field(4);
    EXPECT_EQ(rec.PX3_Displayed_Frame(), 1) << "field drawing stopped";
    rec.Draw_RGB_frame(2);
    EXPECT_EQ(rec.PX3_Displayed_Frame(), 2);
}

} // namespace
} // namespace veltro
