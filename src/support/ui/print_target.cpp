#include "support/ui/print_target.h"

#include "support/app_paths.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/user_folders.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QPainter>
#include <QPicture>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>
#include <algorithm>
#include <filesystem>
#include <limits>

namespace veltro {

std::optional<PrinterChoice>& current_printer() {
    static std::optional<PrinterChoice> choice;
    return choice;
}

void preset_current_printer(QPrinter& printer) {
    const std::optional<PrinterChoice>& choice = current_printer();
    if (!choice)
        return;
    if (!QPrinterInfo::printerInfo(choice->printer_name).isNull())
        printer.setPrinterName(choice->printer_name);
    printer.setPageOrientation(choice->orientation);
    printer.setCopyCount(choice->copies);
    printer.setColorMode(choice->color_mode);
    printer.setDuplex(choice->duplex);
}

bool show_print_dialog(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool Select_Printer(QPrinter& printer, QWidget* parent, const PrintDialog& dialog) {
    preset_current_printer(printer);
    if (!dialog(printer, parent))
        return false;
    PrinterChoice choice;
    choice.printer_name = printer.printerName();
    choice.orientation = printer.pageLayout().orientation();
    choice.copies = printer.copyCount();
    choice.color_mode = printer.colorMode();
    // A PDF writer has no duplex; the setting would only follow the choice to the next real printer.
    choice.duplex = choice.printer_name.toUpper().contains("PDF") ? QPrinter::DuplexNone : printer.duplex();
    current_printer() = choice;
    return true;
}

namespace {
// A new file in the print folder, made when missing; in the data folder when it cannot be made.
std::string pdf_path_for(const std::string& document_name) {
    std::error_code ec;
    std::string folder = print_folder();
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) {
        Trace("*Print folder " + folder + " cannot be made: " + ec.message());
        folder = data_dir();
    }
    return free_file_path(folder, document_name, ".pdf");
}
} // namespace

PrintTarget choose_print_target(QWidget* parent, const QString& document_name, bool show_dialog,
                                const PrintDialog& dialog) {
    PrintTarget target;
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        target.printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        target.printer->setOutputFormat(QPrinter::PdfFormat);
        target.pdf_path = QString::fromStdString(pdf_path_for(document_name.toStdString()));
        target.printer->setOutputFileName(target.pdf_path);
        // Margins a printer would also keep, so the file prints as it shows.
        target.printer->setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        target.printer->setDocName(document_name);
        return target;
    }
    target.printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    target.printer->setDocName(document_name);
    if (show_dialog) {
        if (!Select_Printer(*target.printer, parent, dialog))
            target.printer.reset();
    } else {
        preset_current_printer(*target.printer);
    }
    return target;
}

bool printer_dialog_wanted() {
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier) ||
           Read_Setting(keys::show_printer_dialog) == "1";
}

void tell_if_printed_to_file(const PrintTarget& target, const std::string& what) {
    if (!target.pdf_path.isEmpty())
        the_operator().message("No printer available, " + what +
                               " printed to the file: " + target.pdf_path.toStdString());
}

void paint_window_contents(QWidget* contents, QPainter& painter, QPointF at, QSizeF room, bool grow) {
    // A widget rendered straight onto a printer arrives as one screen-resolution pixmap. Recorded as
    // painting commands first, its texts and lines reach the page as text and lines; QPainter plays
    // the recording back scaled from the screen's resolution to the device's.
    QPicture recording;
    {
        QPainter recorder(&recording);
        contents->render(&recorder, QPoint(), QRegion(),
                         QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    const double sx = painter.device()->logicalDpiX() / double(recording.logicalDpiX());
    const double sy = painter.device()->logicalDpiY() / double(recording.logicalDpiY());
    double fit = 1.0;
    if (!room.isEmpty())
        fit = std::min({grow ? std::numeric_limits<double>::max() : 1.0,
                        room.width() / (contents->width() * sx), room.height() / (contents->height() * sy)});
    painter.save();
    painter.translate(at);
    painter.scale(fit, fit);
    painter.drawPicture(0, 0, recording);
    painter.restore();
}

bool print_window_image(QWidget* window, QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    QWidget* contents = window;
    if (auto* main = qobject_cast<QMainWindow*>(window); main && main->centralWidget())
        contents = main->centralWidget();
    // 200 twips from the page's printable corner, as the program's other window prints.
    const double offset = printer.resolution() * 200.0 / 1440.0;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    paint_window_contents(contents, painter, QPointF(offset, offset),
                          QSizeF(page.width() - 2 * offset, page.height() - 2 * offset));
    return painter.end();
}

} // namespace veltro
