// The main window running heats: demo camera on a manual clock, simulated interface kit.
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "events/event_session.h"
#include "fake_operator.h"
#include "recording/capture_spool.h"
#include "recording/compressed_frames.h"
#include "recording/px3_layout.h"
#include "recording/test_recording.h"
#include "recording/video_file_handler.h"
#include "review/goal_line.h"
#include "review/ui/picture_box.h"
#include "scoped_env.h"
#include "startswitch/backends/simulated/simulated_kit.h"
#include "support/files.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/trace.h"
#include "temp_dir.h"
#include "timing/time_text.h"
#include "window_parts.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace veltro {
namespace {

// The local time of day when the window opens: 14:03:07.
constexpr std::int32_t kLocalAtOpen = 14 * 3600000 + 3 * 60000 + 7000;

class HeatWindow : public ::testing::Test {
protected:
    HeatWindow() : env("VELTRO_DATA_DIR", dir.file("data")) {
        std::filesystem::create_directories(dir.file("data"));
        std::filesystem::create_directories(folder);
        set_settings_path(dir.file("data/Veltro_HDMI.ini"));
        Write_Setting(keys::friendlyname, DemoCamera::kFriendlyName);
        Write_Setting(keys::videoproperty, "0");
        Write_Setting(keys::save_folder, folder);
    }
    ~HeatWindow() override {
        form.reset();
        set_settings_path("");
        set_debug_run(false);
    }

    void open_window() {
        VeltroStart start(program_backends(), clock);
        start.make_component = [this] {
            std::vector<std::unique_ptr<CaptureDevice>> devices;
            devices.push_back(std::make_unique<DemoCamera>(clock));
            return make_capture_component(std::move(devices), clock);
        };
        capture = testing::give_capture(start);
        auto simulated = std::make_unique<SimulatedKit>(clock);
        kit = simulated.get();
        start.kit = std::move(simulated);
        start.single_instance = false;
        start.watch_devices = false;
        form = std::make_unique<Form_Veltro>(std::move(start));
        form->dispatch_kit(); // the board attaches
    }

    // Lets `ms` pass in picture-period steps, delivering frames and kit events as they come.
    void run(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 20) {
            clock.advance(20);
            form->dispatch_capture();
            form->dispatch_kit();
        }
    }
    void input(std::int16_t index, bool state) {
        kit->set_input(index, state);
        form->dispatch_kit();
    }
    QPushButton* button(const char* name) { return form->findChild<QPushButton*>(name); }
    // The heat clock shows the time since `start`, as a heat started then.
    std::string since(std::uint32_t start) const {
        return Display_Mill_Time(elapsed_ms(start, clock.millis()), false);
    }
    // The heat clock stands: a heat that was started is over (or none ever was).
    bool heat_clock_stands() {
        const std::string shown = testing::heat_clock(*form);
        clock.advance(10);
        return testing::heat_clock(*form) == shown;
    }
    QLabel* label(const char* name) { return form->findChild<QLabel*>(name); }

    // Cameras on and their rate measured.
    void live() {
        run(1200); // past the first second, when inputs start to count
        button("Command_start_camera")->click();
        run(4500);
        ASSERT_EQ(capture->Running_Fps(), 25);
    }

    // An event file whose heat 3 has six dogs, made current.
    void make_event_file() {
        EventSession s(default_event_folder());
        s.fields().event_name = "Spring-Cup, Final";
        s.fields().day = "2024-05-01";
        s.create_new_event_file();
        s.current_heat(3);
        s.write_heat_name("Heat three");
        for (std::int16_t box = 1; box <= 6; ++box) {
            s.write_dog_name(box, "Dog " + std::to_string(box));
        }
        s.XML_to_File();
        Write_Setting(keys::current_event_file, s.current_event_file());
        Write_Setting(keys::heat_id, "3");
    }

    testing::TempDir dir;
    testing::ScopedEnv env;
    testing::FakeOperator op;
    std::string folder = dir.file("club-races");
    ManualClock clock{100000, kLocalAtOpen};
    cls_Capture_HDMI* capture = nullptr;
    SimulatedKit* kit = nullptr;
    std::unique_ptr<Form_Veltro> form;
};

