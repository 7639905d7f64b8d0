// The heat from the camera start to the finish, without a window: capture, the append pass and the
// rules of the start switch.
#include "app/heat_lifecycle.h"
#include "capture/capture_fakes.h"
#include "capture/capture_hdmi.h"
#include "capture/frame_collection.h"
#include "fake_operator.h"
#include "file_size_limit.h"
#include "recording/capture_spool.h"
#include "recording/px3_layout.h"
#include "recording/recording_fixture.h"
#include "recording/video_file_handler.h"
#include "startswitch/backends/simulated/simulated_kit.h"
#include "startswitch/start_switch.h"
#include "support/settings.h"
#include "support/veltro_error.h"
#include "temp_dir.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace veltro {
namespace {

class CountingProgress final : public AppendProgress {
public:
    void begin(const std::string& caption) override {
        ++begun;
        last_caption = caption;
    }
    void percent(int value) override { last_percent = value; }
    void end() override { ++ended; }
    int begun = 0, ended = 0, last_percent = -1;
    std::string last_caption;
};

class HeatLifecycleTest : public ::testing::Test {
protected:
    HeatLifecycleTest() : raw_(static_cast<std::size_t>(1920 * 3 * 1080), 128) {
        set_settings_path(dir_.file("Veltro_HDMI.ini"));
        // No pre-roll: its compression thread would not survive the fork of the crash test.
        Write_Setting(keys::preroll_ms, "0");
        capture_halted(false);
        capture_->component().SelectSource("video:1");
        heat_.start_camera(400, 880);
        frames(100); // the running rate is measured
    }
    std::unique_ptr<cls_Capture_HDMI> make_capture() {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        auto device = std::make_unique<testing::FakeDevice>(
            "Grabber", std::vector<MediaType>{testing::hd_format(400000)});
        device_ = device.get();
        devices.push_back(std::move(device));
        return std::make_unique<cls_Capture_HDMI>(make_capture_component(std::move(devices), clock_), clock_);
    }
    ~HeatLifecycleTest() override {
        frame_collection().clear();
        set_settings_path({});
    }

    // One frame 40 ms after the last, delivered as the capture thread delivers it. True when the
    // recording is full now.
    bool frame() {
        clock_.advance(40);
        capture_->locked(
            [&] { capture_->OnRGBEvent(raw_.data(), static_cast<std::int32_t>(raw_.size()), std::nullopt); });
        return heat_.recording_full();
    }
    void frames(int count) {
        for (int i = 0; i < count; ++i) {
            frame();
        }
    }
    // A started heat with its recording made.
    void started_heat() { started_heat(path_); }
    void started_heat(const std::string& path) {
        heat_.initiate(path, HeatArming{});
        ASSERT_EQ(heat_.start(clock_.millis(), 0, false, {}), HeatLifecycle::Start::Started);
    }
    // A heat of `count` frames, captured and finished.
    void recorded_heat(const std::string& path, int count) {
        started_heat(path);
        capture(count);
        ASSERT_TRUE(capture_end());
        EXPECT_EQ(heat_.finish(), "");
    }
    // A heat whose capture of `count` frames is on, every frame in its spool.
    void spooled_capture(const std::string& path, int count) {
        started_heat(path);
        capture(count);
        while (heat_.session().counters().written < count) {
            std::this_thread::yield();
        }
    }
    // Frames counted in the header of the recording at `path`.
    static std::int32_t frames_in(const std::string& path) {
        cls_VideoFile_handler rec;
        rec.event_log([](const std::string&) {});
        rec.Open_File(path);
        return rec.num_Frames();
    }
    // A disk that takes no file beyond the size `path` has now: the next frames appended to it fail.
    static testing::FileSizeLimit full_after(const std::string& path) {
        return testing::FileSizeLimit(std::filesystem::file_size(path) + 100);
    }
    void capture(int count) {
        ASSERT_EQ(heat_.capture_start(true, true, false, clock_.millis() + 1),
                  HeatLifecycle::CaptureStart::Started);
        frames(count);
    }
    bool capture_end() { return heat_.capture_end(true, false, 10000, progress_); }
    std::vector<std::int32_t> stored_stamps() const { return testing::stored_stamps(path_); }

