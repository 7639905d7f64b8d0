#include "events/ui/results_print.h"

#include "support/veltro_error.h"
#include "timing/close_finish.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

namespace veltro {
namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// Column starts as parts of the page width: rank, box, dog, split, time, distance, dead heat.
constexpr double kColumnAt[ResultsDocument::kColumns] = {0.0, 0.07, 0.14, 0.52, 0.64, 0.76, 0.86};

struct Fonts {
    QFont title{"Arial", 18, QFont::Bold};
    QFont heading{"Arial", 11};
    QFont table{"Arial", 11};
    QFont table_head{"Arial", 11, QFont::Bold};
    QFont small{"Arial", 8};
};

// Draws `text` with its top at `y` (or only measures it, without `draw`); the next line's top.
double text_line(QPainter& painter, const QFont& font, double x, double y, const QString& text,
                 bool draw = true) {
    const QFontMetricsF m(font, painter.device());
    if (draw) {
        painter.setFont(font);
        painter.drawText(QPointF(x, y + m.ascent()), text);
    }
    return y + m.lineSpacing();
}

// The title, heading lines and column names; the top of the first row.
double heading(QPainter& painter, const Fonts& f, const ResultsDocument& d, double width, bool draw) {
    double y = text_line(painter, f.title, 0, 0, qs(d.title), draw);
    for (const std::string& line : d.heading)
        y = text_line(painter, f.heading, 0, y, qs(line), draw);
    y += QFontMetricsF(f.heading, painter.device()).lineSpacing() / 2;
    for (std::size_t c = 0; c < ResultsDocument::kColumns; ++c)
        text_line(painter, f.table_head, kColumnAt[c] * width, y, qs(d.table.front()[c]), draw);
    return y + QFontMetricsF(f.table_head, painter.device()).lineSpacing() * 1.2;
}

} // namespace

void paint_results_document(QPainter& painter, QPrinter& printer, const ResultsDocument& d,
                            const QString& printed_by) {
    const Fonts f;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double width = page.width();
    const double row_height = QFontMetricsF(f.table, &printer).lineSpacing() * 1.2;
    const double small_height = QFontMetricsF(f.small, &printer).lineSpacing();
    const double foot = page.height() - 3 * small_height;
    // Rows per page: what fits between the heading and the warnings above the foot.
    const double head_height = heading(painter, f, d, width, false);
    const double room = foot - head_height - (static_cast<double>(d.warnings.size()) + 1) * row_height;
    const auto per_page = std::max<std::size_t>(1, static_cast<std::size_t>(room / row_height));
    const std::size_t rows = d.table.size() - 1;
    const int pages = static_cast<int>(std::max<std::size_t>(1, (rows + per_page - 1) / per_page));
    for (int p = 0; p < pages; ++p) {
        if (p > 0 && !printer.newPage())
            throw VeltroError(err::kPrinterError, "Printer error: the results could not be printed");
        double y = heading(painter, f, d, width, true);
        const std::size_t first = 1 + static_cast<std::size_t>(p) * per_page;
        for (std::size_t r = first; r < std::min(d.table.size(), first + per_page); ++r) {
            for (std::size_t c = 0; c < ResultsDocument::kColumns; ++c) {
                const double right = c + 1 < ResultsDocument::kColumns ? kColumnAt[c + 1] * width : width;
                const QString text =
                    QFontMetricsF(f.table, painter.device())
                        .elidedText(qs(d.table[r][c]), Qt::ElideRight, right - kColumnAt[c] * width);
                text_line(painter, f.table, kColumnAt[c] * width, y, text);
            }
            y += row_height;
        }
        if (p == pages - 1) {
            painter.setPen(QColor(kCloseFinishColour.r, kCloseFinishColour.g, kCloseFinishColour.b));
            for (const std::string& warning : d.warnings)
                y = text_line(painter, f.heading, 0, y + row_height / 4, qs(warning));
            painter.setPen(Qt::black);
        }
        text_line(painter, f.small, 0, foot, printed_by);
        text_line(painter, f.small, 0, foot + small_height, qs(page_footer(d, p + 1, pages)));
    }
}

} // namespace veltro
