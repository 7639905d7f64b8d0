#pragma once

#include <QWidget>
#include <string>

class QPlainTextEdit;

namespace veltro {

// The page "Print" of the debug text window prints: "Veltro file properties at " + `now`, "Computer = "
// + computer + " Printer : " + printer, two empty lines, then the window's text.
std::string debug_print_text(const std::string& now, const std::string& computer, const std::string& printer,
                             const std::string& contents);

// Veltro_debug_form ("Veltro debug"): a fixed-pitch text area the main window fills with diagnostic
// dumps, such as the properties of the open recording. "Form" / "Print" prints it, "Hide" closes it.
class Veltro_debug_form : public QWidget {
    Q_OBJECT
public:
    explicit Veltro_debug_form(QWidget* parent = nullptr);

    void show_text(const std::string& text);
    std::string text() const;
    QPlainTextEdit* text_area() const { return text_; }

    void item_print_click();
    void item_hide_click();

private:
    QPlainTextEdit* text_ = nullptr;
};

} // namespace veltro
