#include "support/ui/qt_operator.h"

#include "support/app_paths.h"

#include <QApplication>
#include <QDesktopServices>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace veltro {
namespace {

QString title_or_program(const std::string& title) {
    return QString::fromStdString(title.empty() ? std::string(kProgramId) : title);
}

QMessageBox::Icon qt_icon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Message texts use "\r\n" line breaks; Qt wants "\n".
QString text_of(const std::string& text) {
    return QString::fromStdString(text).replace("\r\n", "\n");
}

// True when the operator answers `yes`; Enter gives `default_button`.
bool ask(const std::string& text, const std::string& title, QMessageBox::StandardButtons buttons,
         QMessageBox::StandardButton yes, QMessageBox::StandardButton default_button) {
    QMessageBox box(QMessageBox::Question, title_or_program(title), text_of(text), buttons,
                    QApplication::activeWindow());
    box.setDefaultButton(default_button);
    return box.exec() == yes;
}

} // namespace

void QtOperator::beep() {
    QApplication::beep();
}

void QtOperator::message(const std::string& text, MsgIcon icon, const std::string& title) {
    QMessageBox box(qt_icon(icon), title_or_program(title), text_of(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

bool QtOperator::ask_ok_cancel(const std::string& text, const std::string& title) {
    // Both OK/Cancel questions (abort the heat, clear all results) undo work: Enter must not confirm.
    return ask(text, title, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Cancel);
}

bool QtOperator::ask_yes_no(const std::string& text, const std::string& title) {
    return ask(text, title, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::Yes);
}

std::optional<std::string> QtOperator::input_box(const std::string& prompt, const std::string& title,
                                                 const std::string& default_text) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(QApplication::activeWindow(), title_or_program(title), text_of(prompt),
                              QLineEdit::Normal, QString::fromStdString(default_text), &ok);
    if (!ok)
        return std::nullopt;
    return answer.toStdString();
}

void QtOperator::process_events() {
    QApplication::processEvents();
}

bool QtOperator::open_document(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

} // namespace veltro
