#pragma once

#include "capture/backends/demo/demo_race_scene.h"
#include "capture/backends/demo/demo_scene_shift.h"
#include "capture/capture_backends.h"
#include "support/clocks.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace veltro {

// The built-in demo race camera: always present, listed after the real devices. Formats (kRates):
// 0 = 1920*1080 at 25 frames per second interlaced (the fields of a frame 20 ms apart, the top one
// first), then 1920*1080 progressive at 50, 100, 120 and 200 frames per second. A frame shows the
// scene at exactly n periods after the start, also where a period is no whole millisecond (120).
//
// In real time a timer thread renders frames at the format's rate on the system clock and signals
// event_fd(); with a manual clock nothing runs by itself: dispatch() delivers every frame that is due up to
// the clock's time. Like a real HDMI capture device the camera delivers each frame kCaptureDelayMs after the
// (top field's) scene moment it shows, stamped with that arrival, so the default goal compensation
// turns its pictures back into true times. The start kit's LED is in the picture too (demo_led.h), so
// that delay can be measured as on a real camera. The setting demo_camera_shift moves the whole scene,
// LED and all, read at every start.
class DemoCamera final : public CaptureDevice {
public:
    static constexpr const char* kFriendlyName = "Veltro demo race camera";
    // The capture delay it simulates: that of the HDMI devices the goal compensation is set for.
    static constexpr std::uint32_t kCaptureDelayMs = 200;
    // Frames per second of each format; the first one is interlaced.
    static constexpr std::array<std::int32_t, 5> kRates = {25, 50, 100, 120, 200};

    DemoCamera();
    // On a clock that moves only when told (a ManualClock; not owned, outliving the camera).
    explicit DemoCamera(const Clock& manual);
    ~DemoCamera() override;
    DemoCamera(const DemoCamera&) = delete;
    DemoCamera& operator=(const DemoCamera&) = delete;

    std::string friendly_name() const override { return kFriendlyName; }
    std::string description() const override;
    const std::vector<MediaType>& formats() const override { return formats_; }
    std::string start(std::size_t index) override;
    void Stop() override;
    int event_fd() const override { return event_fd_; }
    void dispatch(const FrameCallback& deliver) override;

    // The counter value at which the race of the last Start began (frame 0, lap 0).
    std::uint32_t race_start() const { return race_start_; }
    // The counter value at which the nose of the dog of `box` reaches the finish column in lap `lap`
    // (the scene moment, not the later arrival of its picture).
    std::uint32_t crossing_mill(int box, int lap = 0) const;
    // Frames the timer thread had to drop because the window thread did not take them in time.
    std::int64_t frames_dropped() const { return dropped_; }
    std::int64_t frames_lost() const override { return dropped_; }
    // On a manual clock: the next `count` frames that come due are lost on the way, as on a
    // cable or grabber that drops frames; they count as dropped.
    void drop_frames(std::int64_t count) { drop_pending_ = count; }

private:
    struct Slot {
        std::vector<std::uint8_t> pixels;
        std::uint32_t stamp = 0;
        bool ready = false;
    };

    void render(std::uint8_t* into, std::int64_t frame) const;
    // The scene moment of a frame, in nanoseconds after the race start.
    std::int64_t moment_ns(std::int64_t frame) const { return frame * 1000000000 / rate_; }
    std::uint32_t stamp_of(std::int64_t frame) const;
    void timer_thread(std::int64_t start_ns);

    const Clock* manual_ = nullptr;
    DemoRaceScene scene_;
    SceneShift shift_;
    std::vector<MediaType> formats_;
    int event_fd_ = -1;

    std::size_t format_ = 0;
    std::int64_t rate_ = 25;
    bool interlaced_ = true;
    bool running_ = false;
    std::uint32_t race_start_ = 0;
    std::int64_t next_frame_ = 0; // manual mode: the next frame to deliver
    std::int64_t drop_pending_ = 0;

    std::mutex mutex_;
    std::vector<Slot> slots_; // real time: frames rendered, waiting for dispatch()
    std::vector<std::uint8_t> manual_frame_;
    std::vector<std::uint8_t> spare_; // the frame being delivered, swapped with a slot's pixels
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> dropped_{0};
    std::thread thread_;
};

// Adds the demo race camera to the program's back ends; it is filmed on a first start unless an
// earlier back end named another source for that.
void register_demo_backend(CaptureBackends& backends);

} // namespace veltro