    testing::TempDir dir_;
    testing::FakeOperator op_;
    std::vector<std::uint8_t> raw_;
    ManualClock clock_{100000};
    testing::FakeDevice* device_ = nullptr;
    std::unique_ptr<cls_Capture_HDMI> capture_ = make_capture();
    cls_VideoFile_handler recording_;
    HeatLifecycle heat_{*capture_, recording_, clock_};
    CountingProgress progress_;
    std::string path_ = dir_.file("heat.px3");
};

// The exposure and gain stored with the source are set at its start and described in the recording.
TEST_F(HeatLifecycleTest, TheExposureAndGainChosenForTheSourceAreSetAtItsStartAndDescribed) {
    device_->exposure = ControlRange{10, 100000, 8000, "µs"};
    device_->gain = ControlRange{0, 24, 0, "dB"};
    Write_Setting(keys::friendlyname, "Grabber");
    Write_Setting(keys::videoproperty, "0");
    save_control_choice({1000.0, 6.0});
    capture_->Stop_Capture();
    capture_->Set_Source_from_Saved();
    heat_.start_camera(400, 880);
    EXPECT_EQ(device_->chosen, (ControlChoice{1000.0, 6.0}));
    frames(100);
    started_heat();
    cls_VideoFile_handler rec;
    rec.Open_File(path_);
    EXPECT_EQ(rec.xml_header().Comp_CaptureInfo(), "Grabber / 1920*1080/25, exposure 1000 µs, gain 6 dB");

    // A choice changed meanwhile is what the next start sets.
    save_control_choice({250.0, std::nullopt});
    capture_->Stop_Capture();
    heat_.start_camera(400, 880);
    EXPECT_EQ(device_->chosen, (ControlChoice{250.0, std::nullopt}));
    EXPECT_EQ(device_->applied, "exposure 250 µs");
}

TEST_F(HeatLifecycleTest, AFailedAppendPassLeavesTheRecordingAsItWasAndTheNextPassAppendsEveryFrame) {
    started_heat();
    capture(10);
    ASSERT_TRUE(capture_end());
    EXPECT_EQ(progress_.last_caption, "Appending frames");
    EXPECT_EQ(progress_.last_percent, 100);
    ASSERT_EQ(stored_stamps().size(), 10u);
    const auto size = std::filesystem::file_size(path_);
    const auto record = (size - px3::kHeaderBlockSize) / 10;

    capture(10);
    {
        // Room for four and a half more records: the pass fails on its fifth frame.
        testing::FileSizeLimit limit(size + record * 9 / 2);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(capture_end(), VeltroError);
    }
    EXPECT_EQ(progress_.begun, 2);
    EXPECT_EQ(progress_.ended, 2); // the progress window closes on the failing path too
    EXPECT_EQ(stored_stamps().size(), 10u);
    EXPECT_TRUE(std::filesystem::exists(spool_path(path_))); // kept for the next pass

    capture(5);
    ASSERT_TRUE(capture_end());
    const std::vector<std::int32_t> stamps = stored_stamps();
    ASSERT_EQ(stamps.size(), 25u);
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        EXPECT_EQ(stamps[i] - stamps[i - 1], 40) << "picture " << i + 1; // none twice, none missing
    }
    EXPECT_FALSE(std::filesystem::exists(spool_path(path_)));
}

// The program dies in the middle of a capture: every frame spooled before is in the spool, and
// recovery completes the recording with them, time stamps intact.
TEST_F(HeatLifecycleTest, ACaptureKilledMidwayIsCompletedFromItsSpool) {
    started_heat();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        if (heat_.capture_start(true, true, false, clock_.millis() + 1) !=
            HeatLifecycle::CaptureStart::Started) {
            _exit(1);
        }
        frames(30);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (heat_.session().counters().written < 30) {
            if (std::chrono::steady_clock::now() > give_up) {
                _exit(2);
            }
            std::this_thread::yield();
        }
        const char spooled = 1;
        if (write(ready[1], &spooled, 1) != 1) {
            _exit(3);
        }
        for (;;) {
            pause(); // capture goes on until the end comes
        }
    }
    close(ready[1]);
    char spooled = 0;
    const ssize_t got = read(ready[0], &spooled, 1);
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, 1) << "the capturing child failed with " << WEXITSTATUS(status);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(stored_stamps().empty()); // nothing counted before the end

    const SpoolRecovery recovery = recover_spool(path_);
    EXPECT_EQ(recovery.frames, 30) << recovery.message;
    const std::vector<std::int32_t> stamps = stored_stamps();
    ASSERT_EQ(stamps.size(), 30u);
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        EXPECT_EQ(stamps[i] - stamps[i - 1], 40) << "picture " << i + 1;
    }
    EXPECT_FALSE(std::filesystem::exists(spool_path(path_)));
}

