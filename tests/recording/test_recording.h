#pragma once

#include "picture/test_picture.h"
#include "recording/video_file_handler.h"

#include <string>

namespace veltro {

// Recordings for tests and benchmarks, made through the real writer the way the heat lifecycle makes
// them.

// Creates the recording at `path` as "Initiate file" does (event "Test Event", heat "1", 25 frames per
// second) and closes it. With `start_pc_mill` the heat also has its start counter.
void Arm_Test_Recording(cls_VideoFile_handler& rec, const std::string& path, std::int32_t width,
                        std::int32_t height, bool interlaced = true, const std::string& start_pc_mill = {});

// One append pass at capture end: the record size from trial compressions (first pass only), then
// every frame compressed and appended.
void Append_Test_Frames(cls_VideoFile_handler& rec, const CapturedFrames& captured);

} // namespace veltro
