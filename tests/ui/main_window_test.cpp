#include "app/ui/form_veltro.h"

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
    Form_Veltro window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), "Veltro_HDMI");
    EXPECT_TRUE(window.close());
}

} // namespace
} // namespace veltro