TEST_F(HeatWindow, NormalHeatEndsInARecordingWithFramesStartAndHeatIdentity) {
    make_event_file();
    open_window();
    EXPECT_EQ(label("Label_attached")->text(), "Attached, serial = 1");
    live();
    form->Update_Running_Fps(); // what the 1000 ms timer runs
    EXPECT_EQ(label("Label_fps")->text(), "25 f/s");

    button("Command_initiate_file")->click();
    const std::string name = testing::file_name(*form);
    ASSERT_FALSE(name.empty());
    // The folder keeps its "-"; the event name's "-" and "," and the time's ":" and "-" become "_".
    EXPECT_EQ(name.rfind(folder + "/Spring_Cup_ Final_3_", 0), 0u) << name;
    EXPECT_EQ(name.find(':'), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(name));

    input(1, true);
    EXPECT_EQ(label("Label_remote_start")->text(), "Start armed!");
    const std::uint32_t start = clock.millis();
    input(0, true);
    EXPECT_TRUE(kit->output_state(0)); // the LED follows the RM contact

    run(2000);
    EXPECT_EQ(testing::heat_clock(*form), since(start));
    input(3, true);
    EXPECT_TRUE(testing::capturing(*form));
    run(1000);
    const std::int32_t stored = label("Label_frame_count")->text().toInt();
    EXPECT_GE(stored, 24);
    input(3, false);
    EXPECT_FALSE(testing::capturing(*form));

    button("Command_finish")->click();
    EXPECT_TRUE(heat_clock_stands());
    EXPECT_EQ(testing::file_name(*form), name); // the finished heat, now under review
    EXPECT_EQ(Read_Setting(keys::last_file), name);
    EXPECT_EQ(button("Command_start_camera")->text(), "Start camera");

    cls_VideoFile_handler rec;
    rec.Open_File(name);
    ASSERT_TRUE(rec.File_open()) << (op.messages.empty() ? "" : op.last_message());
    EXPECT_EQ(rec.num_Frames(), stored);
    EXPECT_EQ(rec.Velt_start_PC_mill(), std::to_string(start));
    EXPECT_EQ(rec.Velt_heat_start_local(), kLocalAtOpen + elapsed_ms(100000, start));
    EXPECT_EQ(rec.Velt_Heat_ID(), "3");
    EXPECT_EQ(rec.Velt_Heat_Name(), "Heat three");
    EXPECT_EQ(rec.Velt_event(), "Spring-Cup, Final");
    for (std::int16_t box = 1; box <= 6; ++box) {
        EXPECT_EQ(rec.Velt_Dog_name(box), "Dog " + std::to_string(box));
    }
    EXPECT_EQ(form->dog_list(), "Dog 1\nDog 2\nDog 3\nDog 4\nDog 5\nDog 6\n");
    // The first picture was captured after the start.
    rec.Read_RGB_sample(1, false);
    EXPECT_GT(static_cast<std::uint32_t>(rec.Timestamp_long()), start);
    rec.Close_File();

    // While a recording is reviewed, "Heat finish" only beeps.
    form->Handle_Open(name);
    ASSERT_TRUE(testing::reviewing(*form));
    Write_Setting(keys::last_file, "kept");
    const int beeps = op.beeps;
    button("Command_finish")->click();
    EXPECT_EQ(op.beeps, beeps + 1);
    EXPECT_EQ(Read_Setting(keys::last_file), "kept");
    EXPECT_TRUE(testing::reviewing(*form));
}

// The RM contact closes while the window is busy for 50 ms: the start is the contact's moment, and so
// is every picture time measured from it. The trigger's end keeps the pictures filmed before it.
TEST_F(HeatWindow, TheStartIsTheMomentOfTheEdgeNotWhenTheBusyWindowGetsToIt) {
    open_window();
    live();
    button("Command_initiate_file")->click();
    const std::string name = testing::file_name(*form);
    input(1, true);
    const std::uint32_t edge = clock.millis();
    kit->set_input(0, true);
    clock.advance(50); // a redraw, a save: nothing is dispatched meanwhile
    form->dispatch_capture();
    EXPECT_EQ(testing::heat_clock(*form), since(edge)); // 00:00,05, not 00:00,00
    run(2000);
    input(3, true);
    run(400);
    // The trigger opens while two pictures filmed before it still wait to be delivered: kept.
    const std::int32_t stored = label("Label_frame_count")->text().toInt();
    clock.advance(80);
    kit->set_input(3, false);
    form->dispatch_kit();
    EXPECT_FALSE(testing::capturing(*form));
    button("Command_finish")->click();

    cls_VideoFile_handler rec;
    rec.Open_File(name);
    ASSERT_TRUE(rec.File_open());
    EXPECT_EQ(rec.num_Frames(), stored + 2);
    EXPECT_EQ(rec.Velt_start_PC_mill(), std::to_string(edge));
    EXPECT_EQ(rec.Velt_heat_start_local(), kLocalAtOpen + elapsed_ms(100000, edge));
    rec.Read_RGB_sample(1, false);
    const std::uint32_t first_picture = static_cast<std::uint32_t>(rec.Timestamp_long());
    rec.Close_File();

    form->Handle_Open(name);
    testing::slider_play(*form)->setValue(1);
    // Picture time = capture stamp - start + 2 ms - the 200 ms goal compensation.
    EXPECT_EQ(label("Label_heat_time")->text().toStdString(),
              Display_Mill_Time(elapsed_ms(edge, first_picture) + 2 - 200, false));
}

