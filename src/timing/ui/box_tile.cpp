#include "timing/ui/box_tile.h"

#include "timing/result_ranking.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPalette>

namespace veltro {

QColor qcolor(const Rgb& c) {
    return QColor(c.r, c.g, c.b);
}

QColor bgr_colour(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

namespace {

QFont tile_font(int points) {
    QFont font("Arial");
    font.setBold(true);
    font.setPointSize(points);
    return font;
}

} // namespace

QPixmap box_tile_pixmap(QSize size, std::int16_t box) {
    QPixmap tile(size.expandedTo(QSize(1, 1)));
    const QColor face = QApplication::palette().color(QPalette::Button);
    tile.fill(face);
    const std::optional<BoxTile> colours = box_tile_colours(box);
    if (!colours) {
        return tile;
    }
    QPainter painter(&tile);
    const int points = box_tile_font_size(
        tile.height(), [&](int pt) { return QFontMetrics(tile_font(pt), &tile).height(); });
    painter.fillRect(tile.rect(), qcolor(colours->background));
    const QColor shadow = QApplication::palette().color(QPalette::Dark);
    for (const TileBand& band : colours->button_shadow_bands) {
        const int top = static_cast<int>(band.from * tile.height());
        const int bottom = static_cast<int>(band.to * tile.height());
        painter.fillRect(QRect(0, top, tile.width(), bottom - top), shadow);
    }
    painter.setFont(tile_font(points));
    painter.setPen(qcolor(colours->number));
    painter.drawText(tile.rect(), Qt::AlignLeft | Qt::AlignTop, QString::number(box));
    return tile;
}

void Paint_box(QLabel* picture, std::int16_t box) {
    picture->setPixmap(box_tile_pixmap(picture->size(), box));
}

int Max_Font(const QString& text, const QFont& font, QSize box) {
    QFont f = font;
    for (int points = 110; points > 8; --points) {
        f.setPointSize(points);
        const QFontMetrics metrics(f);
        if (metrics.horizontalAdvance(text) <= box.width() && metrics.height() <= box.height()) {
            return points;
        }
    }
    return 8;
}

} // namespace veltro
