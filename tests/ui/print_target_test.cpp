// The program's current printer: what a print dialog leaves for the prints that follow.
#include "support/ui/print_target.h"

#include <QPrinter>
#include <gtest/gtest.h>

namespace veltro {
namespace {

class CurrentPrinter : public ::testing::Test {
protected:
    CurrentPrinter() { current_printer().reset(); }
    ~CurrentPrinter() override { current_printer().reset(); }
};

TEST_F(CurrentPrinter, AConfirmedChoiceIsWhereTheNextPrintStartsAndACancelKeepsIt) {
    QPrinter first(QPrinter::HighResolution);
    ASSERT_TRUE(Select_Printer(first, nullptr, [](QPrinter& p, QWidget*) {
        p.setPageOrientation(QPageLayout::Landscape);
        p.setColorMode(QPrinter::GrayScale);
        return true;
    }));

    // The next dialog opens on that choice; the operator changes it and cancels.
    QPrinter second(QPrinter::HighResolution);
    QPageLayout::Orientation shown = QPageLayout::Portrait;
    QPrinter::ColorMode shown_colour = QPrinter::Color;
    EXPECT_FALSE(Select_Printer(second, nullptr, [&](QPrinter& p, QWidget*) {
        shown = p.pageLayout().orientation();
        shown_colour = p.colorMode();
        p.setPageOrientation(QPageLayout::Portrait);
        p.setColorMode(QPrinter::Color);
        return false;
    }));
    EXPECT_EQ(shown, QPageLayout::Landscape);
    EXPECT_EQ(shown_colour, QPrinter::GrayScale);

    // A print without the dialog uses the choice confirmed first.
    QPrinter third(QPrinter::HighResolution);
    Preset_current_printer(third);
    EXPECT_EQ(third.pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_EQ(third.colorMode(), QPrinter::GrayScale);
}

} // namespace
} // namespace veltro
