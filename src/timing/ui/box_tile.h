#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <cstdint>

class QLabel;

namespace veltro {

struct Rgb;

// The program's colours on screen: a box colour, and a 0xBBGGRR value (blue in the high byte).
QColor qcolor(const Rgb& c);
QColor bgr_colour(std::uint32_t bgr);

// The box-number tile of `size` for `box`: its colours, box 6's two bands, the number at the top
// left in bold "Arial" shrunk from 64 points until it fits. Boxes outside 1..6 give a blank tile.
QPixmap box_tile_pixmap(QSize size, std::int16_t box);

// Paint_box: paints the tile into `picture` (a label used as a picture box) at the label's size; the
// tile stays as the label's picture.
void Paint_box(QLabel* picture, std::int16_t box);

// Max_Font: the largest point size, from 110 down to 8, at which `text` in `font` fits into `box`.
int Max_Font(const QString& text, const QFont& font, QSize box);

} // namespace veltro
