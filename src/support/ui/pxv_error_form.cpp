#include "support/ui/pxv_error_form.h"

#include "support/app_paths.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/trace.h"
#include "support/ui/print_target.h"
#include "support/ui/run_trapped.h"
#include "support/veltro_error.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdlib>

namespace veltro {
namespace {

constexpr const char* kOwner = " of Form PXV_error_form";

std::function<void()>& exit_action() {
    static std::function<void()> action = [] {
        Trace("*PXV_error_form Exit program");
        trace_shutdown();
        std::_Exit(EXIT_FAILURE);
    };
    return action;
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string location(const char* procedure) {
    return std::string(procedure) + kOwner;
}

QPointer<PXV_error_form>& the_form() {
    static QPointer<PXV_error_form> form;
    return form;
}

class ErrorFormView final : public ErrorReportView {
public:
    void show_form() override {
        if (!the_form()) {
            the_form() = new PXV_error_form;
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, the_form(),
                             [] { delete the_form().data(); });
        }
        the_form()->show_cleared();
    }
    void show_report(const ReportLines& lines) override {
        if (the_form())
            the_form()->show_report(lines);
    }
};

} // namespace

PXV_error_form::PXV_error_form(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("PXV_error_form");
    Trace("*Form_Load, begin ", "PXV_error_form");

    title_ = new QLabel;
    title_->setObjectName("Lbl_title");
    QFont big = title_->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title_->setFont(big);

    pc_ = new QLabel;
    pc_->setObjectName("Lbl_PC");
    windows_ = new QLabel;
    windows_->setObjectName("Lbl_Windows");
    for (QLabel* l : {pc_, windows_}) {
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->setWordWrap(true);
    }

    report_ = new QLabel;
    report_->setObjectName("Lbl_report");
    report_->setWordWrap(true);
    report_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    report_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    report_->setMargin(6);
    auto* report_area = new QScrollArea;
    report_area->setWidget(report_);
    report_area->setWidgetResizable(true);
    report_area->setBackgroundRole(QPalette::Base);
    report_area->setMinimumHeight(190);

    auto* comment_label = new QLabel("Enter your comments here");
    comment_ = new QPlainTextEdit;
    comment_->setObjectName("Text_comment");
    comment_->setTabChangesFocus(true);
    comment_label->setBuddy(comment_);
    comment_->setMinimumHeight(80);

    progress_ = new QProgressBar;
    progress_->setObjectName("ProgressBar");
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->hide();

    auto button = [this](const char* name, const char* caption, void (PXV_error_form::*action)(),
                         const char* procedure) {
        auto* b = new QPushButton(caption);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this,
                trapped(location(procedure), [this, action] { (this->*action)(); }));
        return b;
    };
    QPushButton* cont = button("Command_continue", "Continue", &PXV_error_form::command_continue_click,
                               "Command_continue_Click");
    QPushButton* save = button("Command_save_log", "Save in log file",
                               &PXV_error_form::command_save_log_click, "Command_save_log_Click");
    QPushButton* mail = button("Command_send_mail", "Send mail", &PXV_error_form::command_send_mail_click,
                               "Command_send_mail_Click");
    QPushButton* print =
        button("Command_print", "Print report", &PXV_error_form::command_print_click, "Command_print_Click");
    QPushButton* copy = button("Command_copy", "Copy form to clipboard", &PXV_error_form::command_copy_click,
                               "Command_copy_Click");
    QPushButton* quit =
        button("Command_exit", "Exit program", &PXV_error_form::command_exit_click, "Command_exit_Click");
    cont->setDefault(true);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {cont, save, mail, print, copy})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(quit);

    auto* facts = new QFrame;
    facts->setFrameShape(QFrame::StyledPanel);
    auto* facts_layout = new QVBoxLayout(facts);
    facts_layout->addWidget(pc_);
    facts_layout->addWidget(windows_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addWidget(facts);
    layout->addWidget(report_area, 3);
    layout->addWidget(comment_label);
    layout->addWidget(comment_, 1);
    layout->addWidget(progress_);
    layout->addLayout(buttons);

    PXV_Error_Initialize();
    MakeTopMost(this);
    resize(820, 560);
    Trace("*Form_Load, end ", "PXV_error_form");
}

void PXV_error_form::PXV_Error_Initialize() {
    const ProcessFacts& f = process_facts();
    setWindowTitle(qs(std::string(kProgramId) + " error"));
    title_->setText(qs(std::string(kProgramId) + " error report"));
    pc_->setText(qs(f.computer_name + " " + f.cpu_info + " Ram: " + f.physical_memory));
    windows_->setText(qs(f.os_version + "\n" + "CPU = " + f.cpu_bitness + " OS = " + f.os_bitness));
}

