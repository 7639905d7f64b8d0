#pragma once

#include <QString>
#include <memory>
#include <string>

class QPrinter;
class QWidget;

namespace veltro {

// Where one print command prints: the installed printer (after the printer dialog when asked), or,
// when no printer is installed, a PDF file in the data folder named after the document and the
// time. Empty `printer` when the operator cancels the dialog.
struct PrintTarget {
    std::unique_ptr<QPrinter> printer;
    QString pdf_path; // set when printing to a PDF file
};
PrintTarget choose_print_target(QWidget* parent, const QString& document_name, bool show_dialog);
// When `target` went to a PDF file, tells the operator so, starting with the program's own words for a
// machine without a printer, spelling and all: "No printer availible, `what` printed
// to the file: " and the path.
void tell_if_printed_to_file(const PrintTarget& target, const std::string& what);

// Prints an image of `window` on one page at a small fixed offset, scaled down to the page when
// larger. False when painting could not start.
bool print_window_image(QWidget* window, QPrinter& printer);

} // namespace veltro
