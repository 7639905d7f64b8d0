// The program's current printer, and windows printed at the printer's resolution.
#include "poppler.h"
#include "support/ui/print_target.h"
#include "temp_dir.h"

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPrinter>
#include <QRegularExpression>
#include <QVBoxLayout>
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
    preset_current_printer(third);
    EXPECT_EQ(third.pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_EQ(third.colorMode(), QPrinter::GrayScale);
}

// A window printed to a PDF file keeps its texts as text, where the window shows them and at the
// window's size on paper; the menu bar is not printed.
TEST(WindowPrint, TextsAreSelectableAtTheirPlaceAndTheMenuBarIsLeftOut) {
    if (!testing::poppler_present())
        GTEST_SKIP() << "pdftotext not installed";
    QMainWindow window;
    window.menuBar()->addMenu("Menubartext");
    auto* contents = new QWidget;
    auto* layout = new QVBoxLayout(contents);
    auto* label = new QLabel("Selectablelabel");
    layout->addWidget(label);
    layout->addWidget(new QLineEdit("Editedtext"));
    window.setCentralWidget(contents);
    window.resize(400, 200);
    window.show();

    const testing::TempDir dir;
    const std::string pdf = dir.file("window.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    ASSERT_TRUE(print_window_image(&window, printer));

    const QString words = QString::fromStdString(testing::run("pdftotext -bbox '" + pdf + "' -"));
    EXPECT_TRUE(words.contains(">Editedtext<"));
    EXPECT_FALSE(words.contains("Menubartext"));
    const QRegularExpression box(
        R"re(xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">Selectablelabel<)re");
    const auto found = box.match(words);
    ASSERT_TRUE(found.hasMatch()) << words.toStdString();

    // A screen pixel is 3/4 of a point on paper; the window starts 10 points inside the printable area.
    const QRectF printable = printer.pageLayout().paintRect(QPageLayout::Point);
    const QRect shown(label->mapTo(contents, QPoint()), label->size());
    const double x = found.captured(1).toDouble(), y = found.captured(2).toDouble();
    const double width = found.captured(3).toDouble() - x, height = found.captured(4).toDouble() - y;
    const double text_width = label->fontMetrics().horizontalAdvance(label->text()) * 0.75;
    EXPECT_NEAR(width, text_width, text_width * 0.1);
    EXPECT_NEAR(height, label->fontMetrics().height() * 0.75, 3.0);
    EXPECT_NEAR(x, printable.left() + 10 + shown.left() * 0.75, 3.0);
    EXPECT_NEAR(y + height / 2, printable.top() + 10 + (shown.top() + shown.height() / 2.0) * 0.75, 3.0);
}

} // namespace
} // namespace veltro
