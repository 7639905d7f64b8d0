// The moved-camera warning at "Initiate file": the demo camera's scene moved by its setting between
// heats, on a manual clock.
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "fake_operator.h"
#include "recording/video_file_handler.h"
#include "review/camera_shift.h"
#include "review/goal_line.h"
#include "scoped_env.h"
#include "startswitch/backends/simulated/simulated_kit.h"
#include "support/files.h"
#include "support/settings.h"
#include "support/trace.h"
#include "temp_dir.h"
#include "window_parts.h"

#include <QCoreApplication>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

class MovedCameraWindow : public ::testing::Test {
protected:
    MovedCameraWindow() : env("VELTRO_DATA_DIR", dir.file("data")) {
        std::filesystem::create_directories(dir.file("data"));
        std::filesystem::create_directories(dir.file("heats"));
        set_settings_path(dir.file("data/Veltro_HDMI.ini"));
        set_trace_file(dir.file("trace.txt"));
        Write_Setting(keys::friendlyname, DemoCamera::kFriendlyName);
        Write_Setting(keys::videoproperty, "0");
        Write_Setting(keys::save_folder, dir.file("heats"));
        VeltroStart start(program_backends(), clock);
        start.make_component = [this] {
            std::vector<std::unique_ptr<CaptureDevice>> devices;
            devices.push_back(std::make_unique<DemoCamera>(clock));
            return make_capture_component(std::move(devices), clock);
        };
        start.kit = std::make_unique<SimulatedKit>(clock);
        start.single_instance = false;
        start.watch_devices = false;
        form = std::make_unique<Form_Veltro>(std::move(start));
    }
    ~MovedCameraWindow() override {

        form.reset();
        set_trace_file("");
        set_settings_path("");
    }

    void run(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 20) {
            clock.advance(20);
            form->dispatch_capture();
        }
    }
    QPushButton* button(const char* name) { return form->findChild<QPushButton*>(name); }
    // The cameras (re)started with the demo scene moved by `shift`, their rate measured.
    void cameras_on(const std::string& shift) {
        if (form->cameras_running()) {
            button("Command_start_camera")->click();
        }
        Write_Setting(keys::demo_camera_shift, shift);
        run(1200);
        button("Command_start_camera")->click();
        run(4500);
    }
    // "Initiate file", and what follows it once its handler is over; the goal line of the recording.
    Goal_line initiate() {
        button("Command_initiate_file")->click();
        QCoreApplication::processEvents();
        cls_VideoFile_handler recording;
        recording.Open_File(testing::file_name(*form));
        return parse_goal_line(recording.Velt_Goal_Finish()).value_or(Goal_line{});
    }

    testing::TempDir dir;
    testing::ScopedEnv env;
    testing::FakeOperator op;
    ManualClock clock{100000};
    std::unique_ptr<Form_Veltro> form;
};

TEST_F(MovedCameraWindow, WarnsOfAThreePixelMoveNotOfOneAndMovesTheLineOnlyWhenTold) {
    cameras_on("");
    const Goal_line line = initiate(); // the first heat with this line: its picture is kept
    cameras_on("1,1");
    EXPECT_EQ(initiate(), line);
    EXPECT_TRUE(op.questions.empty());

    cameras_on("-3,2");
    op.answers = {false};
    EXPECT_EQ(initiate(), line);
    ASSERT_EQ(op.questions.size(), 1u);
    EXPECT_EQ(op.questions[0], "The picture has moved 3 px left and 2 px down since the last heat with this "
                               "goal line: the camera has been moved.\nMove the goal line with it?");
    EXPECT_EQ(Read_Setting(keys::goal_line_1), "N/A");

    op.answers = {true};
    const Goal_line moved = shifted_line(line, -3, 2);
    EXPECT_EQ(initiate(), moved);
    EXPECT_EQ(op.questions.size(), 2u);
    EXPECT_EQ(Read_Setting(keys::goal_line_1), goal_line_text(moved));
    const std::string moved_in = std::filesystem::path(testing::file_name(*form)).filename().string();
    // The line and the picture are kept together: the next heat finds the camera where it is now.
    EXPECT_EQ(initiate(), moved);
    EXPECT_EQ(op.questions.size(), 2u);
    EXPECT_TRUE(op.messages.empty());

    trace_flush();
    const std::string trace = read_whole_file(dir.file("trace.txt")).value_or("");
    EXPECT_NE(trace.find("*Camera check, " + moved_in + ": the camera has moved 3 px left and 2 px down"),
              std::string::npos);
    EXPECT_NE(trace.find("*Camera check, " + moved_in + ": the goal line was moved with the camera to " +
                         goal_line_text(moved)),
              std::string::npos);
}

} // namespace
} // namespace veltro
