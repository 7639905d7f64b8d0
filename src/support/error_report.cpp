#include "support/error_report.h"

#include "support/app_paths.h"
#include "support/clocks.h"
#include "support/event_log.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/settings.h"
#include "support/system_info.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/veltro_error.h"
#include "veltro_version.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>
#include <new>
#include <stdexcept>

namespace veltro {
namespace {

constexpr std::uint64_t kDayMs = 86400000;

class StderrView final : public ErrorReportView {
public:
    void show_form() override {}
    void show_report(const ReportLines& lines) override {
        for (const auto& line : report_body(lines))
            std::cerr << line << '\n';
    }
};

StderrView stderr_view;
ErrorReportView* current_view = &stderr_view;
bool handler_busy = false;

std::string setting_or_empty(const SettingKey& key) {
    std::string value = trim(Read_Setting(key));
    return value == "N/A" ? std::string() : value;
}

// Bytes that may stand in a mailto URL as they are; everything else is percent-encoded.
bool url_safe(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("-._~:/,;@()*!'").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string url_encode(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (url_safe(c)) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::int16_t clamp_number(long number) {
    if (number < std::numeric_limits<std::int16_t>::min() ||
        number > std::numeric_limits<std::int16_t>::max())
        return err::kInternalError;
    return static_cast<std::int16_t>(number);
}

} // namespace

ReportLines& report_lines() {
    static ReportLines lines;
    return lines;
}

void Clear_Text_Array() {
    report_lines().fill(std::string());
}

std::string runtime_text(std::uint64_t runtime_ms) {
    // Rounded to hundredths first, so that a time rounding up to a whole day counts that day.
    const auto rounded = static_cast<std::uint64_t>(
        div_round_half_even(static_cast<std::int64_t>(std::min<std::uint64_t>(runtime_ms, UINT64_MAX / 2)),
                            10) *
        10);
    const std::string time = clock_text(static_cast<std::int64_t>(rounded % kDayMs / 10), true);
    if (rounded < kDayMs)
        return time;
    return std::to_string(rounded / kDayMs) + " d " + time;
}

std::array<std::string, 7> make_report_lines(const FailureFacts& failure, const std::tm& now,
                                             std::uint64_t runtime_ms) {
    const ProcessFacts& f = process_facts();
    const std::string build_date = f.build_date.empty() ? build_date_text() : f.build_date;
    return {
        format_iso_datetime(now) + " " + kProgramId + ", Program version " + std::to_string(kVersionMajor) +
            "." + std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision) + " rm" +
            std::to_string(f.release) + " " + "Compile date: " + build_date + " Filedate: " + f.exe_date,
        "error description: " + std::to_string(failure.number) + ", " + failure.description,
        "Location of error: " + failure.location + ", line: " + std::to_string(failure.line),
        "Routine specific information: " + failure.info,
        "App.path = " + f.app_path,
        "Program runtime = " + runtime_text(runtime_ms),
        "PC name = " + f.computer_name + ", Windows version: " + f.os_version + " CPU = " + f.cpu_bitness +
            " OS = " + f.os_bitness,
    };
}

std::vector<std::string> report_body(const ReportLines& lines) {
    std::vector<std::string> body;
    for (const auto& line : lines) {
        if (line.empty())
            break;
        body.push_back(line);
    }
    return body;
}

std::string report_label_text(const ReportLines& lines) {
    std::string text;
    for (const auto& line : report_body(lines))
        text += line + "\r\n";
    return text + "\r\n";
}

std::string error_log_path() {
    return data_file("Veltro_errlog.txt");
}

void append_error_log(const std::string& path, const ReportLines& lines, const std::string& comment) {
    std::string block;
    for (const auto& line : report_body(lines))
        block += line + "\n";
    block += comment + "\n";
    block += std::string(44, '*') + "\n";
    append_to_file(path, block);
}

SupportContacts read_support_contacts() {
    SupportContacts c;
    const std::string address = setting_or_empty(keys::support_postal_address);
    std::size_t start = 0;
    while (!address.empty() && start <= address.size()) {
        auto bar = address.find('|', start);
        if (bar == std::string::npos)
            bar = address.size();
        if (auto part = trim(std::string_view(address).substr(start, bar - start)); !part.empty())
            c.postal_address.push_back(part);
        start = bar + 1;
    }
    c.email = setting_or_empty(keys::support_email);
    c.telephone = setting_or_empty(keys::support_telephone);
    return c;
}

std::string error_mail_url(const std::string& email, const ReportLines& lines, const std::string& comment) {
    std::string url = "mailto:" + url_encode(email) +
                      "?Subject=" + url_encode(std::string(" ") + kProgramId + " error") + "&Body=";
    for (const auto& line : report_body(lines))
        url += url_encode(line) + "%0D%0A";
    return url + url_encode("  " + comment);
}

std::vector<PrintLine> error_print_lines(const ReportLines& lines, const std::string& comment,
                                         const SupportContacts& contacts) {
    std::vector<PrintLine> out{{"", 24}, {std::string(kProgramId) + " Error report", 24}, {"", 24}};
    for (const auto& line : report_body(lines))
        out.push_back({line});
    std::size_t start = 0;
    while (start <= comment.size()) {
        auto nl = comment.find('\n', start);
        if (nl == std::string::npos)
            nl = comment.size();
        out.push_back({trim(std::string_view(comment).substr(start, nl - start))});
        start = nl + 1;
    }
    if (contacts.postal_address.empty() && contacts.email.empty() && contacts.telephone.empty())
        return out;
    out.push_back({"What to do with this error report?", 10, true});
    out.push_back({"To help fix the error, please report it by using any of the methods listed below!"});
    out.push_back({""});
    int way = 0;
    if (!contacts.postal_address.empty()) {
        out.push_back({std::to_string(++way) + " Send by normal mail to:"});
        for (const auto& l : contacts.postal_address)
            out.push_back({l});
        out.push_back({""});
    }
    if (!contacts.email.empty()) {
        out.push_back({std::to_string(++way) + " E-mail to:"});
        out.push_back({contacts.email});
        out.push_back({""});
    }
    if (!contacts.telephone.empty()) {
        out.push_back({std::to_string(++way) + " Call"});
        out.push_back({contacts.telephone});
    }
    return out;
}

ErrorReportView* install_error_report_view(ErrorReportView* view) {
    ErrorReportView* previous = current_view == &stderr_view ? nullptr : current_view;
    current_view = view ? view : &stderr_view;
    return previous;
}

void PXV_Error_Trap() {
    the_operator().process_events();
}

void PXV_Error_Handler(const std::string& description, std::int16_t number, std::int32_t line,
                       const std::string& location, const std::string& info) noexcept {
    try {
        Trace("*PXV_error_handler1, " + std::to_string(number) + "," + std::to_string(line) + "," + location);
        if (handler_busy)
            return; // a failure while the form is being filled: the trace line above is its record
        handler_busy = true;
        struct Release {
            ~Release() { handler_busy = false; }
        } release;
        try {
            Clear_Text_Array();
            current_view->show_form();
            PXV_Error_Trap();
            Trace("*PXV_error_handler2");
            const auto filled = make_report_lines({description, number, line, location, info}, local_now().tm,
                                                  uptime_ms() - process_facts().program_start_ms);
            std::copy(filled.begin(), filled.end(), report_lines().begin());
            current_view->show_report(report_lines());
            Trace("*PXV_error_handler5");
        } catch (const VeltroError& e) {
            Trace("*Error in Error_form ", e.description(), " ", "err nbr = ", e.number(),
                  " erl =", e.line());
        } catch (const std::exception& e) {
            Trace("*Error in Error_form ", e.what(), " ", "err nbr = ", err::kInternalError, " erl =", 0);
        }
    } catch (...) {
        // Nothing is left to report a failure to; the program goes on.
    }
}

void report_exception(const std::exception_ptr& e, const std::string& location,
                      const std::string& info) noexcept {
    try {
        std::rethrow_exception(e);
    } catch (const VeltroError& v) {
        PXV_Error_Handler(v.description(), clamp_number(v.number()), v.line(), location, info);
    } catch (const std::bad_alloc&) {
        PXV_Error_Handler("Out of memory", err::kOutOfMemory, 0, location, info);
    } catch (const std::out_of_range& x) {
        PXV_Error_Handler(x.what(), err::kSubscriptOutOfRange, 0, location, info);
    } catch (const std::overflow_error& x) {
        PXV_Error_Handler(x.what(), err::kOverflow, 0, location, info);
    } catch (const std::exception& x) {
        PXV_Error_Handler(x.what(), err::kInternalError, 0, location, info);
    } catch (...) {
        PXV_Error_Handler("Internal error", err::kInternalError, 0, location, info);
    }
}

void report_current_exception(const std::string& location, const std::string& info) noexcept {
    report_exception(std::current_exception(), location, info);
}

} // namespace veltro
