#include "support/ui/print_target.h"

#include "support/app_paths.h"
#include "support/operator.h"

#include <QDateTime>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>

namespace veltro {

PrintTarget choose_print_target(QWidget* parent, const QString& document_name, bool show_dialog) {
    PrintTarget target;
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        target.printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        target.printer->setOutputFormat(QPrinter::PdfFormat);
        target.pdf_path = QString::fromStdString(
            data_file(document_name.toStdString() + "_" +
                      QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss").toStdString() + ".pdf"));
        target.printer->setOutputFileName(target.pdf_path);
        // Margins a printer would also keep, so the file prints as it shows.
        target.printer->setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        target.printer->setDocName(document_name);
        return target;
    }
    target.printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    target.printer->setDocName(document_name);
    if (show_dialog) {
        QPrintDialog dialog(target.printer.get(), parent);
        if (dialog.exec() != QDialog::Accepted)
            target.printer.reset();
    }
    return target;
}

void tell_if_printed_to_file(const PrintTarget& target, const std::string& what) {
    if (!target.pdf_path.isEmpty())
        the_operator().message("No printer availible, " + what +
                               " printed to the file: " + target.pdf_path.toStdString());
}

bool print_window_image(QWidget* window, QPrinter& printer) {
    const QPixmap image = window->grab();
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // 200 twips from the page's printable corner, as the program's other window prints.
    const double offset = printer.resolution() * 200.0 / 1440.0;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    QSizeF size(image.width() * printer.resolution() / double(window->logicalDpiX()),
                image.height() * printer.resolution() / double(window->logicalDpiY()));
    size.scale(size.boundedTo(QSizeF(page.width() - 2 * offset, page.height() - 2 * offset)),
               Qt::KeepAspectRatio);
    painter.drawPixmap(QRectF(QPointF(offset, offset), size), image, image.rect());
    return painter.end();
}

} // namespace veltro