// A recording counts at most 32767 frames: the frame that fills it ends the capture, and every
// frame up to it is kept.
TEST_F(HeatLifecycleTest, TheFrameThatFillsTheRecordingEndsTheCaptureAndIsKept) {
    started_heat();
    capture(3);
    ASSERT_TRUE(capture_end());
    // The recording as if it held all but three frames: the header counts them, the file (sparse)
    // is as long.
    const std::int32_t sample = recording_.xml_header().RGB_Sample_Size();
    recording_.xml_header().Frames_no(px3::kMaxFrames - 3);
    recording_.Write_XML_header();
    std::filesystem::resize_file(path_,
                                 static_cast<std::uintmax_t>(px3::frame_offset(px3::kMaxFrames - 2, sample)));

    ASSERT_EQ(heat_.capture_start(true, true, false, clock_.millis() + 1),
              HeatLifecycle::CaptureStart::Started);
    EXPECT_FALSE(frame());
    EXPECT_FALSE(frame());
    const std::int32_t last = static_cast<std::int32_t>(clock_.millis() + 40);
    EXPECT_TRUE(frame());
    ASSERT_TRUE(capture_end());

    cls_VideoFile_handler rec;
    rec.event_log([](const std::string&) {});
    rec.Open_File(path_);
    ASSERT_EQ(rec.num_Frames(), px3::kMaxFrames);
    rec.Read_RGB_sample(px3::kMaxFrames, false);
    EXPECT_EQ(rec.Timestamp_long(), last);
}

TEST_F(HeatLifecycleTest, StartAndCaptureAreRefusedUntilTheirTimeAndTheFinishRemembersTheRecording) {
    using Start = HeatLifecycle::Start;
    using Capture = HeatLifecycle::CaptureStart;
    EXPECT_EQ(heat_.capture_start(false, true, false, clock_.millis() + 1), Capture::NoCameras);
    EXPECT_EQ(heat_.capture_start(true, true, false, clock_.millis() + 1), Capture::NoRecording);
    EXPECT_EQ(heat_.start(clock_.millis(), 0, false, {}), Start::NoRecording);
    // With auto-initiate on, the start makes its own recording first.
    int initiated = 0;
    EXPECT_EQ(heat_.start(0, 0, false,
                          [&] {
                              ++initiated;
                              heat_.initiate(path_, HeatArming{});
                          }),
              Start::Started);
    EXPECT_EQ(initiated, 1);
    EXPECT_EQ(heat_.heat_start_counter(), 1u); // a start at counter 0 still reads as a heat
    EXPECT_EQ(heat_.start(clock_.millis(), 0, false, {}), Start::AlreadyStarted);
    EXPECT_EQ(heat_.capture_start(true, false, false, clock_.millis() + 1), Capture::NotStarted); // no kit
    EXPECT_EQ(heat_.capture_start(true, false, true, clock_.millis() + 1),
              Capture::Started); // a debug run needs none
    frames(3);
    EXPECT_EQ(heat_.frames_captured(), 3);

    heat_.abort();
    EXPECT_EQ(heat_.capture_start(true, true, false, clock_.millis() + 1), Capture::NotStarted);
    EXPECT_EQ(heat_.start(clock_.millis(), 0, true, {}), Start::Reviewing);

    Write_Setting(keys::last_file, "earlier.px3");
    // A finish while capture is on keeps the frames captured so far.
    EXPECT_EQ(heat_.finish(), "");
    EXPECT_EQ(stored_stamps().size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(spool_path(path_)));
    EXPECT_EQ(Read_Setting(keys::last_file), path_);
    EXPECT_TRUE(heat_.recording_name().empty());
    heat_.finish(); // nothing current: the last file stays
    EXPECT_EQ(Read_Setting(keys::last_file), path_);
}

TEST(StartSwitch, InputsStartTheHeatHoldTheCaptureAndLightTheLamps) {
    SimulatedKit kit(system_clock());
    kit.open();
    kit.dispatch(); // attached
    StartSwitch sw;
    kit.set_input(1, true);
    EXPECT_FALSE(sw.input_changed(kit, 0, true, StartSwitch::kSettleMs - 1)); // still settling
    const auto ms = StartSwitch::kSettleMs;

    SwitchActions a = *sw.input_changed(kit, 0, true, ms);
    EXPECT_TRUE(a.start); // the RM contact starts an armed heat
    EXPECT_TRUE(a.update_led);
    kit.set_input(1, false);
    EXPECT_FALSE(sw.input_changed(kit, 0, false, ms)->start);

    a = *sw.input_changed(kit, 2, true, ms);
    EXPECT_TRUE(a.start); // the direct start needs no arming
    EXPECT_TRUE(sw.direct_start_lamp());
    EXPECT_FALSE(sw.input_changed(kit, 2, false, ms)->start);
    EXPECT_FALSE(sw.direct_start_lamp());

    for (std::int16_t trigger : {3, 5}) {
        EXPECT_EQ(sw.input_changed(kit, trigger, true, ms)->capture, true);
        EXPECT_TRUE(sw.trigger_lamp_red());
        sw.panel_refreshed();
        EXPECT_FALSE(sw.trigger_lamp_red());
        EXPECT_EQ(sw.input_changed(kit, trigger, false, ms)->capture, false);
    }
    EXPECT_EQ(sw.input_changed(kit, 4, true, ms)->capture, true);
    EXPECT_FALSE(sw.trigger_lamp_red()); // input 4 has a lamp of its own
    a = *sw.input_changed(kit, 1, true, ms);
    EXPECT_FALSE(a.start || a.capture || a.update_led); // arming alone does nothing

    Debounce press(1000);
    EXPECT_TRUE(press.accept(0)); // the first press counts, even at counter 0
    EXPECT_FALSE(press.accept(999));
    EXPECT_TRUE(press.accept(1000));
}

