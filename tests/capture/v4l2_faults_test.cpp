// The V4L2 back end through a scripted device: streaming, and what HDMI grabbers do on race night
// (unplugged, failing, hanging up, losing the signal, coming back under another number).
#include "capture/backends/v4l2/v4l2_device.h"
#include "capture/capture_hdmi.h"
#include "capture/capture_trace.h"
#include "capture/fake_v4l2.h"
#include "fake_operator.h"
#include "scoped_env.h"
#include "support/event_log.h"
#include "support/files.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <poll.h>

namespace veltro {
namespace {

using testing::FakeV4L2;

struct Sink final : CaptureEventSink {
    std::vector<std::uint32_t> stamps;
    std::vector<std::vector<std::uint8_t>> first_pixels; // of the bottom row, as delivered first
    std::vector<std::string> lost;
    void OnRGBEvent(const std::uint8_t* frame, std::int32_t, std::optional<std::uint32_t> at) override {
        stamps.push_back(at.value_or(0));
        first_pixels.emplace_back(frame, frame + 3);
    }
    void on_source_lost(const std::string& reason) override { lost.push_back(reason); }
};

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

std::vector<std::string> without_buffer_queries(const std::vector<std::string>& calls, std::size_t from = 0) {
    std::vector<std::string> out;
    for (std::size_t i = from; i < calls.size(); ++i) {
        if (calls[i].rfind("QUERYBUF", 0) != 0) {
            out.push_back(calls[i]);
        }
    }
    return out;
}

class V4L2Faults : public ::testing::Test {
protected:
    V4L2Faults() {
        io.plug("/fake/video0");
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        auto device = testing::fake_grabber(io);
        grabber = device.get();
        devices.push_back(std::move(device));
        component = make_capture_component(std::move(devices), clock);
        component->Advise(sink);
        EXPECT_TRUE(component->SelectSource("video:1"));
    }

    // `ms` pass in 20 ms steps, the window dispatching what is ready.
    void run(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 20) {
            clock.advance(20);
            component->dispatch();
        }
    }

