// Capture against a grabber that drops what the host does not take in time: the frames are taken on
// the capture thread, so a window thread that does not come round, a disk that hangs or a trigger
// handled late cost no frame.
#include "app/heat_lifecycle.h"
#include "capture/capture_hdmi.h"
#include "capture/fake_v4l2.h"
#include "fake_operator.h"
#include "recording/capture_spool.h"
#include "recording/recording_fixture.h"
#include "recording/video_file_handler.h"
#include "support/fault_injection.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace veltro {
namespace {

constexpr std::uint32_t kPeriod = 20; // 50 pictures a second

class NullProgress final : public AppendProgress {
public:
    void begin(const std::string&) override {}
    void percent(int) override {}
    void end() override {}
};

class CaptureThreadTest : public ::testing::Test {
protected:
    CaptureThreadTest() {
        set_settings_path(dir_.file("Veltro_HDMI.ini"));
        capture_halted(false);
        io_.plug("/fake/video0");
        io_.drop_when_full(true);
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(testing::fake_grabber(io_));
        capture_ =
            std::make_unique<cls_Capture_HDMI>(make_capture_component(std::move(devices), clock_), clock_);
        capture_->component().SelectSource("video:1");
        heat_ = std::make_unique<HeatLifecycle>(*capture_, recording_, clock_);
        heat_->start_camera(32, 32);
    }
    ~CaptureThreadTest() override {
        fault_injection::hold_syncs(false);
        heat_.reset();
        capture_.reset();
        set_settings_path({});
    }

    // The camera films `count` more pictures, one period apart. Like a grabber it waits for nobody;
    // it only gives the host a generous moment to take each picture before filming the next, so a
    // capture thread that is there loses none and one that is held up loses them for certain.
    void film(int count) {
        for (int i = 0; i < count; ++i) {
            const std::int32_t before = io_.pictures + io_.dropped;
            clock_.advance(kPeriod);
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (io_.pictures + io_.dropped == before && std::chrono::steady_clock::now() < give_up) {
                std::this_thread::yield();
            }
        }
    }
    static HeatArming arming() {
        HeatArming a;
        a.crop_width = 32;
        a.crop_height = 32;
        return a;
    }
    // A heat running, capture on from the next picture.
    void capture_on() {
        film(60); // the rate is measured
        heat_->initiate(path_, arming());
        ASSERT_EQ(heat_->start(clock_.millis(), 0, false, {}), HeatLifecycle::Start::Started);
        ASSERT_EQ(heat_->capture_start(true, true, false, clock_.millis() + 1),
                  HeatLifecycle::CaptureStart::Started);
    }
    std::vector<std::int32_t> stored_stamps() const { return testing::stored_stamps(path_); }
    void expect_every_picture(std::size_t count, std::int32_t first) {
        const std::vector<std::int32_t> stamps = stored_stamps();
        ASSERT_EQ(stamps.size(), count);
        EXPECT_EQ(stamps.front(), first);
        for (std::size_t i = 1; i < stamps.size(); ++i) {
            ASSERT_EQ(stamps[i] - stamps[i - 1], static_cast<std::int32_t>(kPeriod)) << "picture " << i + 1;
        }
        EXPECT_EQ(io_.dropped.load(), 0);
        EXPECT_EQ(capture_->frames_lost_total(), 0);
    }

    testing::TempDir dir_;
    testing::FakeOperator op_;
    ManualClock clock_{100000};
    testing::FakeV4L2 io_{clock_, kPeriod};
    std::unique_ptr<cls_Capture_HDMI> capture_;
    cls_VideoFile_handler recording_;
    std::unique_ptr<HeatLifecycle> heat_;
    NullProgress progress_;
    std::string path_ = dir_.file("heat.px3");
};

// 500 pictures (10 s at 50 a second) while the window thread does nothing at all: it waits for the
// camera, as it would in a modal dialog, a print or a long repaint.
TEST_F(CaptureThreadTest, AWindowThreadThatNeverComesRoundLosesNoFrame) {
    capture_on();
    const auto first = static_cast<std::int32_t>(clock_.millis() + kPeriod);
    std::thread camera([this] { film(500); });
    camera.join();
    ASSERT_TRUE(heat_->capture_end(true, false, 10000, progress_));
    expect_every_picture(500, first);
}

// The disk hangs in its flush for the whole capture: frames wait in memory, none at the device.
TEST_F(CaptureThreadTest, ADiskThatHangsInItsFlushLosesNoFrame) {
    capture_on();
    const auto first = static_cast<std::int32_t>(clock_.millis() + kPeriod);
    fault_injection::hold_syncs(true);
    film(150);
    EXPECT_EQ(io_.dropped.load(), 0);
    fault_injection::hold_syncs(false);
    ASSERT_TRUE(heat_->capture_end(true, false, 10000, progress_));
    expect_every_picture(150, first);
}

// The finish trigger's edge is handled half a second late (the window was busy): the capture still
// begins with the first picture after the edge, taken from the pre-roll.
TEST_F(CaptureThreadTest, ATriggerHandledLateStillStartsAtItsEdge) {
    film(60);
    heat_->initiate(path_, arming());
    ASSERT_EQ(heat_->start(clock_.millis(), 0, false, {}), HeatLifecycle::Start::Started);
    const std::uint32_t edge = clock_.millis() + 5;
    film(25); // 500 ms
    ASSERT_EQ(heat_->capture_start(true, true, false, edge), HeatLifecycle::CaptureStart::Started);
    film(10);
    ASSERT_TRUE(heat_->capture_end(true, false, 10000, progress_));
    expect_every_picture(35, static_cast<std::int32_t>(edge - 5 + kPeriod));
}

// The device's own count of what it dropped reaches the capture source: the host was away for ten
// pictures, the grabber's four buffers kept four of them.
TEST_F(CaptureThreadTest, FramesTheDeviceDroppedAreCountedExactly) {
    capture_->watch_device(false);
    clock_.advance(kPeriod * 10);
    capture_->dispatch_now();
    std::int64_t told = 0;
    capture_->frames_lost = [&](std::int64_t count, std::uint32_t) { told += count; };
    clock_.advance(kPeriod);
    capture_->dispatch_now();
    capture_->deliver_notices();
    EXPECT_EQ(io_.dropped.load(), 6);
    EXPECT_EQ(capture_->frames_lost_total(), 6);
    EXPECT_EQ(told, 6);
}

} // namespace
} // namespace veltro
