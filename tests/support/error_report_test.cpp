#include "fake_operator.h"
#include "local_time.h"
#include "scoped_env.h"
#include "support/error_report.h"
#include "support/files.h"
#include "support/process_facts.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/veltro_error.h"
#include "temp_dir.h"

#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace veltro {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ErrorReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = process_facts();
        ProcessFacts& f = process_facts();
        f.build_date = "2020-10-04 19:15";
        f.exe_date = "2024-04-30 10:00:00";
        f.app_path = "/opt/veltro/bin";
        f.computer_name = "FINISH-PC";
        f.os_version = "Debian GNU/Linux 12 (bookworm)";
        f.cpu_bitness = "64";
        f.os_bitness = "64";
        f.release = 0;
        set_settings_path(dir.file("Veltro_HDMI.ini"));
        set_trace_file(dir.file("trace.txt"));
    }
    void TearDown() override {
        process_facts() = saved;
        set_trace_file("");
        Clear_Text_Array();
    }
    // The values of each trace line written so far, without the line's prefix.
    std::vector<std::string> trace_lines() {
        trace_flush();
        std::vector<std::string> lines;
        std::istringstream in(read_whole_file(dir.file("trace.txt")).value_or(""));
        for (std::string line; std::getline(in, line);) {
            std::size_t at = 0;
            for (int i = 0; i < 4; ++i)
                at = line.find(": ", at) + 2;
            lines.push_back(line.substr(at));
        }
        return lines;
    }
    ReportLines sample_lines() {
        ReportLines lines;
        const auto seven = make_report_lines({"Division by zero", 11, 12, "Set_Time of Form Form_Veltro", ""},
                                             testing::local_time(2024, 5, 1, 14, 3, 7), 65230);
        std::copy(seven.begin(), seven.end(), lines.begin());
        return lines;
    }

    ProcessFacts saved;
    testing::TempDir dir;
    testing::FakeOperator op;
};

TEST_F(ErrorReportTest, SevenLinesForASampleFailure) {
    const ReportLines lines = sample_lines();
    EXPECT_EQ(lines[0],
              "2024-05-01 14:03:07 Veltro_HDMI, Program version 5.0.0 rm0 Compile date: 2020-10-04 19:15 "
              "Filedate: 2024-04-30 10:00:00");
    EXPECT_EQ(lines[1], "error description: 11, Division by zero");
    EXPECT_EQ(lines[2], "Location of error: Set_Time of Form Form_Veltro, line: 12");
    EXPECT_EQ(lines[3], "Routine specific information: ");
    EXPECT_EQ(lines[4], "App.path = /opt/veltro/bin");
    EXPECT_EQ(lines[5], "Program runtime = 1:05,23");
    EXPECT_EQ(lines[6],
              "PC name = FINISH-PC, Windows version: Debian GNU/Linux 12 (bookworm) CPU = 64 OS = 64");
    // Line 4 holds its label even without information, so lines 5 to 7 still show.
    EXPECT_EQ(report_body(lines).size(), 7u);
    EXPECT_THAT(report_label_text(lines), HasSubstr("information: \r\nApp.path = /opt/veltro/bin\r\n"));
    EXPECT_THAT(report_label_text(lines), ::testing::EndsWith("OS = 64\r\n\r\n"));

    ReportLines cut = lines;
    cut[2].clear();
    EXPECT_EQ(report_label_text(cut), lines[0] + "\r\n" + lines[1] + "\r\n\r\n");
}

TEST_F(ErrorReportTest, RuntimeCountsWholeDays) {
    EXPECT_EQ(runtime_text(0), "0,00");
    EXPECT_EQ(runtime_text(3723450), "1:02:03,45");
    EXPECT_EQ(runtime_text(86400000ull + 3661000), "1 d 1:01:01,00");
    EXPECT_EQ(runtime_text(86399996), "1 d 0,00");
}

