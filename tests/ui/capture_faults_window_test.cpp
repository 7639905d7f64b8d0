// The main window when the HDMI grabber fails on race night: a scripted V4L2 device on a manual
// clock, the simulated interface kit. With VELTRO_SCREENSHOT_DIR set, the live picture saying "No
// signal" is saved there.
#include "app/ui/form_veltro.h"
#include "capture/fake_v4l2.h"
#include "fake_operator.h"
#include "recording/video_file_handler.h"
#include "review/ui/picture_box.h"
#include "scoped_env.h"
#include "startswitch/backends/simulated/simulated_kit.h"
#include "support/event_log.h"
#include "support/files.h"
#include "support/settings.h"
#include "temp_dir.h"
#include "window_parts.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

constexpr const char* kLostWhileCapturing =
    "The capture device stopped: Fake HDMI grabber is no longer connected. Capture has ended; every frame "
    "stored up to here is kept. The device is opened again as soon as it is back.";

// Pixels of the picture box whose colour is near `colour`.
int pixels_near(const QImage& image, QColor colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                     std::abs(c.blue() - colour.blue()) <
                 40;
        }
    }
    return n;
}

class CaptureFaultsWindow : public ::testing::Test {
protected:
    CaptureFaultsWindow() : env("VELTRO_DATA_DIR", dir.file("data")) {
        std::filesystem::create_directories(dir.file("data"));
        std::filesystem::create_directories(folder);
        set_settings_path(dir.file("data/Veltro_HDMI.ini"));
        Write_Setting(keys::friendlyname, "Fake HDMI grabber");
        Write_Setting(keys::videoproperty, "0");
        Write_Setting(keys::save_folder, folder);
        node.width = 800;
        node.height = 900;
        io.plug("/fake/video0", node);
    }
    // The window over `make_component`; none: the fake grabber.
    void open_window(std::function<std::unique_ptr<CaptureComponent>()> make_component = {}) {
        VeltroStart start(program_backends(), clock);
        start.make_component = make_component ? std::move(make_component) : [this] {
            std::vector<std::unique_ptr<CaptureDevice>> devices;
            devices.push_back(testing::fake_grabber(io, "/fake/video0", node));
            return make_capture_component(std::move(devices), clock);
        };
        capture = testing::give_capture(start);
        auto simulated = std::make_unique<SimulatedKit>(clock);
        kit = simulated.get();
        start.kit = std::move(simulated);
        start.single_instance = false;
        start.watch_devices = false;
        form = std::make_unique<Form_Veltro>(std::move(start));
        form->dispatch_kit();
    }
    ~CaptureFaultsWindow() override {
        form.reset();
        set_settings_path("");
        capture_halted(false);
    }

    // `ms` pass in 20 ms steps: frames and kit events delivered, the signal timer's work done.
    void run(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 20) {
            clock.advance(20);
            form->dispatch_capture();
            form->dispatch_kit();
            form->watch_signal();
            // What the window tells once a delivery is over.
            QCoreApplication::sendPostedEvents(form.get(), QEvent::MetaCall);
        }
    }
    void input(std::int16_t index, bool state) {
        kit->set_input(index, state);
        form->dispatch_kit();
    }
    QPushButton* button(const char* name) { return form->findChild<QPushButton*>(name); }
    std::int32_t frames_in(const std::string& name) {
        cls_VideoFile_handler rec;
        rec.Open_File(name);
        const std::int32_t n = rec.File_open() ? rec.num_Frames() : -1;
        rec.Close_File();
        return n;
    }
    void save(const char* name) {
        if (const char* to = std::getenv("VELTRO_SCREENSHOT_DIR")) {
            form->grab().save(QString("%1/%2.png").arg(to, name));
        }
    }

    // The cameras live, a recording initiated, the heat started and capture on for a second; the
    // frames stored.
    std::int32_t capture_a_second() {
        run(1200);
        button("Command_start_camera")->click();
        run(4500);
        EXPECT_EQ(capture->Running_Fps(), 25);
        button("Command_initiate_file")->click();
        input(1, true);
        input(0, true);
        run(2000);
        input(3, true);
        EXPECT_TRUE(testing::capturing(*form));
        run(1000);
        return form->findChild<QLabel*>("Label_frame_count")->text().toInt();
    }

    testing::TempDir dir;
    testing::ScopedEnv env;
    testing::FakeOperator op;
    std::string folder = dir.file("heats");
    ManualClock clock{100000};
    testing::FakeV4L2 io{clock};
    testing::FakeV4L2::Node node;
    cls_Capture_HDMI* capture = nullptr;
    SimulatedKit* kit = nullptr;
    std::unique_ptr<Form_Veltro> form;
};

