#pragma once

#include "fake_operator.h"
#include "picture/dib_section.h"
#include "picture/test_picture.h"
#include "picture/video_buffer.h"
#include "recording/test_recording.h"
#include "recording/video_file_handler.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace veltro::testing {

using veltro::CapturedFrames;

// Mean absolute difference per colour byte of two pictures of the same size.
inline double mean_difference(const cDIBSection& a, const cDIBSection& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width() * 3; ++x) {
            sum += std::abs(a.scan_line(y)[x] - b.scan_line(y)[x]);
        }
    }
    return sum / (a.Width() * 3.0 * a.Height());
}

// The capture stamps of every frame the recording at `path` counts, in order.
inline std::vector<std::int32_t> stored_stamps(const std::string& path) {
    cls_VideoFile_handler rec;
    rec.event_log([](const std::string&) {});
    rec.Open_File(path);
    std::vector<std::int32_t> stamps;
    for (std::int32_t n = 1; n <= rec.num_Frames(); ++n) {
        rec.Read_RGB_sample(n, false);
        stamps.push_back(rec.Timestamp_long());
    }
    return stamps;
}

} // namespace veltro::testing