    ManualClock clock{50000};
    FakeV4L2 io{clock};
    V4L2Device* grabber = nullptr;
    std::unique_ptr<CaptureComponent> component;
    Sink sink;
};

TEST_F(V4L2Faults, StreamsWithTheDriversStampsAndLetsGoOfEverythingOnStop) {
    EXPECT_EQ(component->GetProperty("sourceFriendlyName"), "Fake HDMI grabber");
    EXPECT_EQ(component->GetProperty("sourceDescription"), "fakev4l2 usb-0000:00:14.0-2");
    component->Run();
    ASSERT_EQ(component->LastError(), "");
    EXPECT_EQ(without_buffer_queries(io.calls),
              (std::vector<std::string>{"open /fake/video0", "QUERYCAP", "S_FMT 64*48", "S_PARM 1/25",
                                        "REQBUFS 4", "STREAMON"}));
    EXPECT_EQ(io.mapped_buffers(), 4);
    const int fd = component->event_fd();
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(readable(fd));

    run(120);
    EXPECT_EQ(sink.stamps, (std::vector<std::uint32_t>{50040, 50080, 50120}));
    // The top row of the device's picture is the last row of the bottom-up frame: row 0 is green 0,
    // row 47 green 47.
    EXPECT_EQ(sink.first_pixels[0], (std::vector<std::uint8_t>{0, 47, 0x40}));
    EXPECT_EQ(sink.first_pixels[1], (std::vector<std::uint8_t>{8, 47, 0x40}));

    component->Stop();
    EXPECT_EQ(io.calls.back(), "close");
    EXPECT_EQ(io.open_descriptors(), 0);
    EXPECT_EQ(io.mapped_buffers(), 0);
    EXPECT_EQ(component->event_fd(), -1);
}

TEST_F(V4L2Faults, UnplugMidStreamIsToldOnceAfterItsFramesAndTheDeviceComesBackInItsFormat) {
    component->Run();
    const int fd = component->event_fd();
    run(120);
    ASSERT_EQ(sink.stamps.size(), 3u);

    io.unplug("/fake/video0");
    run(100);
    EXPECT_EQ(sink.stamps.size(), 3u);
    EXPECT_EQ(sink.lost, (std::vector<std::string>{"Fake HDMI grabber is no longer connected"}));
    EXPECT_EQ(component->source_lost(), "Fake HDMI grabber is no longer connected");
    // The node and its buffers are let go at once; the window's descriptor stays, quiet now.
    EXPECT_EQ(io.open_descriptors(), 0);
    EXPECT_EQ(io.mapped_buffers(), 0);
    EXPECT_EQ(component->event_fd(), fd);
    EXPECT_FALSE(readable(fd));

    // While it is away, opening it again fails and says why.
    EXPECT_FALSE(component->reconnect());
    EXPECT_EQ(component->LastError(), "Cannot open /fake/video0: No such file or directory");
    run(100);
    EXPECT_EQ(sink.lost.size(), 1u);

    io.plug("/fake/video0");
    const std::size_t before = io.calls.size();
    ASSERT_TRUE(component->reconnect());
    EXPECT_EQ(component->source_lost(), "");
    EXPECT_EQ(without_buffer_queries(io.calls, before),
              (std::vector<std::string>{"open /fake/video0", "QUERYCAP", "S_FMT 64*48", "S_PARM 1/25",
                                        "REQBUFS 4", "STREAMON"}));
    EXPECT_EQ(component->event_fd(), fd);
    EXPECT_TRUE(readable(fd));
    run(80);
    ASSERT_EQ(sink.stamps.size(), 5u);
    EXPECT_EQ(sink.stamps[3], clock.millis() - 40);
    EXPECT_EQ(sink.lost.size(), 1u);
}

TEST_F(V4L2Faults, AnInputOutputErrorEndsTheStreamAndTheDeviceOpensAgainAtOnce) {
    component->Run();
    run(80);
    io.fail_next_dequeue(EIO);
    run(20);
    EXPECT_EQ(sink.lost, (std::vector<std::string>{"Fake HDMI grabber reported an input/output error"}));
    EXPECT_EQ(io.open_descriptors(), 0);
    ASSERT_TRUE(component->reconnect());
    run(80);
    EXPECT_EQ(sink.stamps.size(), 4u);
}

TEST_F(V4L2Faults, AHangUpWithoutAFailedDequeueEndsTheStream) {
    component->Run();
    run(80);
    io.hang_up();
    run(20);
    EXPECT_EQ(sink.lost, (std::vector<std::string>{"Fake HDMI grabber is no longer connected"}));
    EXPECT_EQ(io.open_descriptors(), 0);
    EXPECT_EQ(io.mapped_buffers(), 0);
}

TEST_F(V4L2Faults, ADeviceBackUnderAnotherNumberIsFoundByCardAndBusAndNothingElseIsTaken) {
    component->Run();
    run(40);
    io.unplug("/fake/video0");
    run(20);
    ASSERT_EQ(sink.lost.size(), 1u);

    // Its old number now holds a webcam; the grabber's metadata node comes first, then the grabber;
    // the same card on another bus is another grabber.
    FakeV4L2::Node webcam;
    webcam.card = "USB Webcam";
    io.plug("/fake/video0", webcam);
    FakeV4L2::Node metadata;
    metadata.capture = false;
    io.plug("/fake/video1", metadata);
    FakeV4L2::Node other_port;
    other_port.bus = "usb-0000:00:14.0-4";
    io.plug("/fake/video2", other_port);
    EXPECT_FALSE(component->reconnect());
    EXPECT_EQ(component->LastError(), "/fake/video0 is now USB Webcam, not Fake HDMI grabber");
    EXPECT_EQ(io.open_descriptors(), 0);

    io.plug("/fake/video3");
    ASSERT_TRUE(component->reconnect());
    EXPECT_EQ(grabber->path(), "/fake/video3");
    run(40);
    EXPECT_EQ(sink.stamps.size(), 2u);
}

TEST_F(V4L2Faults, ADeviceThatRefusesTheFormatWhenItComesBackStaysLost) {
    component->Run();
    run(40);
    io.unplug("/fake/video0");
    run(20);
    FakeV4L2::Node smaller;
    smaller.width = 32;
    io.plug("/fake/video0", smaller);
    EXPECT_FALSE(component->reconnect());
    EXPECT_EQ(component->LastError(), "The device does not deliver 64*48 pictures in BGR");
    EXPECT_EQ(component->source_lost(), "Fake HDMI grabber is no longer connected");
    EXPECT_EQ(io.open_descriptors(), 0);
    EXPECT_EQ(io.mapped_buffers(), 0);
}

// The capture source over the back end, as the window drives it: frames, the signal timer
// (check_signal every 20 ms here), the event log.
class CaptureSourceFaults : public ::testing::Test {
protected:
    CaptureSourceFaults() : env("VELTRO_DATA_DIR", dir.path().string()) {
        set_settings_path(dir.file("Veltro_HDMI.ini"));
        set_capture_trace([](const std::string&) {});
        capture_halted(false);
        io.plug("/fake/video0");
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(testing::fake_grabber(io));
        capture =
            std::make_unique<cls_Capture_HDMI>(make_capture_component(std::move(devices), clock), clock);
        capture->source_lost = [this](const std::string& reason) { told.push_back(reason); };
        // The fake's descriptors are always readable: frames are taken when the test says.
        capture->watch_device(false);
        capture->component().SelectSource("video:1");
        capture->set_HDMI_Crop(32, 32);
        capture->Do_CROP(true);
        capture->Capture_Run();
    }
    ~CaptureSourceFaults() override {
        capture.reset();
        set_capture_trace({});
        set_settings_path({});
    }