// The finish trigger is still held when "Heat finish" is pressed.
TEST_F(HeatWindow, FinishWhileCapturingAppendsTheFramesAndTheNextCameraStartStoresNothing) {
    open_window();
    live();
    button("Command_initiate_file")->click();
    const std::string name = testing::file_name(*form);
    input(1, true);
    input(0, true);
    run(2000);
    input(3, true);
    run(1000);
    const std::int32_t stored = label("Label_frame_count")->text().toInt();
    ASSERT_GE(stored, 24);

    button("Command_finish")->click();
    EXPECT_FALSE(testing::capturing(*form));
    cls_VideoFile_handler rec;
    rec.Open_File(name);
    ASSERT_TRUE(rec.File_open());
    EXPECT_EQ(rec.num_Frames(), stored);
    rec.Close_File();

    run(1000);
    button("Command_start_camera")->click();
    run(2000);
    EXPECT_FALSE(std::filesystem::exists(name + ".spool")); // nothing waits to be appended
    input(3, false); // the trigger let go at last: no heat, nothing appended anywhere
    rec.Open_File(name);
    EXPECT_EQ(rec.num_Frames(), stored);
}

// A recording counts at most 32767 frames: the frame that fills it ends the capture with a message,
// and every frame up to it is in the recording.
TEST_F(HeatWindow, TheFrameThatFillsTheRecordingEndsTheCaptureWithAMessage) {
    open_window();
    live();
    button("Command_initiate_file")->click();
    const std::string name = testing::file_name(*form);
    button("Command_start_heat")->click();
    run(1000);
    QTest::mousePress(button("Command_capture"), Qt::LeftButton);
    run(1000);
    QTest::mouseRelease(button("Command_capture"), Qt::LeftButton);
    run(1000);
    // The recording as if it held all but three frames: the header counts them, the file (sparse)
    // is as long.
    std::int32_t sample = 0;
    {
        cls_VideoFile_handler recording;
        recording.Open_File(name);
        sample = recording.xml_header().RGB_Sample_Size();
        ASSERT_GT(sample, 0);
        recording.xml_header().Frames_no(px3::kMaxFrames - 3);
        recording.Write_XML_header();
    }
    std::filesystem::resize_file(name,
                                 static_cast<std::uintmax_t>(px3::frame_offset(px3::kMaxFrames - 2, sample)));

    QTest::mousePress(button("Command_capture"), Qt::LeftButton);
    run(1000);
    EXPECT_FALSE(testing::capturing(*form));
    EXPECT_EQ(op.last_message(),
              "The recording holds 32767 frames, the most it can: capture has ended. Every "
              "frame up to here is kept.");
    QTest::mouseRelease(button("Command_capture"), Qt::LeftButton);
    cls_VideoFile_handler rec;
    rec.Open_File(name);
    EXPECT_EQ(rec.num_Frames(), px3::kMaxFrames);
}

