#pragma once

#include "app/demo_heat.h"
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "fake_operator.h"
#include "review_parts.h"
#include "scoped_env.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

namespace veltro::testing {

// The main window, shown, beside a demo heat recorded as `px3tool demo --fast` records it into a
// data folder of its own; the temporary folder is the capture folder. The window's demo camera runs on a
// manual clock and no device descriptor is watched; the heat is not opened.
class DemoHeatWindow : public ::testing::Test {
protected:
    // `goal_compensation`: stored before the heat is recorded; none keeps the default.
    explicit DemoHeatWindow(const std::string& file_name,
                            const std::optional<std::string>& goal_compensation = std::nullopt)
        : env("VELTRO_DATA_DIR", dir.file("data")), path(dir.file(file_name)) {
        std::filesystem::create_directories(dir.file("data"));
        set_settings_path(dir.file("data/Veltro_HDMI.ini"));
        Write_Setting(keys::save_folder, dir.path().string()); // the heat's folder is the capture folder
        if (goal_compensation)
            Write_Setting(keys::goal_compensation, *goal_compensation);
        DemoHeatOptions options;
        options.path = path;
        options.fast = true;
        demo = record_demo_heat(options);
        open_window();
    }
    // The window as the program opens it, showing; any window before it is closed first.
    void open_window() {
        form.reset();
        VeltroStart start(program_backends(), clock);
        start.make_component = [this] {
            std::vector<std::unique_ptr<CaptureDevice>> devices;
            devices.push_back(std::make_unique<DemoCamera>(clock));
            return make_capture_component(std::move(devices), clock);
        };
        start.single_instance = false;
        start.watch_devices = false;
        start.live_results_port = live_results_port;
        form = std::make_unique<Form_Veltro>(std::move(start));
        form->show();
    }
    // The heat open and the window holding the keyboard, as after a heat finish.
    void open() {
        form->Handle_Open(path);
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QCoreApplication::processEvents();
    }
    // A key as the keyboard sends it: to the widget holding the focus.
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = {}) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, k, modifiers);
    }

    // The heat's pictures, read on their own (opened at the first use): what the window is to show.
    RecordedPictures& pictures() {
        if (!pictures_)
            pictures_ = std::make_unique<RecordedPictures>(path);
        return *pictures_;
    }
    // The operator puts the picture that reaches `time` on show with the play slider.
    void show_time(std::int32_t time) { testing::show_time(*form, pictures(), time); }
    // The heat time of the picture on show.
    std::int32_t time_on_show() { return pictures().time(picture_number(*form)); }

    ~DemoHeatWindow() override {
        pictures_.reset();
        form.reset();
        set_settings_path("");
    }

    TempDir dir;
    ScopedEnv env;
    FakeOperator op;
    ManualClock clock{100000};
    std::string path;
    DemoHeatResult demo;
    std::unique_ptr<Form_Veltro> form;
    // The live results for windows opened from now on (0: on any free port); none: off.
    std::optional<int> live_results_port;

private:
    std::unique_ptr<RecordedPictures> pictures_;
};

} // namespace veltro::testing
