#include "support/ui/veltro_debug_form.h"

#include "support/system_info.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/ui/print_target.h"
#include "support/ui/run_trapped.h"
#include "support/veltro_error.h"

#include <QApplication>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace veltro {

namespace {

std::string location(const char* procedure) {
    return std::string(procedure) + " of Form Veltro_debug_form";
}

QFont fixed_font(int points) {
    QFont font("Courier New", points);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

} // namespace

std::string debug_print_text(const std::string& now, const std::string& computer, const std::string& printer,
                             const std::string& contents) {
    return "Veltro file properties at " + now + "\nComputer = " + computer + " Printer : " + printer +
           "\n\n\n" + contents;
}

Veltro_debug_form::Veltro_debug_form(QWidget* parent) : QWidget(parent) {
    setObjectName("Veltro_debug_form");
    setWindowTitle("Veltro debug");
    text_ = new QPlainTextEdit;
    text_->setObjectName("Text_debug");
    text_->setFont(fixed_font(10));
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* menus = new QMenuBar;
    QMenu* form = menus->addMenu("Form");
    form->setObjectName("mnu_form");
    QAction* print = form->addAction("Print");
    print->setObjectName("item_print");
    connect(print, &QAction::triggered, this,
            trapped(location("item_print_Click"), [this] { item_print_click(); }));
    QAction* hide = form->addAction("Hide");
    hide->setObjectName("item_hide");
    connect(hide, &QAction::triggered, this,
            trapped(location("item_hide_Click"), [this] { item_hide_click(); }));

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menus);
    layout->addWidget(text_);
    resize(640, 520);
}

void Veltro_debug_form::show_text(const std::string& text) {
    text_->setPlainText(QString::fromStdString(text));
}

std::string Veltro_debug_form::text() const {
    return text_->toPlainText().toStdString();
}

void Veltro_debug_form::item_print_click() {
    PrintTarget target = choose_print_target(this, "Veltro_debug", false);
    if (!target.printer)
        return;
    QPrinter& printer = *target.printer;
    const std::string printer_name =
        target.pdf_path.isEmpty() ? printer.printerName().toStdString() : target.pdf_path.toStdString();
    const QString document = QString::fromStdString(
        debug_print_text(now_default_datetime(), system_computer_name(), printer_name, text()));

    QPainter painter;
    if (!painter.begin(&printer))
        throw VeltroError(err::kPrinterError, "Printer error: the debug text could not be printed");
    painter.setFont(QFont(fixed_font(14), &printer));
    const int line_height = painter.fontMetrics().lineSpacing();
    const QRect page = painter.viewport();
    int y = painter.fontMetrics().ascent();
    for (const QString& line : document.split('\n')) {
        if (y > page.height() && y > line_height) {
            printer.newPage();
            y = painter.fontMetrics().ascent();
        }
        painter.drawText(0, y, line);
        y += line_height;
    }
    if (!painter.end())
        throw VeltroError(err::kPrinterError, "Printer error: the debug text could not be printed");
    tell_if_printed_to_file(target, "the debug text is");
}

void Veltro_debug_form::item_hide_click() {
    Trace("Veltro_debug_form hidden");
    close();
}

} // namespace veltro