void PXV_error_form::closeEvent(QCloseEvent* event) {
    // Closing only hides the form: the next failure shows it again.
    QWidget::closeEvent(event);
    Trace("*PXV_error_form Form_QueryUnload,end");
}

void PXV_error_form::show_cleared() {
    Clear_Text_Array();
    lines_ = report_lines();
    report_->clear();
    progress_->hide();
    show();
    raise();
    activateWindow();
}

void PXV_error_form::show_report(const ReportLines& lines) {
    lines_ = lines;
    report_->clear();
    // The label takes the lines one by one, is redrawn, and gets one more line break.
    QString text;
    for (const auto& line : report_body(lines))
        text += qs(line) + "\n";
    report_->setText(text);
    report_->repaint();
    report_->setText(text + "\n");
}

QString PXV_error_form::report_text() const {
    return report_->text();
}

QString PXV_error_form::comment() const {
    return comment_->toPlainText();
}

void PXV_error_form::set_comment(const QString& text) {
    comment_->setPlainText(text);
}

void PXV_error_form::set_exit_action(std::function<void()> action) {
    exit_action() = std::move(action);
}

void PXV_error_form::command_continue_click() {
    hide();
}

void PXV_error_form::command_exit_click() {
    exit_action()();
}

void PXV_error_form::command_save_log_click() {
    const std::string path = error_log_path();
    try {
        append_error_log(path, lines_, comment().toStdString());
    } catch (const VeltroError& e) {
        // Reported here rather than through the handler, which would replace the report being saved.
        Trace("*PXV_error_form save log failed", e.number(), e.description());
        the_operator().message(e.description(), MsgIcon::Critical, " PXV Error");
        return;
    }
    the_operator().message("Error info appended to file: " + path);
}

void PXV_error_form::command_send_mail_click() {
    const std::string url = error_mail_url(read_support_contacts().email, lines_, comment().toStdString());
    QDesktopServices::openUrl(QUrl(qs(url), QUrl::StrictMode));
}

void PXV_error_form::command_print_click() {
    PrintTarget target = choose_print_target(this, qs(std::string(kProgramId) + "_error_report"), true);
    if (!target.printer)
        return;
    print_report(*target.printer);
    progress_->setValue(0);
    progress_->show();
    for (int step = 1; step <= 100; ++step) {
        progress_->setValue(step);
        QApplication::processEvents();
        QThread::msleep(5);
    }
    tell_if_printed_to_file(target, "the report is");
}

void PXV_error_form::print_report(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer))
        throw VeltroError(err::kPrinterError, "Printer error: the report could not be printed");
    const double dpi = printer.resolution();
    const QRectF page =
        printer.pageLayout()
            .paintRectPixels(printer.resolution())
            .translated(-printer.pageLayout().paintRectPixels(printer.resolution()).topLeft());
    const double margin = dpi * 100.0 / 1440.0;
    double y = margin;
    for (const PrintLine& line :
         error_print_lines(lines_, comment().toStdString(), read_support_contacts())) {
        QFont font("Liberation Sans");
        font.setPointSize(line.point_size);
        font.setBold(line.bold);
        painter.setFont(font);
        const QFontMetricsF metrics(font, &printer);
        const QRectF box(margin, y, page.width() - 2 * margin, page.height());
        QRectF used = painter.boundingRect(box, Qt::TextWordWrap, qs(line.text));
        if (line.text.empty())
            used.setHeight(metrics.lineSpacing());
        if (y + used.height() > page.height() - margin && y > margin) {
            printer.newPage();
            y = margin;
            used.moveTop(y);
        }
        painter.drawText(QRectF(margin, y, box.width(), used.height()), Qt::TextWordWrap, qs(line.text));
        y += used.height();
    }
    painter.end();
}

void PXV_error_form::command_copy_click() {
    auto* mime = new QMimeData;
    QString text;
    for (const auto& line : report_body(lines_))
        text += qs(line) + "\n";
    text += comment() + "\n";
    mime->setText(text);
    mime->setImageData(grab().toImage());
    QApplication::clipboard()->setMimeData(mime);
}

void MakeTopMost(QWidget* window) {
    const bool shown = window->isVisible();
    const QRect place = window->geometry();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (shown) {
        // Changing the flags hides the window; bring it back where it was.
        window->setGeometry(place);
        window->show();
    }
}

void install_error_form() {
    static ErrorFormView view;
    install_error_report_view(&view);
}

PXV_error_form* error_form() {
    return the_form().data();
}

} // namespace veltro