// The program ended in the middle of a capture: at the next start the spool's frames go into their
// recording, the operator is offered to open it, and "Open last heat" opens it rather than the heat
// finished before it.
TEST_F(HeatWindow, TheNextStartCompletesARecordingFromTheSpoolOfItsCaptureAndOpensItLast) {
    const std::string earlier = folder + "/Spring Cup_0.px3";
    const std::string name = folder + "/Spring Cup_1.px3";
    {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, earlier, 160, 120);
        rec.Close_File();
        Write_Setting(keys::last_file, earlier);
        Arm_Test_Recording(rec, name, 160, 120);
        rec.Close_File();
        SpoolWriter spool(spool_path(name), SpoolHead{160, 120, 80, 0, 0});
        for (std::int32_t n = 0; n < 4; ++n) {
            spool.append(testing::compressed_test_frame(160, 120, n));
        }
    }
    open_window(); // the offer is answered No
    ASSERT_FALSE(op.questions.empty());
    EXPECT_EQ(op.questions.front(), "Recovered 4 frames of " + name +
                                        " from an interrupted capture\n\nOpen the recovered heat now?");
    EXPECT_FALSE(testing::reviewing(*form));
    EXPECT_FALSE(std::filesystem::exists(spool_path(name)));
    form->findChild<QAction*>("item_last_heat")->trigger();
    ASSERT_TRUE(testing::reviewing(*form));
    EXPECT_EQ(testing::file_name(*form), name);
    EXPECT_EQ(testing::slider_play(*form)->maximum(), 2 * 4); // four frames of two fields

    // Answered Yes, the recovered heat is on show as soon as the window is.
    form.reset();
    const std::string next = folder + "/Spring Cup_2.px3";
    {
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, next, 160, 120);
        rec.Close_File();
        SpoolWriter spool(spool_path(next), SpoolHead{160, 120, 80, 0, 0});
        spool.append(testing::compressed_test_frame(160, 120, 0));
    }
    op.answers = {true};
    open_window();
    EXPECT_FALSE(testing::reviewing(*form)) << "before the window shows";
    form->show();
    ASSERT_TRUE(testing::reviewing(*form));
    EXPECT_EQ(testing::file_name(*form), next);
}

TEST_F(HeatWindow, AbortOrCameraStopWhileCapturingKeepsTheFrames) {
    open_window();
    live();
    for (const bool abort : {true, false}) {
        button("Command_initiate_file")->click();
        const std::string name = testing::file_name(*form);
        button("Command_start_heat")->click();
        run(1000);
        QTest::mousePress(button("Command_capture"), Qt::LeftButton);
        ASSERT_TRUE(testing::capturing(*form));
        run(1000);
        const std::int32_t stored = label("Label_frame_count")->text().toInt();
        if (abort) {
            op.answers = {true};
            form->Do_Abort();
            EXPECT_EQ(testing::heat_clock(*form), "Aborted");
        } else {
            button("Command_start_camera")->click(); // "Stop camera"
        }
        EXPECT_FALSE(testing::capturing(*form));
        EXPECT_FALSE(std::filesystem::exists(name + ".spool"));
        cls_VideoFile_handler rec;
        rec.Open_File(name);
        EXPECT_EQ(rec.num_Frames(), stored) << (abort ? "abort" : "camera stop");
        QTest::mouseRelease(button("Command_capture"), Qt::LeftButton);
        button("Command_finish")->click();
        run(1200);
        if (abort) {
            button("Command_start_camera")->click();
            run(4500);
        }
    }
}

TEST_F(HeatWindow, SecondStartIsRefusedAndTheFirstStartStays) {
    open_window();
    live();
    button("Command_initiate_file")->click();
    input(1, true);
    const std::uint32_t first = clock.millis();
    input(0, true);
    const int beeps = op.beeps;
    run(500);
    input(0, false); // the RM contact opening again is a second start signal
    EXPECT_EQ(testing::heat_clock(*form), since(first));
    EXPECT_EQ(op.beeps, beeps + 1);
    cls_VideoFile_handler rec;
    rec.Open_File(testing::file_name(*form));
    EXPECT_EQ(rec.Velt_start_PC_mill(), std::to_string(first));
}

TEST_F(HeatWindow, StartWithoutRecordingBeepsUnlessAutoInitCreatesOne) {
    open_window();
    live();
    input(1, true);
    input(0, true);
    EXPECT_EQ(testing::heat_clock(*form), "00:00,00"); // never started
    EXPECT_EQ(op.beeps, 1);
    EXPECT_TRUE(std::filesystem::is_empty(folder));

    Write_Setting(keys::auto_init, "1");
    const std::uint32_t start = clock.millis();
    input(0, false);
    run(100);
    EXPECT_EQ(testing::heat_clock(*form), since(start));
    ASSERT_FALSE(testing::file_name(*form).empty());
    cls_VideoFile_handler rec;
    rec.Open_File(testing::file_name(*form));
    EXPECT_EQ(rec.Velt_start_PC_mill(), std::to_string(start));
    EXPECT_EQ(rec.Velt_event(), "Test Event");
    EXPECT_EQ(rec.Velt_Heat_Name(), "Test Heat");
}

