#pragma once

#include "support/error_report.h"

#include <QWidget>
#include <functional>

class QLabel;
class QPrinter;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace veltro {

// The error report window: the failure, where it happened and facts about the PC, a comment field,
// and the ways to pass the report on. Not modal and on top of the other windows; created on the
// first failure and reused for every later one.
class PXV_error_form : public QWidget {
    Q_OBJECT
public:
    explicit PXV_error_form(QWidget* parent = nullptr);

    // Fills the fixed labels from the process facts.
    void PXV_Error_Initialize();
    // Clears the report and brings the form up on top.
    void show_cleared();
    // Shows the report lines (line 1 up to the first empty line).
    void show_report(const ReportLines& lines);

    QString report_text() const;
    QString comment() const;
    void set_comment(const QString& text);

    // What "Exit program" does; by default the process ends at once without saving anything.
    static void set_exit_action(std::function<void()> action);

    // The buttons' actions.
    void command_continue_click();
    void command_exit_click();
    void command_save_log_click();
    void command_send_mail_click();
    void command_print_click();
    void command_copy_click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void print_report(QPrinter& printer);

    QLabel* title_ = nullptr;
    QLabel* pc_ = nullptr;
    QLabel* windows_ = nullptr;
    QLabel* report_ = nullptr;
    QPlainTextEdit* comment_ = nullptr;
    QProgressBar* progress_ = nullptr;
    ReportLines lines_;
};

// Keeps `window` above all windows that are not on top themselves, without moving or sizing it.
void MakeTopMost(QWidget* window);

// Installs the error form as the window of every error report; the form itself is created on the
// first failure.
void install_error_form();
// The error form once a failure has created it, else nullptr.
PXV_error_form* error_form();

} // namespace veltro
