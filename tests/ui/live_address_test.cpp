// The live results' address as a QR code, and the status bar label that shows it in a window.
#include "results/ui/live_address.h"

#include <QApplication>
#include <QPixmap>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <zbar.h>

namespace veltro {
namespace {

// The QR codes a reader finds in `picture`, read with ZBar as a phone's camera app would.
std::vector<std::string> qr_codes_in(const QImage& picture) {
    const QImage gray = picture.convertToFormat(QImage::Format_Grayscale8);
    const int width = gray.width();
    const int height = gray.height();
    std::vector<unsigned char> packed(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        std::memcpy(packed.data() + static_cast<std::size_t>(y) * width, gray.constScanLine(y), width);
    zbar::ImageScanner scanner;
    scanner.set_config(zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    scanner.set_config(zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::Image image(width, height, "Y800", packed.data(), packed.size());
    scanner.scan(image);
    std::vector<std::string> found;
    for (auto symbol = image.symbol_begin(); symbol != image.symbol_end(); ++symbol)
        found.push_back(symbol->get_data());
    return found;
}

TEST(LiveAddress, TheCodeReadsBackAsTheTextInsideFourWhiteModules) {
    const QString long_text = "http://192.168.1.20:8080/?" + QString(2200, 'x');
    for (const QString& text : {QString("http://192.168.1.20:8080/"),
                                QString("http://10.0.0.5:65535/speaker?token=Ab-c.d_e~9"), long_text}) {
        for (const int module : {3, 8}) {
            SCOPED_TRACE(text.left(40).toStdString() + " at " + std::to_string(module) + " px");
            const QImage code = qr_code_image(text, module);
            ASSERT_FALSE(code.isNull());
            EXPECT_EQ(qr_codes_in(code), std::vector<std::string>{text.toStdString()});
            // Whole modules; white up to four modules in, where the finder pattern's dark corner begins.
            EXPECT_EQ(code.width() % module, 0);
            const int quiet = 4 * module;
            for (int i = 0; i < code.width(); ++i) {
                for (const int edge : {0, quiet - 1, code.width() - quiet, code.width() - 1}) {
                    ASSERT_EQ(qGray(code.pixel(i, edge)), 255) << i << "," << edge;
                    ASSERT_EQ(qGray(code.pixel(edge, i)), 255) << edge << "," << i;
                }
            }
            EXPECT_EQ(qGray(code.pixel(quiet, quiet)), 0);
            EXPECT_EQ(qGray(code.pixel(code.width() - quiet - 1, quiet)), 0);
        }
    }
    // More than the largest symbol holds, nothing, or no pixels: no image.
    EXPECT_TRUE(qr_code_image(QString(3000, 'x'), 8).isNull());
    EXPECT_TRUE(qr_code_image("", 8).isNull());
    EXPECT_TRUE(qr_code_image("http://192.168.1.20:8080/", 0).isNull());
}

TEST(LiveAddress, AClickOnTheLabelOpensOneLastingWindowWithTheCodeAndTheAddress) {
    const QString address = "http://192.168.1.20:8080/";
    LiveAddressLabel label(address);
    label.show();
    EXPECT_EQ(label.objectName(), "Label_live_results");
    EXPECT_EQ(label.text(), "Live results: " + address);
    EXPECT_EQ(label.findChild<QWidget*>("Form_live_results"), nullptr);

    QTest::mouseClick(&label, Qt::LeftButton);
    auto* window = label.findChild<QWidget*>("Form_live_results");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->windowTitle(), "Live results");
    EXPECT_EQ(window->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    const auto* code = window->findChild<QLabel*>("Picture_live_results_code");
    ASSERT_NE(code, nullptr);
    const QPixmap shown = code->pixmap();
    EXPECT_EQ(qr_codes_in(shown.toImage()), std::vector<std::string>{address.toStdString()});
    // At least 8 screen pixels a module: read from arm's length.
    EXPECT_GE(shown.deviceIndependentSize().width(), 8 * qr_code_image(address, 1).width());
    const auto* text = window->findChild<QLabel*>("Label_live_results_address");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), address);
    EXPECT_TRUE(text->textInteractionFlags() & Qt::TextSelectableByMouse);

    // Closed and clicked again: the same window, showing a new address once the server moved.
    window->close();
    label.set_address("http://10.0.0.5:8081/");
    EXPECT_EQ(label.text(), "Live results: http://10.0.0.5:8081/");
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(label.findChildren<QWidget*>("Form_live_results"), QList<QWidget*>{window});
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(qr_codes_in(code->pixmap().toImage()), std::vector<std::string>{"http://10.0.0.5:8081/"});
    EXPECT_EQ(text->text(), "http://10.0.0.5:8081/");
}

} // namespace
} // namespace veltro