TEST_F(HeatWindow, InitiateBeforeTheRateIsKnownOnlyAsksToWait) {
    open_window();
    run(1200);
    button("Command_start_camera")->click();
    run(200);
    button("Command_initiate_file")->click();
    EXPECT_EQ(op.last_message(), "Waiting to measure camera fps!\n(See display under the rotating arm!)");
    EXPECT_TRUE(testing::file_name(*form).empty());
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(HeatWindow, InputChangesInTheFirstSecondAreIgnored) {
    open_window();
    run(500);
    input(1, true);
    input(0, true);
    EXPECT_FALSE(kit->output_state(0)); // not even the LED followed
    EXPECT_EQ(op.beeps, 0);
    EXPECT_EQ(testing::heat_clock(*form), "00:00,00");
    run(600);
    input(0, false);
    EXPECT_EQ(op.beeps, 1); // now heard: a start without a recording
}

TEST_F(HeatWindow, EscapeDuringFramesAsksAndOnlyOkAborts) {
    open_window();
    live();
    button("Command_initiate_file")->click();
    const std::uint32_t started = clock.millis();
    button("Command_start_heat")->click();

    op.answers = {false};
    QTest::keyPress(form.get(), Qt::Key_Escape);
    run(40);
    QTest::keyRelease(form.get(), Qt::Key_Escape);
    ASSERT_EQ(op.questions.size(), 1u);
    EXPECT_EQ(op.questions[0], "Aborting heat  are you sure?");
    EXPECT_EQ(testing::heat_clock(*form), since(started));

    op.answers = {true};
    QTest::keyPress(form.get(), Qt::Key_Escape);
    run(40);
    QTest::keyRelease(form.get(), Qt::Key_Escape);
    EXPECT_EQ(testing::heat_clock(*form), "Aborted");
    // The recording and its start values stay.
    EXPECT_FALSE(testing::file_name(*form).empty());
    cls_VideoFile_handler rec;
    rec.Open_File(testing::file_name(*form));
    EXPECT_EQ(rec.Velt_start_PC_mill(), std::to_string(started));
}

// A real message box on the window thread (a question, a print dialog) for 10 s of a capture: the
// camera's pictures keep going into the heat, every one of them.
TEST_F(HeatWindow, AModalBoxOnTheWindowThreadLosesNoFrame) {
    open_window();
    live();
    button("Command_initiate_file")->click();
    input(1, true);
    input(0, true);
    run(1000);
    input(3, true);
    ASSERT_TRUE(testing::capturing(*form));
    std::atomic<bool> filmed{false};
    std::thread camera([&] {
        for (int i = 0; i < 250; ++i) {
            clock.advance(40);
            capture->dispatch_now(); // the capture thread's turn, as a real device wakes it
        }
        filmed = true;
    });
    QMessageBox box(QMessageBox::Question, "Selvane Aborting Heat", "Aborting heat  are you sure?",
                    QMessageBox::Ok | QMessageBox::Cancel, form.get());
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (filmed) {
            box.reject();
        }
    });
    poll.start(5);
    box.exec();
    camera.join();
    input(3, false);

    cls_VideoFile_handler rec;
    rec.Open_File(testing::file_name(*form));
    ASSERT_GE(rec.num_Frames(), 250);
    std::int32_t previous = 0;
    for (std::int32_t n = 1; n <= rec.num_Frames(); ++n) {
        rec.Read_RGB_sample(n, false);
        if (n > 1) {
            ASSERT_EQ(rec.Timestamp_long() - previous, 40) << "frame " << n;
        }
        previous = rec.Timestamp_long();
    }
}

TEST_F(HeatWindow, CaptureEndInTheFirstThreeSecondsIsSkipped) {
    set_debug_run(true); // no heat needed for capture to end
    open_window();
    button("Command_start_camera")->click();
    run(1000);
    capture->Post_linear(true);
    form->Handle_Capture_End();
    EXPECT_TRUE(capture->Post_linear()); // skipped before storing stopped
    run(2100);
    form->Handle_Capture_End();
    EXPECT_FALSE(capture->Post_linear());
}

