#include "capture/capture_hdmi.h"
#include "capture/capture_trace.h"
#include "capture/format_description.h"
#include "capture/hdmi_crop.h"
#include "capture_fakes.h"
#include "fake_operator.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace veltro {
namespace {

using testing::FakeDevice;
using testing::FakeOperator;
using testing::LoggingComponent;
using testing::TempDir;

class CaptureSourceTest : public ::testing::Test {
protected:
    CaptureSourceTest() : raw_(static_cast<std::size_t>(1920 * 3 * 1080)) {
        set_settings_path(dir_.file("Veltro_HDMI.ini"));
        set_capture_trace([this](const std::string& line) { trace_.push_back(line); });
        capture_halted(false);
        current_capture() = CurrentCapture{};
    }
    ~CaptureSourceTest() override {
        set_capture_trace({});
        set_settings_path({});
    }

    std::unique_ptr<cls_Capture_HDMI> make(std::vector<std::string> names = {"Grabber A"}) {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        for (const auto& n : names) {
            devices.push_back(std::make_unique<FakeDevice>(
                n, std::vector<MediaType>{testing::hd_format(400000), testing::hd_format(200000)}));
        }
        auto component =
            std::make_unique<LoggingComponent>(make_capture_component(std::move(devices), clock_), log_);
        auto cap = std::make_unique<cls_Capture_HDMI>(std::move(component), clock_);
        cap->component().SelectSource("video:1");
        return cap;
    }

    // `count` frames, `gap` ms apart, each arriving as the clock reaches it.
    void frames(cls_Capture_HDMI& cap, int count, std::uint32_t gap) {
        for (int i = 0; i < count; ++i) {
            clock_.advance(gap);
            cap.locked(
                [&] { cap.OnRGBEvent(raw_.data(), static_cast<std::int32_t>(raw_.size()), std::nullopt); });
            cap.deliver_notices();
        }
    }

