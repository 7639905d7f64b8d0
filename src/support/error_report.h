#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

namespace veltro {

// The error report: what the program shows, logs, mails and prints when a procedure fails.

// The report's text array: lines 1 to 20 (index 0 to 19); an empty line ends the report.
using ReportLines = std::array<std::string, 20>;

// The report lines of the one error form.
ReportLines& report_lines();
void Clear_Text_Array();

// Everything the seven report lines are made of.
struct FailureFacts {
    std::string description;
    std::int16_t number = 0;
    std::int32_t line = 0;
    std::string location; // "Set_Time of Form Form_Veltro"
    std::string info;     // procedure-specific, usually empty
};

// Lines 1 to 7 for a failure, from the process facts, at local time `now` after `runtime_ms` of
// running.
std::array<std::string, 7> make_report_lines(const FailureFacts& failure, const std::tm& now,
                                             std::uint64_t runtime_ms);
// "Program runtime" duration: the trimmed heat-time form, with whole days in front ("2 d 3:04:05,00").
std::string runtime_text(std::uint64_t runtime_ms);

// The lines of the report: line 1 up to the first empty line.
std::vector<std::string> report_body(const ReportLines& lines);
// The report label's text: each line of the body followed by "\r\n", then one more "\r\n".
std::string report_label_text(const ReportLines& lines);

// The error log: data folder + "/Veltro_errlog.txt".
std::string error_log_path();
// Appends every line of the body, the comment and a line of 44 asterisks, in one piece: on failure
// (VeltroError) the file is left as it was.
void append_error_log(const std::string& path, const ReportLines& lines, const std::string& comment);

// The support contact details of the settings store (section "Support"); empty when not set.
struct SupportContacts {
    std::vector<std::string> postal_address; // lines
    std::string email;
    std::string telephone;
};
SupportContacts read_support_contacts();

// The "mailto:" address for the report: subject " Veltro_HDMI error", body every line of the report
// followed by a line break, then two blanks and the comment. Characters that would end the subject
// or the body early ('&', '#', '%', ...) and all non-ASCII bytes are percent-encoded, so the mail
// carries the text exactly.
std::string error_mail_url(const std::string& email, const ReportLines& lines, const std::string& comment);

// One line of the printed report.
struct PrintLine {
    std::string text;
    int point_size = 10;
    bool bold = false;
};
// The printed report: heading, the report lines, the comment, and how to send it to support (the
// contact ways not set are left out).
std::vector<PrintLine> error_print_lines(const ReportLines& lines, const std::string& comment,
                                         const SupportContacts& contacts);

// The window that shows a report. The program installs its error form; until then reports go to
// standard error.
class ErrorReportView {
public:
    virtual ~ErrorReportView() = default;
    // Clears the report and shows the form on top of the others, without waiting for the operator.
    virtual void show_form() = 0;
    // Shows the filled report lines.
    virtual void show_report(const ReportLines& lines) = 0;
};
// Installs `view` (not owned; nullptr restores standard error) and returns the previous one.
ErrorReportView* install_error_report_view(ErrorReportView* view);

// Lets pending window events run (one pass).
void PXV_Error_Trap();

// Reports one failure: traces it, shows the error form, fills lines 1 to 7 and shows them. A
// failure inside the handler is traced as "*Error in Error_form ..." and ends it; a failure
// reported while the handler is busy is traced and not shown. The handler never throws.
void PXV_Error_Handler(const std::string& description, std::int16_t number, std::int32_t line,
                       const std::string& location, const std::string& info = {}) noexcept;

// Reports the exception in flight (call from a catch block): a VeltroError with its number,
// description and source line; other exceptions with a classic number (7 Out of memory, 9 Subscript
// out of range, 6 Overflow, else 51 Internal error) and their message.
void report_current_exception(const std::string& location, const std::string& info = {}) noexcept;
void report_exception(const std::exception_ptr& e, const std::string& location,
                      const std::string& info = {}) noexcept;

} // namespace veltro