TEST_F(ErrorReportTest, LogAppendedTwiceHoldsTwoReportsEachClosedByAsterisks) {
    const std::string path = dir.file("Veltro_errlog.txt");
    ReportLines lines = sample_lines();
    append_error_log(path, lines, "clicked Set time twice");
    lines[3] = "Routine specific information: box 3";
    append_error_log(path, lines, "");
    const std::string stars(44, '*');
    std::string expected;
    for (int i = 0; i < 7; ++i)
        expected += sample_lines()[i] + "\n";
    expected += "clicked Set time twice\n" + stars + "\n";
    for (int i = 0; i < 7; ++i)
        expected += lines[i] + "\n";
    expected += "\n" + stars + "\n";
    EXPECT_EQ(read_whole_file(path), expected);

    // A log that cannot be written fails clearly and leaves nothing behind.
    EXPECT_THROW(append_error_log(dir.file("no/such/folder/log.txt"), lines, ""), VeltroError);
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

TEST_F(ErrorReportTest, MailCarriesTheReportAndCommentExactly) {
    ReportLines lines;
    lines[0] = "error description: 13, Type mismatch";
    lines[1] = "Location of error: Form_Load of Form Form_Veltro, line: 0";
    lines[3] = "not part of the report";
    EXPECT_EQ(error_mail_url("support@example.org", lines, "A & B #1 100%"),
              "mailto:support@example.org?Subject=%20Veltro_HDMI%20error&Body="
              "error%20description:%2013,%20Type%20mismatch%0D%0A"
              "Location%20of%20error:%20Form_Load%20of%20Form%20Form_Veltro,%20line:%200%0D%0A"
              "%20%20A%20%26%20B%20%231%20100%25");
    EXPECT_EQ(error_mail_url("", ReportLines{}, "\xc3\xa9"),
              "mailto:?Subject=%20Veltro_HDMI%20error&Body=%20%20%C3%A9");
}

TEST_F(ErrorReportTest, PrintedReportLeavesOutContactWaysNotSet) {
    const ReportLines lines = sample_lines();
    auto texts = [](const std::vector<PrintLine>& printed) {
        std::vector<std::string> out;
        for (const auto& l : printed)
            out.push_back(l.text);
        return out;
    };
    auto none = error_print_lines(lines, "my comment", read_support_contacts());
    ASSERT_EQ(none.size(), 3u + 7u + 1u);
    EXPECT_EQ(none[1].text, "Veltro_HDMI Error report");
    EXPECT_EQ(none[1].point_size, 24);
    EXPECT_EQ(none[3].point_size, 10);
    EXPECT_EQ(none.back().text, "my comment");

    Write_Setting(keys::support_postal_address, "Veltro support| 1 Track Road |Dogtown");
    Write_Setting(keys::support_telephone, "+44 1234 567890");
    const SupportContacts contacts = read_support_contacts();
    EXPECT_THAT(contacts.postal_address, ElementsAre("Veltro support", "1 Track Road", "Dogtown"));
    EXPECT_EQ(contacts.email, "");
    auto with = error_print_lines(lines, "my comment", contacts);
    const auto all = texts(with);
    const std::vector<std::string> tail(all.begin() + 11, all.end());
    EXPECT_THAT(
        tail, ElementsAre("What to do with this error report?",
                          "To help fix the error, please report it by using any of the methods listed below!",
                          "", "1 Send by normal mail to:", "Veltro support", "1 Track Road", "Dogtown", "",
                          "2 Call", "+44 1234 567890"));
    EXPECT_TRUE(with[11].bold);
    EXPECT_FALSE(with[12].bold);
}

class RecordingView : public ErrorReportView {
public:
    RecordingView() { previous = install_error_report_view(this); }
    ~RecordingView() override { install_error_report_view(previous); }
    void show_form() override {
        ++forms;
        if (on_show)
            on_show();
    }
    void show_report(const ReportLines& lines) override {
        shown = lines;
        if (on_report)
            on_report();
    }
    int forms = 0;
    ReportLines shown;
    std::function<void()> on_show, on_report;
    ErrorReportView* previous = nullptr;
};

TEST_F(ErrorReportTest, HandlerTracesShowsTheFormAndFillsTheReport) {
    RecordingView view;
    report_lines()[12] = "left over from an earlier report";
    PXV_Error_Handler("Subscript out of range", 9, 42, "Read_Goal_Lines of Form Form_Veltro", "line 2");
    EXPECT_EQ(view.forms, 1);
    EXPECT_EQ(op.event_pumps, 1);
    EXPECT_EQ(view.shown[1], "error description: 9, Subscript out of range");
    EXPECT_EQ(view.shown[2], "Location of error: Read_Goal_Lines of Form Form_Veltro, line: 42");
    EXPECT_EQ(view.shown[3], "Routine specific information: line 2");
    EXPECT_EQ(view.shown[12], "");
    EXPECT_THAT(trace_lines(), ElementsAre("*PXV_error_handler1, 9,42,Read_Goal_Lines of Form Form_Veltro\t",
                                           "*PXV_error_handler2\t", "*PXV_error_handler5\t"));
}

TEST_F(ErrorReportTest, FailureInsideTheHandlerIsTracedAndNeverRecurses) {
    RecordingView view;
    // The form, while showing, runs another handler that fails too.
    view.on_show = [] { PXV_Error_Handler("Overflow", 6, 3, "Timer_clock_Timer of Form Form_Veltro"); };
    view.on_report = [] { throw VeltroError(13, "Type mismatch"); };
    PXV_Error_Handler("Division by zero", 11, 7, "Set_Time of Form Form_Veltro");
    EXPECT_EQ(view.forms, 1);
    const auto lines = trace_lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "*PXV_error_handler1, 11,7,Set_Time of Form Form_Veltro\t");
    EXPECT_EQ(lines[1], "*PXV_error_handler1, 6,3,Timer_clock_Timer of Form Form_Veltro\t");
    EXPECT_EQ(lines[2], "*PXV_error_handler2\t");
    EXPECT_THAT(lines[3], ::testing::MatchesRegex(
                              "\\*Error in Error_form \tType mismatch\t \terr nbr = \t13\t erl =\t[0-9]+\t"));

    // The handler is usable again afterwards.
    view.on_show = nullptr;
    view.on_report = nullptr;
    PXV_Error_Handler("Overflow", 6, 3, "Timer_clock_Timer of Form Form_Veltro");
    EXPECT_EQ(view.forms, 2);
    EXPECT_EQ(view.shown[1], "error description: 6, Overflow");
}

TEST_F(ErrorReportTest, ExceptionsMapToClassicNumbers) {
    RecordingView view;
    auto number_of = [&](std::exception_ptr e) {
        report_exception(e, "X of Module Y");
        return view.shown[1];
    };
    const VeltroError file_error(53, "File not found: /x.px3");
    EXPECT_EQ(number_of(std::make_exception_ptr(file_error)),
              "error description: 53, File not found: /x.px3");
    EXPECT_EQ(view.shown[2], "Location of error: X of Module Y, line: " + std::to_string(file_error.line()));
    EXPECT_EQ(number_of(std::make_exception_ptr(std::out_of_range("vector"))),
              "error description: 9, vector");
    EXPECT_EQ(number_of(std::make_exception_ptr(std::bad_alloc())), "error description: 7, Out of memory");
    EXPECT_EQ(number_of(std::make_exception_ptr(std::runtime_error("odd"))), "error description: 51, odd");
    EXPECT_EQ(number_of(std::make_exception_ptr(VeltroError(70000, "huge"))), "error description: 51, huge");
}

} // namespace
} // namespace veltro
