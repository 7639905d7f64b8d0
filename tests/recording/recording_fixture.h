#pragma once

#include "capture/dib_section.h"
#include "capture/test_picture.h"
#include "capture/video_buffer.h"
#include "fake_operator.h"
#include "recording/video_file_handler.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace veltro::testing {

using veltro::CapturedFrames;

// A recording object set up for a heat, as the heat lifecycle arms it.
inline void arm(cls_VideoFile_handler& rec, const std::string& path, std::int32_t w, std::int32_t h,
                bool interlaced = true) {
    rec.File_name(path);
    rec.RGB_interlaced(interlaced);
    rec.Cropped_X(w);
    rec.Cropped_Y(h);
    rec.Initiate_PX3_File();
    rec.Measured_fps(25);
    rec.Velt_event("Test Event");
    rec.Velt_Heat_ID("1");
    rec.Write_XML_header();
    rec.Close_File();
}

// One append pass at capture end, as the heat lifecycle runs it.
inline void append_pass(cls_VideoFile_handler& rec, const CapturedFrames& captured) {
    if (rec.Rounded_Compressed_Size() == 0) {
        rec.Calculate_Compressed_Size(captured.count(), captured.at());
    }
    rec.Close_File();
    rec.Open_px3_for_Append();
    for (std::int32_t i = 1; i <= captured.count(); ++i) {
        rec.Append_RGB_Frame(i, *captured.frames[i - 1]);
    }
    rec.Close_File();
}

// Mean absolute difference per colour byte of two pictures of the same size.
inline double mean_difference(const cDIBSection& a, const cDIBSection& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width() * 3; ++x) {
            sum += std::abs(a.ScanLine(y)[x] - b.ScanLine(y)[x]);
        }
    }
    return sum / (a.Width() * 3.0 * a.Height());
}

} // namespace veltro::testing
