#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace veltro {

class cls_VideoFile_handler;

// A heat recorded from the demo race camera through the same path as a real heat: capture source,
// crop, the capture session that compresses while capturing, its final pass, and a recording header with the
// start values and the heat identity "Test Event" / "1" / "Test Heat". The dogs leave the boxes at
// the start signal, which is the moment the camera starts.
struct DemoHeatOptions {
    std::string path;
    std::int32_t capture_ms = 3000; // how long capture stays on after the start
    std::size_t format = 0;         // 0 = 1920*1080/25 interlaced, then /50, /100, /120, /200
    std::int16_t crop_width = 400;  // 400*880, 600*1080 or 576*720
    std::int16_t crop_height = 880;
    bool fast = false; // on a manual clock instead of in real time
    // The caller's thread, which stands for the window thread, does nothing from this heat time for
    // stall_ms, as when a dialog holds the window; capture goes on without it. 0 for none.
    std::int32_t stall_from_ms = 0;
    std::int32_t stall_ms = 0;
};

struct DemoHeatResult {
    std::int32_t frames = 0;
    std::uint32_t start_pc_mill = 0;
    // True heat time at which each box's dog reached the finish line; absent when that happened
    // after capture ended.
    std::array<std::optional<std::int32_t>, 6> crossing_ms;
    std::int64_t frames_dropped = 0;
    // From the capture's end to its frames counted in the recording.
    std::int64_t append_ms = 0;
};

// Parses "1920*1080/25", "/50", "/100", "/120" or "/200" into a demo format number and "400*880",
// "600*1080" or "576*720" into a crop size; std::nullopt for anything else.
std::optional<std::size_t> demo_format_from_text(const std::string& text);
// The text of a demo format number ("1920*1080/100").
std::string demo_format_text(std::size_t format);
std::optional<std::pair<std::int16_t, std::int16_t>> demo_crop_from_text(const std::string& text);

// Makes the recording of a test heat (the demo race, a camera check) at `path`, of crop_width x
// crop_height pictures at `rate`, upright, for "Test Event" heat "1" named `heat_name`, with the
// timing settings; the caller adds the start and its own facts, then writes the header.
void initiate_test_heat(cls_VideoFile_handler& recording, const std::string& path, std::int16_t crop_width,
                        std::int16_t crop_height, std::int16_t rate, const std::string& heat_name);

// Records the heat into options.path. Fails with VeltroError when the file cannot be written: a
// recording that could not be made is not there; one that was made is kept with what was recorded,
// and the error says where.
DemoHeatResult record_demo_heat(const DemoHeatOptions& options);

} // namespace veltro
