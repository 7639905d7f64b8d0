#pragma once

// A heat filmed from the tests' V4L2 fake grabber (1920x1080, four buffers, a picture dropped when
// none is queued) at 50 pictures a second, cropped to 400*880: its camera started and its capture on.
// What the benchmarks of a capture under stress share.
#include "app/heat_lifecycle.h"
#include "capture/capture_hdmi.h"
#include "capture/fake_v4l2.h"
#include "recording/video_file_handler.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace veltro::bench {

constexpr std::uint32_t kPeriod = 20;

class NoProgress final : public AppendProgress {
public:
    void begin(const std::string&) override {}
    void percent(int) override {}
    void end() override {}
};

inline std::unique_ptr<cls_Capture_HDMI> fake_capture(testing::FakeV4L2& io, const Clock& clock) {
    const testing::FakeV4L2::Node grabber{"Grabber", "usb-1", 1920, 1080, 0, true, {}};
    io.plug("/fake/video0", grabber);
    io.drop_when_full(true);
    std::vector<std::unique_ptr<CaptureDevice>> devices;
    devices.push_back(testing::fake_grabber(io, "/fake/video0", grabber));
    return std::make_unique<cls_Capture_HDMI>(make_capture_component(std::move(devices), clock), clock);
}

struct FakeHeat {
    // `capture_thread_takes_frames`: false has the window thread take them (dispatch_now).
    FakeHeat(const std::filesystem::path& file, bool capture_thread_takes_frames)
        : capture(fake_capture(io, clock)), heat(*capture, recording, clock) {
        capture->watch_device(capture_thread_takes_frames);
        capture->component().SelectSource("video:1");
        heat.start_camera(400, 880);
        heat.initiate(file.string(), HeatArming{});
        heat.start(clock.millis(), 0, false, {});
        heat.capture_start(true, true, false, clock.millis() + 1);
    }
    // Ends the capture and appends its pictures to the recording.
    void end() {
        NoProgress progress;
        heat.capture_end(true, false, 10000, progress);
    }

    ManualClock clock{100000};
    testing::FakeV4L2 io{clock, kPeriod};
    std::unique_ptr<cls_Capture_HDMI> capture;
    cls_VideoFile_handler recording;
    HeatLifecycle heat;
};

} // namespace veltro::bench