// Heat 5's final pass fails; the operator opens heat 4 for review and finishes heat 5 while the disk
// still refuses, then runs heat 6. Heat 5's frames wait on disk for their own recording, never go into 4 or
// 6, and its recovery puts them where they belong.
TEST_F(HeatLifecycleTest, FramesHeldOverGoOnlyIntoTheirOwnHeat) {
    const std::string heat4 = dir_.file("heat 4.px3"), heat5 = dir_.file("heat 5.px3"),
                      heat6 = dir_.file("heat 6.px3");
    recorded_heat(heat4, 10);
    spooled_capture(heat5, 20);
    {
        const auto limit = full_after(heat5);
        EXPECT_THROW(capture_end(), VeltroError);
        recording_.Open_File(heat4); // the review shows heat 4
        // Heat 5 ends: its frames get one more try, into heat 5 only.
        const std::string told = heat_.finish();
        EXPECT_NE(told.find("px3tool recover"), std::string::npos) << told;
    }
    started_heat(heat6);
    capture(7);
    ASSERT_TRUE(capture_end());
    EXPECT_EQ(heat_.close(), "");

    EXPECT_EQ(frames_in(heat4), 10);
    EXPECT_EQ(frames_in(heat5), 0);
    EXPECT_EQ(frames_in(heat6), 7);
    EXPECT_EQ(recover_spool(heat5).frames, 20);
    EXPECT_EQ(frames_in(heat5), 20);
}

// The same failed pass, then the heat is closed with the review on another heat: the frames go into
// their own heat at the close.
TEST_F(HeatLifecycleTest, AHeldOverCaptureGoesIntoItsOwnHeatWhenTheProgramCloses) {
    const std::string heat4 = dir_.file("heat 4.px3"), heat5 = dir_.file("heat 5.px3");
    recorded_heat(heat4, 10);
    spooled_capture(heat5, 20);
    {
        const auto limit = full_after(heat5);
        EXPECT_THROW(capture_end(), VeltroError);
    }
    recording_.Open_File(heat4);
    EXPECT_EQ(heat_.close(), "");
    EXPECT_EQ(frames_in(heat4), 10);
    EXPECT_EQ(frames_in(heat5), 20);
    EXPECT_FALSE(std::filesystem::exists(spool_path(heat5)));
}

// A disk that refuses the spool before the trigger, and one that refuses the start: the heat runs and
// its finish is filmed all the same, and both are said.
TEST_F(HeatLifecycleTest, AFullDiskAtTheStartOrTheTriggerStillFilmsTheFinish) {
    heat_.initiate(path_, HeatArming{});
    const std::uint32_t start = clock_.millis();
    // The stick is pulled at the start and put back before the trigger, which finds no room for a
    // spool (a folder stands in its place).
    std::filesystem::rename(path_, path_ + ".away");
    ASSERT_EQ(heat_.start(start, 0, false, {}), HeatLifecycle::Start::Started);
    EXPECT_EQ(heat_.heat_start_counter(), start);
    EXPECT_FALSE(heat_.start_unwritten().empty());
    std::filesystem::rename(path_ + ".away", path_);
    std::filesystem::create_directory(spool_path(path_));

    ASSERT_EQ(heat_.capture_start(true, true, false, clock_.millis() + 1),
              HeatLifecycle::CaptureStart::Started);
    EXPECT_TRUE(heat_.start_unwritten().empty());
    frames(12);
    EXPECT_NE(heat_.capture_notice().find("kept in memory"), std::string::npos);
    ASSERT_TRUE(capture_end());
    EXPECT_EQ(stored_stamps().size(), 12u);
    cls_VideoFile_handler rec;
    rec.Open_File(path_);
    EXPECT_EQ(rec.Velt_start_PC_mill(), std::to_string(start));
}

} // namespace
} // namespace veltro
