// The source-selection window's exposure and gain: shown for a source that has them, checked, and
// stored with the source.
#include "capture/backends/demo/demo_camera.h"
#include "capture/capture_fakes.h"
#include "capture/ui/form_select_video.h"
#include "fake_operator.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace veltro {
namespace {

class SourceControlsWindow : public ::testing::Test {
protected:
    SourceControlsWindow() { set_settings_path(dir.file("Veltro_HDMI.ini")); }
    ~SourceControlsWindow() override { set_settings_path(""); }

    // An industrial camera with both controls, then the demo camera, which has none.
    static std::unique_ptr<CaptureComponent> sources() {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        auto camera = std::make_unique<testing::FakeDevice>(
            "Line camera", std::vector<MediaType>{testing::hd_format(100000)});
        camera->exposure = ControlRange{10, 100000, 8000, "µs"};
        camera->gain = ControlRange{0, 24, 0, "dB"};
        devices.push_back(std::move(camera));
        devices.push_back(std::make_unique<DemoCamera>());
        return make_capture_component(std::move(devices), system_clock());
    }
    QLineEdit* exposure() const { return w.findChild<QLineEdit*>("Text_exposure"); }
    QLineEdit* gain() const { return w.findChild<QLineEdit*>("Text_gain"); }
    void done() { w.findChild<QPushButton*>("Command_select_done")->click(); }

    testing::TempDir dir;
    testing::FakeOperator op;
    Form_select_Video w{&sources};
};

TEST_F(SourceControlsWindow, ShownForTheSourceThatHasThemCheckedAndStoredWithIt) {
    w.show();
    w.command_enum2_click();
    ASSERT_EQ(w.ListView_prop()->topLevelItemCount(), 1 + static_cast<int>(DemoCamera::kRates.size()));
    EXPECT_FALSE(w.controls_frame()->isVisible()); // no source chosen yet

    w.list_view_prop_click(0);
    ASSERT_TRUE(w.controls_frame()->isVisible());
    EXPECT_EQ(w.findChild<QLabel*>("Label_exposure")->text(), "Exposure time (10 to 100000 µs)");
    EXPECT_EQ(w.findChild<QLabel*>("Label_gain")->text(), "Gain (0 to 24 dB)");
    EXPECT_EQ(exposure()->text(), ""); // the camera's own until one is typed

    // A value outside the range: said, the window stays, nothing stored.
    exposure()->setText("5");
    gain()->setText("6");
    done();
    EXPECT_EQ(op.last_message(), "Exposure must be a number from 10 µs to 100000 µs, not 5");
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(Read_Setting(keys::capture_exposure), "N/A");
    EXPECT_EQ(Read_Setting(keys::capture_gain), "N/A");

    exposure()->setText("1000");
    done();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(Read_Setting(keys::capture_exposure), "1000");
    EXPECT_EQ(Read_Setting(keys::capture_gain), "6");

    // Opened again: the saved source's values are shown.
    w.show();
    w.command_enum2_click();
    EXPECT_EQ(exposure()->text(), "1000");
    EXPECT_EQ(gain()->text(), "6");

    // Another source: nothing to show, and the values of the first no longer apply.
    w.list_view_prop_click(1);
    EXPECT_FALSE(w.controls_frame()->isVisible());
    EXPECT_EQ(Read_Setting(keys::capture_exposure), "N/A");
    EXPECT_EQ(Read_Setting(keys::capture_gain), "N/A");
    w.list_view_prop_click(0);
    EXPECT_EQ(exposure()->text(), "");
}

} // namespace
} // namespace veltro