TEST_F(HeatWindow, DetachingDisablesThePanelAndStartHeat) {
    open_window();
    EXPECT_TRUE(button("Command_start_heat")->isEnabled());
    kit->detach();
    form->dispatch_kit();
    EXPECT_EQ(label("Label_attached")->text(), "Not attached");
    EXPECT_FALSE(button("Command_start_heat")->isEnabled());
    EXPECT_FALSE(form->findChild<QWidget*>("Frame_control")->isEnabled());
}

TEST_F(HeatWindow, TheStartSwitchPanelStaysAfterAFinishAndComesBackAfterAReview) {
    open_window();
    form->show();
    QWidget* panel = form->findChild<QWidget*>("Frame_control");
    live();
    ASSERT_TRUE(panel->isVisible());
    button("Command_initiate_file")->click();
    const std::string name = testing::file_name(*form);
    button("Command_start_heat")->click();
    run(3500);
    input(3, true);
    run(500);
    input(3, false);
    button("Command_finish")->click();
    EXPECT_TRUE(panel->isVisible()) << "after a finish";
    EXPECT_TRUE(label("Label_RM")->isVisible());

    form->Handle_Open(name);
    ASSERT_TRUE(testing::reviewing(*form));
    EXPECT_FALSE(panel->isVisible());
    run(1200);
    button("Command_start_camera")->click();
    EXPECT_TRUE(panel->isVisible()) << "after an open";
}

TEST_F(HeatWindow, ItemsWithoutTheirCommandYetAreGreyedOut) {
    open_window();
    live();
    for (const char* name : {"item_delete_file"}) {
        QAction* item = form->findChild<QAction*>(name);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_FALSE(item->isEnabled()) << name;
        item->trigger();
    }
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(HeatWindow, CaptureNeedsCamerasAndARecording) {
    open_window();
    run(1200);
    input(3, true);
    EXPECT_FALSE(testing::capturing(*form));
    EXPECT_EQ(op.beeps, 1); // cameras not running
    input(3, false);
    button("Command_start_camera")->click();
    run(100);
    input(3, true);
    EXPECT_FALSE(testing::capturing(*form));
    EXPECT_EQ(op.beeps, 2); // no file initiated
}

} // namespace
} // namespace veltro