TEST_F(CaptureFaultsWindow, UnplugMidCaptureKeepsTheFramesTellsOnceAndTheDeviceComesBackLive) {
    open_window();
    form->show();
    const std::int32_t stored = capture_a_second();
    const std::string name = testing::file_name(*form);
    ASSERT_FALSE(name.empty());
    ASSERT_GE(stored, 24);

    io.unplug("/fake/video0");
    run(20);
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].text, kLostWhileCapturing);
    EXPECT_FALSE(testing::capturing(*form));
    // Every frame stored before the grabber went is in the recording now.
    EXPECT_EQ(frames_in(name), stored);
    // The camera stays on, waiting for its device, and the live view says so.
    EXPECT_EQ(button("Command_start_camera")->text(), "Stop camera");
    const QImage lost = testing::picture_live(*form)->grab().toImage();
    EXPECT_GT(pixels_near(lost, QColor(255, 210, 0)), 100);
    save("main_window_device_lost");
    run(900);
    input(3, false); // the finish trigger let go while the device is away
    EXPECT_EQ(op.messages.size(), 1u);

    io.plug("/fake/video0", node);
    const std::int32_t events = capture->HDMI_events();
    run(1200);
    EXPECT_GT(capture->HDMI_events(), events);
    EXPECT_EQ(capture->signal().state(), SignalWatch::State::Live);
    EXPECT_EQ(pixels_near(testing::picture_live(*form)->grab().toImage(), QColor(255, 210, 0)), 0);
    EXPECT_EQ(button("Command_start_camera")->text(), "Stop camera");
    EXPECT_EQ(op.messages.size(), 1u);

    // A second capture of the heat on the device that came back adds to the recording.
    input(3, true);
    run(400);
    const std::int32_t stored_again = form->findChild<QLabel*>("Label_frame_count")->text().toInt();
    EXPECT_GE(stored_again, 9);
    input(3, false);
    button("Command_finish")->click();
    EXPECT_EQ(frames_in(name), stored + stored_again);
    EXPECT_EQ(op.messages.size(), 1u);
    const std::string log = read_whole_file(event_log_path()).value_or("");
    EXPECT_NE(log.find("The capture device stopped: Fake HDMI grabber is no longer connected\n"),
              std::string::npos);
    EXPECT_NE(log.find("The capture device is back: Fake HDMI grabber delivers pictures again\n"),
              std::string::npos);
}

// The grabber is out for a moment while the finish trigger stays held: capture goes on when it is
// back, and the heat keeps the frames of both sides of the gap.
TEST_F(CaptureFaultsWindow, ADeviceBackWhileTheTriggerIsHeldCapturesAgain) {
    open_window();
    const std::int32_t stored = capture_a_second();
    const std::string name = testing::file_name(*form);
    io.unplug("/fake/video0");
    run(500);
    EXPECT_FALSE(testing::capturing(*form));
    io.plug("/fake/video0", node);
    run(1500);
    EXPECT_TRUE(testing::capturing(*form));
    input(3, false);
    const std::int32_t after = frames_in(name);
    EXPECT_GT(after, stored + 10);
    EXPECT_EQ(op.messages.size(), 1u); // the loss, told once
}

