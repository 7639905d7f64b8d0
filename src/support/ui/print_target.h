#pragma once

#include <QPageLayout>
#include <QPrinter>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QPainter;
class QWidget;

namespace veltro {

// Where one print command prints: the installed printer (after the printer dialog when asked), or,
// when no printer is installed, a new PDF file in the print folder named after the document (never
// over an earlier one). Empty `printer` when the operator cancels the dialog.
struct PrintTarget {
    std::unique_ptr<QPrinter> printer;
    QString pdf_path; // set when printing to a PDF file
};
// The platform's print dialog over `parent`, on `printer`: true when the operator confirms.
using PrintDialog = std::function<bool(QPrinter& printer, QWidget* parent)>;
bool show_print_dialog(QPrinter& printer, QWidget* parent);

// Whether a print asks for the printer first: Alt held, or "Show printer dialog on Print commands"
// ticked in the settings.
bool printer_dialog_wanted();

PrintTarget choose_print_target(QWidget* parent, const QString& document_name, bool show_dialog,
                                const PrintDialog& dialog = show_print_dialog);

// The program's current printer: the printer and page settings last confirmed in a print dialog, for
// every print command that follows. None until a dialog is confirmed: the system's default printer.
struct PrinterChoice {
    QString printer_name;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    int copies = 1;
    QPrinter::ColorMode color_mode = QPrinter::Color;
    QPrinter::DuplexMode duplex = QPrinter::DuplexNone;
};
std::optional<PrinterChoice>& current_printer();
// Sets `printer` to the current printer, when it is still installed, and to its page settings.
void preset_current_printer(QPrinter& printer);
// Select_Printer: the print dialog on `printer`, preset with the current printer. Confirmed, the
// printer and settings chosen become the current printer (a printer whose name says "PDF" keeps no
// duplex setting); cancelled, the current printer stays. True when confirmed.
bool Select_Printer(QPrinter& printer, QWidget* parent, const PrintDialog& dialog = show_print_dialog);
// When `target` went to a PDF file, tells the operator so, starting with the program's own words for a
// machine without a printer: "No printer available, `what` printed
// to the file: " and the path.
void tell_if_printed_to_file(const PrintTarget& target, const std::string& what);

// Paints `contents` (a window's contents: for a main window its central widget, so no menu bar) with
// `painter` at the device's own resolution, its top left corner at `at` (device pixels): text stays
// text and lines stay sharp, unlike a copy of the screen's pixels. Scaled down to `room` when larger
// (an empty `room` never scales down), and with `grow` also up to fill it.
void paint_window_contents(QWidget* contents, QPainter& painter, QPointF at, QSizeF room = {},
                           bool grow = false);

// Prints `window`'s contents on one page at a small fixed offset, scaled down to the page when
// larger. False when painting could not start.
bool print_window_image(QWidget* window, QPrinter& printer);

} // namespace veltro
