#include "app/ui/form_veltro.h"
#include "scoped_env.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace veltro {
namespace {

TEST(FormVeltro, OpensWithItsCaptionAndClosesCleanly) {
    testing::TempDir dir;
    testing::ScopedEnv env("VELTRO_DATA_DIR", dir.path().string());
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    Form_Veltro window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), "Veltro_HDMI");
    EXPECT_TRUE(window.close());
    set_settings_path("");
}

} // namespace
} // namespace veltro