TEST_F(CaptureFaultsWindow, NoSignalIsDrawnOverTheLivePictureAndGoesWhenPicturesReturn) {
    open_window();
    form->resize(1100, 740);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    run(1200);
    button("Command_start_camera")->click();
    run(2000);
    const QColor warning(255, 210, 0);
    EXPECT_EQ(pixels_near(testing::picture_live(*form)->grab().toImage(), warning), 0);

    io.signal(false);
    run(480);
    EXPECT_EQ(pixels_near(testing::picture_live(*form)->grab().toImage(), warning), 0);
    run(20);
    QApplication::processEvents();
    const QImage no_signal = testing::picture_live(*form)->grab().toImage();
    EXPECT_GT(pixels_near(no_signal, warning), 200);
    // The last picture stays under the words: its red 0x40 is still there above them.
    const QImage top = no_signal.copy(0, 0, no_signal.width(), no_signal.height() / 4);
    int picture_pixels = 0;
    for (int y = 0; y < top.height(); ++y) {
        for (int x = 0; x < top.width(); ++x) {
            picture_pixels += std::abs(top.pixelColor(x, y).red() - 0x40) < 8;
        }
    }
    EXPECT_GT(picture_pixels, 1000);
    save("main_window_no_signal");
    EXPECT_TRUE(op.messages.empty());

    run(500);
    io.signal(true);
    run(100);
    QApplication::processEvents();
    EXPECT_EQ(pixels_near(testing::picture_live(*form)->grab().toImage(), warning), 0);
    const std::string log = read_whole_file(event_log_path()).value_or("");
    EXPECT_NE(log.find("No signal from Fake HDMI grabber\n"), std::string::npos);
    EXPECT_NE(log.find("Signal back from Fake HDMI grabber after 1040 ms without pictures\n"),
              std::string::npos);
}

TEST_F(CaptureFaultsWindow, StartingTheCameraWhileTheDeviceIsAwaySaysWhyAndLeavesTheButtonAtStart) {
    open_window();
    form->show();
    run(1200);
    io.unplug("/fake/video0");
    button("Command_start_camera")->click();
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(
        op.messages[0].text,
        "The capture device could not be started: Cannot open /fake/video0: No such file or directory.");
    EXPECT_EQ(button("Command_start_camera")->text(), "Start camera");

    io.plug("/fake/video0", node);
    run(1200);
    button("Command_start_camera")->click();
    run(400);
    EXPECT_EQ(button("Command_start_camera")->text(), "Stop camera");
    EXPECT_GT(capture->HDMI_events(), 5);
    EXPECT_EQ(op.messages.size(), 1u);
}

// A source whose pictures are due every 40 ms on the test's clock, one of which can come short: the
// crop cannot take it.
class ShortFrameDevice final : public CaptureDevice {
public:
    explicit ShortFrameDevice(const Clock& clock) : clock_(clock) {}
    std::string friendly_name() const override { return "Fake HDMI grabber"; }
    std::string description() const override { return "short frames"; }
    const std::vector<MediaType>& formats() const override { return formats_; }
    std::string start(std::size_t) override {
        next_ = clock_.millis() + 40;
        return {};
    }
    void Stop() override {}
    int event_fd() const override { return -1; }
    void dispatch(const FrameCallback& deliver) override {
        while (elapsed_ms(next_, clock_.millis()) >= 0) {
            const std::uint32_t at = next_;
            next_ += 40;
            const auto length = static_cast<std::int32_t>(frame_.size()) - (short_next ? 4000 : 0);
            short_next = false;
            deliver(frame_.data(), length, at);
        }
    }
    bool short_next = false;

private:
    const Clock& clock_;
    std::vector<MediaType> formats_{make_media_type(800, 900, 400000, fourcc('B', 'G', 'R', '3'), false)};
    std::vector<std::uint8_t> frame_ = std::vector<std::uint8_t>(800 * 900 * 3, 0x40);
    std::uint32_t next_ = 0;
};

TEST_F(CaptureFaultsWindow, AFrameTheCropCannotTakeStopsTheCamerasAndKeepsTheStoredFrames) {
    ShortFrameDevice* device = nullptr;
    open_window([this, &device] {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(std::make_unique<ShortFrameDevice>(clock));
        device = static_cast<ShortFrameDevice*>(devices.back().get());
        return make_capture_component(std::move(devices), clock);
    });
    form->show();
    const std::int32_t stored = capture_a_second();
    const std::string name = testing::file_name(*form);
    ASSERT_GE(stored, 24);

    device->short_next = true;
    run(40);
    EXPECT_TRUE(capture_halted());
    EXPECT_FALSE(testing::capturing(*form));
    EXPECT_EQ(frames_in(name), stored);
    EXPECT_EQ(button("Command_start_camera")->text(), "Start camera");
    button("Command_finish")->click();
    EXPECT_EQ(frames_in(name), stored);
}

} // namespace
} // namespace veltro