    void run(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 20) {
            clock.advance(20);
            capture->dispatch_now();
            capture->deliver_notices();
            capture->check_signal();
        }
    }
    // The event log's lines without their date and time.
    std::vector<std::string> event_log() const {
        std::vector<std::string> lines;
        const std::string text = read_whole_file(event_log_path()).value_or("");
        for (std::size_t at = 0, end = 0; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
            lines.push_back(text.substr(at + 20, end - at - 20)); // after the time and a space
        }
        return lines;
    }

    testing::TempDir dir;
    testing::ScopedEnv env;
    testing::FakeOperator op;
    ManualClock clock{80000};
    FakeV4L2 io{clock};
    std::unique_ptr<cls_Capture_HDMI> capture;
    std::vector<std::string> told;
};

TEST_F(CaptureSourceFaults, AOneSecondGapIsNoSignalAfterHalfASecondAndPicturesResumeByThemselves) {
    run(1000);
    EXPECT_EQ(capture->HDMI_events(), 25);
    EXPECT_EQ(capture->signal().state(), SignalWatch::State::Live);

    io.signal(false);
    run(480);
    EXPECT_EQ(capture->signal().state(), SignalWatch::State::Live);
    run(20);
    EXPECT_EQ(capture->signal().state(), SignalWatch::State::NoSignal);
    EXPECT_EQ(capture->signal().overlay_text(), "No signal");
    run(500);
    EXPECT_EQ(capture->HDMI_events(), 25);
    io.signal(true);
    run(100);
    EXPECT_EQ(capture->signal().state(), SignalWatch::State::Live);
    EXPECT_EQ(capture->HDMI_events(), 27);
    EXPECT_EQ(event_log(),
              (std::vector<std::string>{"No signal from Fake HDMI grabber",
                                        "Signal back from Fake HDMI grabber after 1040 ms without "
                                        "pictures"}));
    EXPECT_TRUE(told.empty());
}

TEST_F(CaptureSourceFaults, AnUnpluggedDeviceIsToldOnceTriedEverySecondAndReopenedWhenItIsBack) {
    run(400);
    const std::int32_t before = capture->HDMI_events();
    io.unplug("/fake/video0");
    run(20);
    EXPECT_EQ(told, (std::vector<std::string>{"Fake HDMI grabber is no longer connected"}));
    EXPECT_EQ(capture->signal().state(), SignalWatch::State::Lost);
    EXPECT_EQ(capture->signal().overlay_text(), "Capture device lost\nWaiting for it to come back");
    EXPECT_TRUE(capture->Running());

    auto opens = [this] {
        return std::count_if(io.calls.begin(), io.calls.end(),
                             [](const std::string& c) { return c.rfind("open ", 0) == 0; });
    };
    const auto opens_before = opens();
    run(980);
    EXPECT_EQ(opens(), opens_before);
    run(20);
    EXPECT_EQ(opens(), opens_before + 1); // one try a second
    run(1000);
    EXPECT_EQ(opens(), opens_before + 2);
    EXPECT_EQ(capture->signal().state(), SignalWatch::State::Lost);

    io.plug("/fake/video0");
    run(1100);
    EXPECT_EQ(capture->signal().state(), SignalWatch::State::Live);
    EXPECT_GT(capture->HDMI_events(), before);
    EXPECT_EQ(told.size(), 1u);
    EXPECT_EQ(event_log(), (std::vector<std::string>{
                               "The capture device stopped: Fake HDMI grabber is no longer connected",
                               "The capture device is back: Fake HDMI grabber delivers pictures again"}));

    // Stopped by the operator, the device is not tried again.
    capture->Stop_Capture();
    io.unplug("/fake/video0");
    const auto opens_stopped = opens();
    run(3000);
    EXPECT_EQ(opens(), opens_stopped);
    EXPECT_EQ(capture->signal().overlay_text(), "");
}

} // namespace
} // namespace veltro