namespace veltro {
namespace {

TEST(SingleInstance, SecondStartIsRefusedAndHandsItsRecordingOverWithoutABox) {
    testing::TempDir dir;
    testing::ScopedEnv env("VELTRO_DATA_DIR", dir.file("data"));
    std::filesystem::create_directories(dir.file("data"));
    set_settings_path(dir.file("data/Veltro_HDMI.ini"));
    set_trace_file(dir.file("trace.txt"));
    testing::FakeOperator op;
    const std::string recording = dir.file("heat 4.px3");
    std::ofstream(recording) << "x";
    {
        Form_Veltro first(VeltroStart(program_backends(), system_clock()));
        ASSERT_FALSE(first.instance_refused());
        VeltroStart again(program_backends(), system_clock());
        again.command_line_path = "\"" + recording + "\"";
        Form_Veltro second(std::move(again));
        EXPECT_TRUE(second.instance_refused());
        EXPECT_TRUE(op.messages.empty()) << "the recording is shown by the running program";
        Form_Veltro plain(VeltroStart(program_backends(), system_clock()));
        EXPECT_TRUE(plain.instance_refused());
        EXPECT_EQ(op.last_message(), "A previous instance of Veltro is running!");
        // Started in a shell in another folder, with the name relative to it.
        const std::filesystem::path cwd = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        VeltroStart relative(program_backends(), system_clock());
        relative.command_line_path = "heat 4.px3";
        Form_Veltro third(std::move(relative));
        std::filesystem::current_path(cwd);
        EXPECT_TRUE(third.instance_refused());
        for (int i = 0; i < 50; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }
    trace_flush();
    const std::string trace = read_whole_file(dir.file("trace.txt")).value_or("");
    const std::string handed = "*second instance hands over: " + recording;
    const auto first_hand_over = trace.find(handed);
    ASSERT_NE(first_hand_over, std::string::npos);
    EXPECT_NE(trace.find(handed, first_hand_over + 1), std::string::npos) << "the relative name, made full";
    // The refused program ends without a shutdown of its own: only the first one shuts down.
    EXPECT_EQ(trace.find("*Veltro_end, begin"), trace.rfind("*Veltro_end, begin"));
    EXPECT_NE(trace.find("*Veltro_end, begin"), std::string::npos);
    set_trace_file("");
    set_settings_path("");
}

} // namespace
} // namespace veltro

namespace veltro {
namespace {

TEST_F(HeatWindow, MissingCaptureFolderStopsInitiation) {
    open_window();
    live();
    Write_Setting(keys::save_folder, dir.file("gone"));
    button("Command_initiate_file")->click();
    EXPECT_EQ(op.last_message(), "Capture folder does not exist!");
    EXPECT_TRUE(testing::file_name(*form).empty());
    EXPECT_TRUE(form->findChild<QLineEdit*>("Text_file_name")->text().isEmpty());
}

TEST_F(HeatWindow, UnwritableCaptureFolderIsSaidAndTheDefaultFolderIsMadeWhenFirstNeeded) {
    open_window();
    live();
    // A folder nobody may create files in, root included.
    Write_Setting(keys::save_folder, "/proc/self");
    button("Command_initiate_file")->click();
    EXPECT_EQ(op.last_message().rfind("Capture folder can not be written!\r\n/proc/self\r\n", 0), 0u)
        << op.last_message();
    EXPECT_TRUE(testing::file_name(*form).empty());

    // A new operator has chosen no folder: heats go to the videos folder.
    testing::ScopedEnv home("HOME", dir.file("home"));
    testing::ScopedEnv config("XDG_CONFIG_HOME", dir.file("home/.config"));
    Write_Setting(keys::save_folder, "");
    form->load_Capture_Folder();
    EXPECT_EQ(label("Label_capture_folder")->text().toStdString(), dir.file("home/Videos/Veltro"));
    button("Command_initiate_file")->click();
    EXPECT_EQ(testing::file_name(*form).rfind(dir.file("home/Videos/Veltro/"), 0), 0u)
        << testing::file_name(*form);
    EXPECT_TRUE(std::filesystem::exists(testing::file_name(*form)));
}

TEST_F(HeatWindow, StartCameraWithAnUnpluggedSavedSourceAsksToSelectAgain) {
    Write_Setting(keys::friendlyname, "Some grabber that was unplugged");
    open_window();
    button("Command_start_camera")->click();
    EXPECT_EQ(op.last_message(), "Could not find the saved Video source! Please re-select Video source!");
    EXPECT_EQ(button("Command_start_camera")->text(), "Stop camera");
    button("Command_initiate_file")->click(); // no rate yet: nothing is created
    EXPECT_TRUE(testing::file_name(*form).empty());
}

TEST_F(HeatWindow, AHeatFilmedAt50FramesIsStoredProgressiveWithOneTimeAPicture) {
    Write_Setting(keys::videoproperty, "1"); // the demo camera's 1920*1080 at 50 progressive
    open_window();
    run(1200);
    button("Command_start_camera")->click();
    run(4500);
    ASSERT_EQ(capture->Running_Fps(), 50);
    button("Command_initiate_file")->click();
    const std::string name = testing::file_name(*form);
    input(1, true);
    input(0, true);
    input(3, true);
    run(1000);
    input(3, false);
    button("Command_finish")->click();

    cls_VideoFile_handler rec;
    rec.Open_File(name);
    ASSERT_TRUE(rec.File_open()) << (op.messages.empty() ? "" : op.last_message());
    EXPECT_FALSE(rec.RGB_interlaced());
    EXPECT_GE(rec.num_Frames(), 49);
    EXPECT_EQ(rec.Num_fields(), rec.num_Frames()); // stored interlaced, it would claim twice as many
    rec.Read_RGB_sample(1, false);
    const std::int32_t first = rec.Timestamp_long();
    rec.Read_RGB_sample(2, false);
    EXPECT_EQ(rec.Timestamp_long() - first, 20); // pictures 20 ms apart, each a moment of its own
}

TEST_F(HeatWindow, AFirstStartWithNoSavedSourceFilmsTheDemoRaceAndAHeatWorksAtOnce) {
    Write_Setting(keys::friendlyname, "");
    Write_Setting(keys::videoproperty, "");
    open_window();
    live();
    EXPECT_TRUE(op.messages.empty()) << op.last_message();
    EXPECT_TRUE(capture->source_by_default());
    EXPECT_EQ(capture->Current_FriendlyName(), DemoCamera::kFriendlyName);
    EXPECT_EQ(Read_Setting(keys::friendlyname), "noname"); // the first device chosen is stored as usual
    button("Command_initiate_file")->click();
    button("Command_start_heat")->click();
    run(1000);
    QTest::mousePress(button("Command_capture"), Qt::LeftButton);
    run(1000);
    QTest::mouseRelease(button("Command_capture"), Qt::LeftButton);
    const std::string name = testing::file_name(*form);
    button("Command_finish")->click();
    cls_VideoFile_handler rec;
    rec.Open_File(name);
    EXPECT_GE(rec.num_Frames(), 24);
}

// No recording was ever opened: the live goal line still has its handles, drags and is stored.
TEST_F(HeatWindow, TheLiveGoalLineDragsAndIsStoredBeforeAnyReview) {
    const Goal_line line{190, 120, 200, 760};
    Write_Setting(keys::goal_line_1, goal_line_text(line));
    open_window();
    form->resize(1200, 900);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    live();
    QApplication::processEvents();
    PictureBox* picture = testing::picture_live(*form);
    // The first handle's blue square, wherever the picture is scaled to.
    const QImage shown = picture->grab().toImage();
    const QRect handle =
        picture->picture_transform().mapRect(QRectF(line.x1 - 6, line.y1 - 6, 12, 12)).toAlignedRect();
    int blue = 0;
    for (int y = handle.top(); y <= handle.bottom(); ++y)
        for (int x = handle.left(); x <= handle.right(); ++x) {
            const QColor c = shown.pixelColor(x, y);
            blue += c.blue() > 150 && c.red() < 80 && c.green() < 80;
        }
    EXPECT_GT(blue, 4);

    const QTransform to_widget = picture->picture_transform();
    const QPointF press(line.x1 + 2, line.y1);
    QTest::mousePress(picture, Qt::LeftButton, {}, to_widget.map(press).toPoint());
    const QPointF target = to_widget.inverted().map(QPointF(to_widget.map(press).toPoint())) + QPointF(5, -3);
    QMouseEvent move(QEvent::MouseMove, to_widget.map(target), picture->mapToGlobal(to_widget.map(target)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(picture, &move);
    QTest::mouseRelease(picture, Qt::LeftButton, {}, to_widget.map(target).toPoint());
    const std::optional<Goal_line> moved = parse_goal_line(Read_Setting(keys::goal_line_1));
    ASSERT_TRUE(moved);
    EXPECT_NEAR(moved->x1, line.x1 + 5, 1);
    EXPECT_NEAR(moved->y1, line.y1 - 3, 1);
    EXPECT_EQ(moved->x2, line.x2);
    EXPECT_EQ(moved->y2, line.y2);
}

TEST_F(HeatWindow, LedFollowsTheRmContactAndTheMouseOnTheScreenLed) {
    open_window();
    run(1200);
    QWidget* led = form->findChild<QWidget*>("Picture_LED");
    QTest::mousePress(led, Qt::LeftButton);
    EXPECT_TRUE(kit->output_state(0));
    QTest::mouseRelease(led, Qt::LeftButton);
    EXPECT_FALSE(kit->output_state(0));
    input(0, true); // not armed: no start, but the LED and the panel follow
    EXPECT_TRUE(kit->output_state(0));
    EXPECT_EQ(label("Label_RM")->text(), "RM closed");
    EXPECT_EQ(testing::heat_clock(*form), "00:00,00");
    EXPECT_EQ(label("Label_remote_start")->text(), "Start not armed!");
}

TEST_F(HeatWindow, AltOnTheFormMenuRevealsTrapErrorsAndTogglesDebug) {
    open_window();
    QMenu* debug = form->menu("menu_debug");
    QMenu* trap = form->menu("menu_trap_errors");
    ASSERT_TRUE(debug && trap);
    EXPECT_FALSE(debug->menuAction()->isVisible());
    EXPECT_FALSE(form->menu("menu_assign")->menuAction()->isVisible());
    form->menu_form_click(Qt::NoModifier);
    EXPECT_FALSE(debug->menuAction()->isVisible());
    form->menu_form_click(Qt::AltModifier);
    EXPECT_TRUE(debug->menuAction()->isVisible());
    EXPECT_TRUE(trap->menuAction()->isVisible());
    form->menu_form_click(Qt::AltModifier);
    EXPECT_FALSE(debug->menuAction()->isVisible());
}

} // namespace
} // namespace veltro