    TempDir dir_;
    FakeOperator op_;
    std::vector<std::string> log_;
    std::vector<std::string> trace_;
    ManualClock clock_{100000, 101000};
    std::vector<std::uint8_t> raw_;
};

TEST_F(CaptureSourceTest, RateWindowAcceptsOnly24To250AndTheFirstWindowOfARunIsMeasuredFromTheOldStart) {
    auto cap = make();
    cap->Capture_Run();
    // A fresh object's window starts at counter 0: the first window is far too slow.
    frames(*cap, 50, 20);
    EXPECT_EQ(cap->Running_Fps(), 0);
    frames(*cap, 50, 40); // 2000 ms
    EXPECT_EQ(cap->Running_Fps(), 25);
    frames(*cap, 50, 20); // 1000 ms
    EXPECT_EQ(cap->Running_Fps(), 50);
    frames(*cap, 50, 5); // 250 ms: 200
    EXPECT_EQ(cap->Running_Fps(), 200);
    frames(*cap, 50, 4); // 200 ms: 250, the highest taken
    EXPECT_EQ(cap->Running_Fps(), 250);
    frames(*cap, 50, 3); // 150 ms: 333, rejected
    EXPECT_EQ(cap->Running_Fps(), 250);
    frames(*cap, 50, 50); // 2500 ms: 20, rejected
    EXPECT_EQ(cap->Running_Fps(), 250);

    // A new run keeps the window start: after a pause its first window is rejected again.
    cap->Stop_Capture();
    clock_.advance(60000);
    cap->Capture_Run();
    EXPECT_EQ(cap->Running_Fps(), 0);
    frames(*cap, 50, 20);
    EXPECT_EQ(cap->Running_Fps(), 0);
    frames(*cap, 50, 20);
    EXPECT_EQ(cap->Running_Fps(), 50);
}

TEST_F(CaptureSourceTest, RateWindowWithNoElapsedTimeWaitsForTheNextFrame) {
    auto cap = make();
    cap->Capture_Run();
    frames(*cap, 100, 20);
    ASSERT_EQ(cap->Running_Fps(), 50);
    frames(*cap, 50, 0); // elapsed 0: nothing is reset
    EXPECT_EQ(cap->Running_Fps(), 50);
    frames(*cap, 1, 960); // the 51st frame closes the window: 50000 / 960 = 52.08
    EXPECT_EQ(cap->Running_Fps(), 52);
    frames(*cap, 50, 40);
    EXPECT_EQ(cap->Running_Fps(), 25);
}

TEST_F(CaptureSourceTest, TenFrameTimeAndMeasuredRateSurviveANewRun) {
    auto cap = make();
    EXPECT_EQ(cap->Measured_fps(), 0);
    cap->Capture_Run();
    frames(*cap, 130, 20);
    EXPECT_EQ(cap->HDMI_10_mill(), 200);
    EXPECT_EQ(cap->Measured_fps(), 0);
    frames(*cap, 1, 40); // callback 131 comes 40 ms late: 100 frames in 2020 ms
    EXPECT_EQ(cap->Measured_fps(), 50);
    EXPECT_EQ(cap->HDMI_events(), 131);

    cap->Capture_Run();
    frames(*cap, 31, 40);
    EXPECT_EQ(cap->HDMI_10_mill(), 400); // taken anew at callbacks 21 and 31
    EXPECT_EQ(cap->Measured_fps(), 50);  // still the earlier run's figure
}

TEST_F(CaptureSourceTest, ArrivalDeltaBoundsAndDriverStamps) {
    auto cap = make();
    cap->Capture_Run();
    auto at = [&](std::uint32_t stamp) {
        cap->locked([&] { cap->OnRGBEvent(raw_.data(), static_cast<std::int32_t>(raw_.size()), stamp); });
    };
    clock_.set_millis(500000);
    at(400000);
    at(399999);
    EXPECT_EQ(cap->last_Capture_delta(), 0); // -1
    at(399999);
    EXPECT_EQ(cap->last_Capture_delta(), 0); // 0 itself
    at(409999);
    EXPECT_EQ(cap->last_Capture_delta(), 10000);
    at(420000);
    EXPECT_EQ(cap->last_Capture_delta(), 0); // 10001
    // The driver's moment is the capture time, and the local time is moved back with it.
    EXPECT_EQ(cap->last_Capture_mill(), 420000u);
    EXPECT_EQ(cap->last_Capture_local(), 500000 + 1000 - 80000);
}

TEST_F(CaptureSourceTest, ArmTurnsOnceEvery100FramesStartingUpwards) {
    auto cap = make();
    cap->Capture_Run();
    frames(*cap, 100, 20);
    EXPECT_EQ(cap->arm_position(), 100);
    frames(*cap, 1, 20);
    EXPECT_EQ(cap->arm_position(), 1);

    const RunningArm up = running_arm_geometry(80, 60, 0);
    EXPECT_NEAR(up.x1, 40, 1e-3);
    EXPECT_NEAR(up.y1, 0, 1e-3);
    EXPECT_EQ(up.x2, 40);
    EXPECT_EQ(up.y2, 30);
    EXPECT_EQ(up.line_width, 10);
    const RunningArm right = running_arm_geometry(80, 60, 25);
    EXPECT_NEAR(right.x1, 80, 1e-3);
    EXPECT_NEAR(right.y1, 30, 1e-3);
}

TEST_F(CaptureSourceTest, VideoHeaderIsTakenOnceOnTheFirstFrameEver) {
    auto cap = make();
    EXPECT_EQ(cap->HDMI_Sample_Dimensions(), "0*0");
    cap->Capture_Run();
    frames(*cap, 1, 20);
    EXPECT_TRUE(cap->header_loaded());
    EXPECT_EQ(cap->HDMI_Sample_Dimensions(), "1920*1080");
    EXPECT_EQ(cap->video_header().avg_time_per_frame, 400000);
    EXPECT_EQ(cap->raw_bitmap_header().bi_size_image, raw_.size());
    EXPECT_EQ(cap->raw_bitmap_header().bi_bit_count, 24);

    // A later format choice does not change the header of this object.
    cap->component().SetProperty("SetFormat", "1");
    cap->Capture_Run();
    frames(*cap, 1, 20);
    EXPECT_EQ(cap->video_header().avg_time_per_frame, 400000);
}

TEST_F(CaptureSourceTest, StoreKeepsTheCroppedFrameWithItsStampsAndNothingBeforeACallback) {
    auto cap = make();
    cap->set_HDMI_Crop(400, 880);
    cap->Do_CROP(true);
    cap->MaxFrames(0);
    cap->Post_linear(true);
    cap->Capture_Run();
    cap->Store_HDMI_Buffer();
    EXPECT_EQ(cap->Buff_Num(), 0);
    EXPECT_EQ(trace_.back(), "m_HDMI_events = 0");

    // Mark the source pixel at the crop origin (760, 100 from the top).
    const std::size_t at = static_cast<std::size_t>(1080 - 1 - 100) * 5760 + 760 * 3;
    raw_[at] = 11;
    raw_[at + 1] = 22;
    raw_[at + 2] = 33;
    frames(*cap, 1, 20);
    cap->Store_HDMI_Buffer();
    frames(*cap, 1, 40);
    cap->Store_HDMI_Buffer();
    ASSERT_EQ(cap->Buff_Num(), 2);
    EXPECT_EQ(cap->Effective_Video_Object(2), 2);
    const CVideobuff_RGB& first = cap->stored_frame(1);
    EXPECT_EQ(first.RGB_Length(), 1056000);
    EXPECT_EQ(cap->Video_Buff_len(), 1056000);
    EXPECT_EQ(first.Capture_Mill(), 100020);
    EXPECT_EQ(first.Capture_Local(), 101020);
    const CVideobuff_RGB& second = cap->stored_frame(2);
    EXPECT_EQ(second.Capture_Mill(), 100060);
    EXPECT_EQ(second.Capture_Delta(), 40);
    // Top row of the crop, first pixel; rows are bottom-up.
    const std::uint8_t* top_left = first.Video_Adress() + static_cast<std::size_t>(879) * 1200;
    EXPECT_EQ(top_left[0], 11);
    EXPECT_EQ(top_left[1], 22);
    EXPECT_EQ(top_left[2], 33);

    // A new run empties the collection even though nothing was written.
    cap->Capture_Run();
    EXPECT_EQ(cap->Buff_Num(), 0);
    cap->Store_HDMI_Buffer();
    EXPECT_EQ(cap->Buff_Num(), 0);
}

TEST_F(CaptureSourceTest, StoreWithoutPostLinearAndNoSlotsStoresNothing) {
    auto cap = make();
    cap->set_HDMI_Crop(576, 720);
    cap->Do_CROP(true);
    cap->MaxFrames(0);
    cap->Capture_Run();
    frames(*cap, 1, 20);
    cap->Store_HDMI_Buffer();
    EXPECT_EQ(cap->Buff_Num(), 0);
}

TEST_F(CaptureSourceTest, CircularStorageReturnsTheOldestFrameFirst) {
    auto cap = make();
    cap->set_HDMI_Crop(576, 720);
    cap->Do_CROP(true);
    cap->MaxFrames(3);
    cap->Capture_Run();
    for (int i = 0; i < 5; ++i) {
        frames(*cap, 1, 20);
        cap->Store_HDMI_Buffer();
    }
    ASSERT_EQ(cap->Buff_Num(), 3);
    EXPECT_EQ(cap->stored_frame(1).Capture_Mill(), 100060);
    EXPECT_EQ(cap->stored_frame(3).Capture_Mill(), 100100);
}

TEST_F(CaptureSourceTest, CropThatDoesNotFitHaltsAndStopsTheCameras) {
    auto cap = make();
    int stops = 0;
    cap->Stop_all_cams = [&] { ++stops; };
    int received = 0;
    cap->HDMIreceived = [&] { ++received; };
    cap->set_HDMI_Crop(2000, 720);
    cap->Do_CROP(true);
    cap->Capture_Run();
    frames(*cap, 1, 20);
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(capture_halted());
    EXPECT_EQ(received, 1);
    EXPECT_EQ(trace_.front(), "*HDMI_Crop X,Y = 2000,720");
}

TEST_F(CaptureSourceTest, SourceScanFindsTheSavedNameAndConfiguresIt) {
    Write_Setting(keys::friendlyname, "Grabber C");
    Write_Setting(keys::videoproperty, "1");
    current_capture().limit_to_25_fps = true;
    auto cap = make({"Grabber A", "Grabber B", "Grabber C"});
    log_.clear();
    cap->Set_Source_from_Saved();
    EXPECT_TRUE(cap->SourcePropFound());
    EXPECT_EQ(cap->source_number(), 3);
    const std::vector<std::string> expected = {"SelectSource video:1",      "SelectSource video:2",
                                               "SelectSource video:3",      "SetProperty GetIntervals 0",
                                               "SetProperty CaptureFps 25", "SetProperty SetFormat 1"};
    EXPECT_EQ(log_, expected);
    EXPECT_EQ(cap->Current_FriendlyName(), "Grabber C");
    EXPECT_EQ(cap->Current_PropertyString(), "1920*1080/50");
    EXPECT_EQ(cap->MinInterval(), "200000");
    EXPECT_EQ(cap->MaxInterval(), "400000");
    EXPECT_TRUE(op_.messages.empty());
}

TEST_F(CaptureSourceTest, SourceScanStopsAtTheFirstMissingSource) {
    Write_Setting(keys::friendlyname, "Grabber Z");
    auto cap = make({"Grabber A", "Grabber B", "Grabber C"});
    log_.clear();
    cap->Set_Source_from_Saved();
    EXPECT_FALSE(cap->SourcePropFound());
    ASSERT_EQ(log_.size(), 4u);
    EXPECT_EQ(log_.back(), "SelectSource video:4");
    EXPECT_EQ(op_.last_message(), "Could not find the saved Video source! Please re-select Video source!");
}

TEST_F(CaptureSourceTest, RunAndStopFollowTheComponentOrder) {
    auto cap = make();
    log_.clear();
    cap->Stop_Capture(); // not running: only a trace line
    cap->Capture_Run();
    cap->Stop_Capture();
    EXPECT_EQ(log_, (std::vector<std::string>{"Run", "Stop"}));
    EXPECT_EQ(op_.event_pumps, 1);
    EXPECT_FALSE(cap->Running());
    const int before = cls_Capture_HDMI::object_count();
    cap.reset();
    EXPECT_EQ(cls_Capture_HDMI::object_count(), before - 1);
}

TEST(HDMICrop, CentreWindowOfTheMenuSizes) {
    struct Case {
        int w, h, x0, y0;
    };
    for (const Case c : {Case{400, 880, 760, 100}, Case{600, 1080, 660, 0}, Case{576, 720, 672, 180},
                         Case{1919, 1079, 0, 0}}) {
        const CropOrigin o = hdmi_crop_origin(1920, 1080, c.w, c.h);
        EXPECT_EQ(o.x0, c.x0) << c.w << "x" << c.h;
        EXPECT_EQ(o.y0, c.y0) << c.w << "x" << c.h;
    }
    // 0.5 and 1.5 go to the even neighbour.
    EXPECT_EQ(hdmi_crop_origin(1921, 1080, 1918, 1080).x0, 2);
}

TEST(HDMICrop, CopiesOneToOneAndRecreatesOnAnotherSize) {
    const int sw = 7, sh = 5; // odd width: source rows padded to 24 bytes
    const int stride = cDIBSection::bytes_per_scan_line(sw);
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(stride * sh));
    for (int y = 0; y < sh; ++y) {
        for (int x = 0; x < sw; ++x) {
            raw[static_cast<std::size_t>((sh - 1 - y) * stride + x * 3)] =
                static_cast<std::uint8_t>(10 * y + x);
        }
    }
    cDIBSection out;
    ASSERT_TRUE(crop_frame(raw.data(), static_cast<std::int32_t>(raw.size()), sw, sh, 3, 3, out));
    EXPECT_EQ(out.Width(), 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(out.scan_line(y)[x * 3], 10 * (y + 1) + x + 2);
        }
    }
    ASSERT_TRUE(crop_frame(raw.data(), static_cast<std::int32_t>(raw.size()), sw, sh, 3, 1, out));
    EXPECT_EQ(out.Height(), 1);
    EXPECT_EQ(out.scan_line(0)[0], 22);
    // A window larger than the source, or a frame cut short, copies nothing.
    EXPECT_FALSE(crop_frame(raw.data(), static_cast<std::int32_t>(raw.size()), sw, sh, 8, 1, out));
    EXPECT_FALSE(crop_frame(raw.data(), static_cast<std::int32_t>(raw.size()) - 1, sw, sh, 3, 1, out));
    EXPECT_EQ(out.Height(), 1);
}

} // namespace
} // namespace veltro
