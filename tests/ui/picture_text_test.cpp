// Names drawn into pictures by the core, set beside the same names drawn by Qt's own text engine from
// the same font file: accents and apostrophes come out as typed.
#include "picture/font_text.h"
#include "review/ui/picture_box.h"

#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace veltro {
namespace {

constexpr int kLine = 48;

QImage core_drawn(const std::string& name, const std::string& font) {
    cDIBSection dib;
    dib.Create(400, kLine);
    draw_text(dib, {0, 0, 400, kLine}, {name}, 0xFFFFFF, kLine, font);
    return to_qimage(dib).convertToFormat(QImage::Format_Grayscale8);
}

// Qt's drawing at the same em and on the same baseline as the core's.
QImage qt_drawn(const QString& name, const QString& family) {
    QImage image(400, kLine, QImage::Format_Grayscale8);
    image.fill(Qt::black);
    QFont font(family);
    font.setPixelSize(kLine * 3 / 4);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const int cap = QFontMetrics(font).ascent() * 3 / 4;
    painter.drawText(0, (kLine + cap) / 2, name);
    return image;
}

double mean_difference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    return sum / (a.width() * a.height());
}

TEST(PictureText, AccentedNamesAreDrawnAsTypedInTheRealFont) {
    const std::string font = picture_font_path();
    if (font.empty())
        GTEST_SKIP() << "no DejaVu Sans on this machine (fonts-dejavu-core)";
    const int id = QFontDatabase::addApplicationFont(QString::fromStdString(font));
    ASSERT_GE(id, 0);
    const QString family = QFontDatabase::applicationFontFamilies(id).at(0);
    for (const char* text : {"Señorita", "Zoë", "O'Brien", "SWIFT SEÑORITA"}) {
        const std::string name = text;
        const QImage real = core_drawn(name, font);
        const QImage fallback = core_drawn(name, {});
        const QImage reference = qt_drawn(QString::fromStdString(name), family);
        const double to_real = mean_difference(real, reference);
        const double to_fallback = mean_difference(fallback, reference);
        EXPECT_GT(mean_difference(real, fallback), 5.0) << name;
        // Hinting and rounding may move an edge by a pixel; a missing letter or accent costs far more.
        EXPECT_LT(to_real, to_fallback / 3) << name << ": " << to_real << " against " << to_fallback;
        if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR"))
            real.save(QString("%1/picture_text_%2.png").arg(shots).arg(QString::fromStdString(name).left(3)));
    }
    // The core's font file is the one fontconfig names for the family.
    EXPECT_NE(font.find("DejaVuSans"), std::string::npos) << font;
}

TEST(PictureText, TheFallbackWritesCapitalsAndAnUnreadableFontFallsBack) {
    EXPECT_EQ(mean_difference(core_drawn("Zoe", {}), core_drawn("ZOE", {})), 0.0);
    EXPECT_EQ(mean_difference(core_drawn("Zoe", "/nonexistent/font.ttf"), core_drawn("ZOE", {})), 0.0);
    EXPECT_GT(text_width("Zoë", kLine, {}), 0);
}

} // namespace
} // namespace veltro
