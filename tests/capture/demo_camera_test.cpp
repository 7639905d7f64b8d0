#include "capture/backends/demo/demo_camera.h"
#include "capture/backends/v4l2/v4l2_device.h"
#include "capture/format_description.h"
#include "temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <poll.h>

namespace veltro {
namespace {

struct FrameLog final : CaptureEventSink {
    std::vector<std::uint32_t> stamps;
    std::vector<std::int32_t> lengths;
    void OnRGBEvent(const std::uint8_t*, std::int32_t length, std::optional<std::uint32_t> at) override {
        stamps.push_back(at.value_or(0xFFFFFFFF));
        lengths.push_back(length);
    }
};

// Luma of the pixel at (x, y from the top) of a full demo frame.
int luma(const std::vector<std::uint8_t>& frame, int x, int y) {
    const std::uint8_t* p =
        frame.data() + static_cast<std::size_t>(DemoRaceScene::kHeight - 1 - y) * DemoRaceScene::kStride +
        static_cast<std::size_t>(x) * 3;
    return (p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8;
}

TEST(DemoRaceScene, NoseCoversTheFinishColumnFromItsCrossingMomentAndFieldsAreSeparate) {
    DemoRaceScene scene;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(DemoRaceScene::kImageSize));
    for (int box = 1; box <= 6; ++box) {
        const double c = DemoRaceScene::crossing_ms(box);
        const auto [first, last] = DemoRaceScene::head_rows(box);
        const int top_row = first % 2 == 0 ? first : first + 1;
        // Top field 1 ms before the crossing, bottom field at it.
        scene.render(frame.data(), c - 1, c);
        EXPECT_GT(luma(frame, DemoRaceScene::kFinishX, top_row), 200) << "box " << box;
        EXPECT_LT(luma(frame, DemoRaceScene::kFinishX, top_row + 1), 100) << "box " << box;
        EXPECT_LT(luma(frame, DemoRaceScene::kFinishX, last), 100) << "box " << box;
        // Just before the crossing the nose is on the column to the left, and a lap later it comes again.
        const double just_before = c - 0.5 / 1.1;
        scene.render(frame.data(), just_before, just_before);
        EXPECT_LT(luma(frame, DemoRaceScene::kFinishX - 1, top_row), 100) << "box " << box;
        EXPECT_GT(luma(frame, DemoRaceScene::kFinishX, top_row), 200) << "box " << box;
        scene.render(frame.data(), c + DemoRaceScene::kLapMs, c + DemoRaceScene::kLapMs);
        EXPECT_LT(luma(frame, DemoRaceScene::kFinishX, top_row), 100) << "box " << box;
    }
    // The burned-in clock moves.
    std::vector<std::uint8_t> later(frame.size());
    scene.render(frame.data(), 100, 100);
    scene.render(later.data(), 110, 110);
    EXPECT_NE(frame, later);
}

TEST(DemoCamera, ManualClockDeliversDueFramesWithTheirSceneStamps) {
    ManualClock clock(50000);
    std::vector<std::unique_ptr<CaptureDevice>> devices;
    auto camera = std::make_unique<DemoCamera>(clock);
    DemoCamera& demo = *camera;
    devices.push_back(std::move(camera));
    auto component = make_capture_component(std::move(devices), clock);
    FrameLog log;
    component->Advise(log);
    ASSERT_TRUE(component->SelectSource("video:1"));
    EXPECT_FALSE(component->SelectSource("video:2"));
    ASSERT_TRUE(component->SelectSource("video:1"));
    EXPECT_EQ(component->GetProperty("sourceFriendlyName"), "Veltro demo race camera");
    EXPECT_EQ(component->GetProperty("numprops"), "5");
    EXPECT_EQ(Process_AMT(component->get_format_record("getAMT00")), "1920*1080/25");
    EXPECT_EQ(Process_AMT(component->get_format_record("getAMT01")), "1920*1080/50");
    EXPECT_EQ(Process_AMT(component->get_format_record("getAMT03")), "1920*1080/120");
    EXPECT_EQ(Process_AMT(component->get_format_record("getAMT04")), "1920*1080/200");
    EXPECT_FALSE(component->get_format_record("getAMT05"));
    EXPECT_EQ(component->event_fd(), -1);

    component->Run();
    EXPECT_EQ(component->LastError(), "");
    EXPECT_GE(component->event_fd(), 0);
    EXPECT_EQ(demo.race_start(), 50000u);
    // Each picture arrives, and is stamped, the capture delay after the moment it shows.
    clock.advance(199);
    component->dispatch();
    EXPECT_TRUE(log.stamps.empty());
    clock.advance(101);
    component->dispatch();
    EXPECT_EQ(log.stamps, (std::vector<std::uint32_t>{50200, 50240, 50280}));
    EXPECT_EQ(log.lengths[0], 1920 * 1080 * 3);
    EXPECT_EQ(demo.crossing_mill(1, 1), 50000u + 6000u + 2143u);

    // 50 frames per second limited to 25 passes every second frame.
    component->Stop();
    log.stamps.clear();
    component->SetProperty("SetFormat", "1");
    component->SetProperty("CaptureFps", "25");
    component->Run();
    clock.advance(300);
    component->dispatch();
    EXPECT_EQ(log.stamps, (std::vector<std::uint32_t>{50500, 50540, 50580}));

    // At 120 a period is 8 1/3 ms: each frame is stamped with the millisecond it arrived in.
    component->Stop();
    log.stamps.clear();
    component->SetProperty("CaptureFps", "0");
    component->SetProperty("SetFormat", "3");
    component->Run();
    clock.advance(225);
    component->dispatch();
    const std::uint32_t start = demo.race_start();
    EXPECT_EQ(log.stamps, (std::vector<std::uint32_t>{start + 200, start + 208, start + 216, start + 225}));

    component->SetProperty("SetFormat", "7");
    EXPECT_NE(component->LastError(), "");
}

TEST(DemoCamera, ManualClockDeliversOnAcrossTheCounterWrap) {
    ManualClock clock(0xFFFFFFFFu - 299); // the race starts 300 ms before the wrap
    std::vector<std::unique_ptr<CaptureDevice>> devices;
    devices.push_back(std::make_unique<DemoCamera>(clock));
    auto component = make_capture_component(std::move(devices), clock);
    FrameLog log;
    component->Advise(log);
    ASSERT_TRUE(component->SelectSource("video:1"));
    component->Run();
    clock.advance(340);
    component->dispatch();
    EXPECT_EQ(log.stamps,
              (std::vector<std::uint32_t>{0xFFFFFFFFu - 99, 0xFFFFFFFFu - 59, 0xFFFFFFFFu - 19, 20}));
}

TEST(DemoCamera, RealTimeFramesArriveThroughTheDescriptor) {
    std::vector<std::unique_ptr<CaptureDevice>> devices;
    devices.push_back(std::make_unique<DemoCamera>());
    auto component = make_capture_component(std::move(devices), system_clock());
    FrameLog log;
    component->Advise(log);
    component->SelectSource("video:1");
    component->SetProperty("SetFormat", "1");
    component->Run();
    pollfd p{component->event_fd(), POLLIN, 0};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(poll(&p, 1, 5000), 1);
        component->dispatch();
    }
    component->Stop();
    ASSERT_GE(log.stamps.size(), 3u);
    for (std::size_t i = 1; i < log.stamps.size(); ++i) {
        EXPECT_EQ((log.stamps[i] - log.stamps[0]) % 20, 0u);
        EXPECT_GT(log.stamps[i], log.stamps[i - 1]);
    }
    EXPECT_EQ(component->event_fd(), -1);
}

TEST(V4L2, FormatRecordsStampsAndRows) {
    EXPECT_EQ(v4l2_avg_time_per_frame(1, 25), 400000);
    EXPECT_EQ(v4l2_avg_time_per_frame(1001, 30000), 333667);
    EXPECT_EQ(v4l2_avg_time_per_frame(1, 0), 0);
    const MediaType m = v4l2_describe_format(V4L2_PIX_FMT_YUYV, 1920, 1080, 1001, 30000);
    EXPECT_EQ(m.subtype, fourcc('Y', 'U', 'Y', 'V'));
    EXPECT_EQ(Process_AMT(m), "1920*1080/30");
    EXPECT_EQ(m.format->bmi_header.bi_size_image, 1920u * 1080u * 3u);
    EXPECT_EQ(Process_AMT(v4l2_describe_format(V4L2_PIX_FMT_MJPEG, 1280, 720, 0, 0)), "Corrupt data!");

    timeval t{1234, 567890};
    EXPECT_EQ(v4l2_stamp_to_mill(t, V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC),
              std::optional<std::uint32_t>(1234567));
    EXPECT_EQ(v4l2_stamp_to_mill(t, V4L2_BUF_FLAG_TIMESTAMP_UNKNOWN), std::nullopt);
    EXPECT_EQ(v4l2_stamp_to_mill(t, V4L2_BUF_FLAG_TIMESTAMP_COPY), std::nullopt);
    timeval wraps{5000000, 0}; // 5e9 ms wraps like the counter
    EXPECT_EQ(v4l2_stamp_to_mill(wraps, V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC),
              std::optional<std::uint32_t>(static_cast<std::uint32_t>(5000000000ull)));

    // Two rows of 5 pixels with 1 byte of driver padding become bottom-up rows padded to 16 bytes.
    std::vector<std::uint8_t> src(32, 0);
    for (int i = 0; i < 15; ++i) {
        src[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
        src[static_cast<std::size_t>(16 + i)] = static_cast<std::uint8_t>(100 + i);
    }
    std::vector<std::uint8_t> dst(32, 0xEE);
    v4l2_rows_to_bottom_up(src.data(), 5, 2, 16, dst.data());
    EXPECT_EQ(dst[0], 100);
    EXPECT_EQ(dst[14], 114);
    EXPECT_EQ(dst[15], 0);
    EXPECT_EQ(dst[16], 1);
    EXPECT_EQ(dst[31], 0);
}

TEST(V4L2, EnumerationSkipsNodesThatAreNoCaptureDevices) {
    testing::TempDir dir;
    EXPECT_TRUE(enumerate_v4l2_devices(dir.path().string()).empty());
    std::ofstream(dir.file("video0")) << "not a device";
    EXPECT_TRUE(enumerate_v4l2_devices(dir.path().string()).empty());
    EXPECT_TRUE(enumerate_v4l2_devices(dir.file("missing")).empty());
}

} // namespace
} // namespace veltro
