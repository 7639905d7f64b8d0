// Printing the photo-finish evidence of the reviewed heat: the picture on show or the finish
// pictures of the boxes, with the heat header, the result table and the footer, drawn at the
// printer's own resolution.
#include "app/ui/form_veltro.h"
#include "recording/finish_strip.h"
#include "recording/picture_period.h"
#include "results/frame_print.h"
#include "results/photo_finish.h"
#include "review/finish_pictures.h"
#include "review/review.h"
#include "review/ui/picture_box.h"
#include "support/app_paths.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/print_target.h"
#include "support/ui/run_trapped.h"
#include "support/ui/user_folders.h"
#include "support/veltro_error.h"
#include "timing/lengths.h"
#include "timing/published_results.h"
#include "timing/ui/box_tile.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

namespace veltro {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// Draws `lines` from `top` in `font`; returns the top of the next line.
double draw_lines(QPainter& painter, const QFont& font, double left, double top,
                  const std::vector<std::string>& lines) {
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    for (const std::string& line : lines) {
        painter.drawText(QPointF(left, top + metrics.ascent()), qs(line));
        top += metrics.lineSpacing();
    }
    return top;
}

} // namespace

void Form_Veltro::item_print_frame_Click() {
    start_print(false);
}

void Form_Veltro::item_print_series_Click() {
    start_print(true);
}

std::string Form_Veltro::print_name(const std::string& kind) const {
    return veltro::print_name(recording_.Velt_event(), recording_.Velt_Heat_ID(),
                              (timing_.split_mode ? "split " : "goal ") + kind);
}

void Form_Veltro::item_print_photo_finish_click() {
    if (!reviewing() || !review().is_open())
        return;
    PrintTarget target =
        choose_print_target(this, qs(print_name("photo finish")), printer_dialog_wanted(),
                            [this](QPrinter& printer, QWidget*) { return Show_Printer_Dialog(printer); });
    if (!target.printer)
        return;
    bool printed = false;
    run_trapped(where("Print_photo_finish"), [&] {
        print_photo_finish(*target.printer);
        printed = true;
    });
    if (printed)
        tell_if_printed_to_file(target, "the photo finish is");
}

void Form_Veltro::item_print_dog_name_click() {
    const auto name = the_operator().input_box("Enter dog name for printing", kProgramId, print_dog_name_);
    if (name)
        print_dog_name_ = *name;
}

bool Form_Veltro::Show_Printer_Dialog(QPrinter& printer) {
    const bool chosen = Select_Printer(printer, this);
    Trace("Printer.DeviceName = ", printer.printerName().toStdString());
    return chosen;
}

void Form_Veltro::start_print(bool series) {
    if (!reviewing() || !review().is_open())
        return;
    const bool ask = printer_dialog_wanted();
    PrintTarget target =
        choose_print_target(this, qs(print_name(series ? "photo series" : "frame")), ask,
                            [this](QPrinter& printer, QWidget*) { return Show_Printer_Dialog(printer); });
    if (!target.printer)
        return;
    bool printed = false;
    run_trapped(where("Print_Frame"), [&] {
        Print_Frame(series, *target.printer);
        printed = true;
    });
    if (printed)
        tell_if_printed_to_file(target, series ? "the goal photo series is" : "the frame is");
}

PrintCell Form_Veltro::printed_picture(const PrintView& shown, std::vector<std::string> caption) {
    std::optional<Goal_line> line;
    if (goal_line_on_prints())
        line = review().drawn_goal_line();
    // The enhancement the operator chose is printed too, and said: the pixels are no longer as recorded.
    const ViewAdjust& view = picture_->view();
    const ViewLut lut = view.lut();
    caption.push_back(shown.shown + ", " + (recording_.deinterlaced() ? "frame " : "field ") +
                      std::to_string(review().play_position()) + enhancement_text(view));
    return {veltro::printed_picture(recording_.picture(), shown.rect, line, review().camera().colour,
                                    view.enhanced() ? &lut : nullptr),
            std::move(caption)};
}

std::vector<std::string> Form_Veltro::print_BOX_Time(std::int16_t number, std::int16_t box,
                                                     const std::string& name) const {
    return box_time_lines(number, box, name, box >= 1 ? recording_.Velt_Dog_name(box) : std::string());
}

std::vector<std::vector<PrintCell>> Form_Veltro::print_pictures(bool series) {
    Review& review = this->review();
    const ViewAdjust& view = picture_->view();
    const std::int32_t width = recording_.picture().Width();
    const std::int32_t height = recording_.picture().Height();
    if (!series) {
        std::vector<std::string> caption;
        if (!print_dog_name_.empty())
            caption = print_BOX_Time(0, 0, print_dog_name_);
        return {{printed_picture(zoomed_view(view, width, height), caption)}};
    }
    // Zoomed in, each box is shown around the place the judge looked at when giving it its time;
    // a box given its time without zooming is shown whole, never in a crop of another box's lanes.
    ResultArray sorted = Load_Result_Array(recording_);
    Sort_Result_Array(sorted);
    const bool split = timing_.split_mode;
    const std::int16_t shown = review.play_position();
    std::vector<std::vector<PrintCell>> pages;
    for (const auto& on_page : series_pages(series_pictures(sorted, recording_, split))) {
        std::vector<PrintCell> cells;
        for (const SeriesPicture& p : on_page) {
            review.set_position(p.frame);
            const auto nose = nose_points_.find({split, p.box});
            const PrintView part =
                view.zoomed() && nose != nose_points_.end()
                    ? nose_view(view, review.drawn_goal_line(), nose->second, p.box, width, height)
                    : whole_picture_view(width, height);
            cells.push_back(printed_picture(part, print_BOX_Time(p.position, p.box, {})));
        }
        pages.push_back(std::move(cells));
    }
    review.set_position(shown);
    return pages;
}

FramePageTexts Form_Veltro::frame_page_texts(const std::string& device) const {
    ResultArray sorted = Load_Result_Array(recording_);
    Sort_Result_Array(sorted);
    FramePageFacts facts;
    facts.heat_id = recording_.Velt_Heat_ID();
    facts.heat_name = recording_.Velt_Heat_Name();
    facts.start_date_time = recording_.Velt_start_DateTime();
    facts.official = recording_.velt_official();
    facts.split = timing_.split_mode;
    facts.sorted = sorted;
    facts.box_delay = timing_.settings().box_delay;
    facts.us_per_length = seconds_per_length_setting();
    facts.elapsed_time = label_heat_time_->text().toStdString();
    facts.recording_path = recording_.File_name();
    facts.version = process_facts().version_text;
    facts.printed_at = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat).toStdString();
    facts.printer_name = device;
    if (const std::string address = Read_Setting(keys::print_web_address);
        address != keys::print_web_address.default_value)
        facts.web_address = address;
    return frame_page(facts);
}

void Form_Veltro::print_photo_finish(QPrinter& printer) {
    const Goal_line line = review().drawn_goal_line();
    FinishStripOptions options;
    options.line = {line.x1, line.y1, line.x2, line.y2};
    options.goal_compensation = timing_.settings().goal_compensation;
    options.line_colour = review().camera().colour;
    // Columns wide enough that the strip fills a landscape page and the dogs' labels stand apart.
    const std::int32_t pictures =
        recording_picture_period(recording_).field_mode ? recording_.Num_fields() : recording_.num_Frames();
    options.column_width = std::clamp(2000 / std::max(pictures, 1), 4, 64);
    const FinishStrip strip = build_finish_strip(recording_.File_name(), options);
    const PhotoFinish finish = photo_finish_of(
        strip, publish_heat(recording_, timing_.settings().box_delay, seconds_per_length_setting()));
    const FramePageTexts texts =
        frame_page_texts(printer.outputFileName().isEmpty() ? printer.printerName().toStdString() : "PDF");

    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&printer))
        throw VeltroError(err::kPrinterError, "Printer error: the photo finish could not be printed");
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double gap = printer.resolution() / 8.0;
    const QFont header_font("Arial", 11);
    QFont title_font("Arial", 18);
    title_font.setBold(true);
    double y = draw_lines(painter, header_font, 0, 0, {event_header(recording_.Velt_event()), texts.header});
    y = draw_lines(painter, title_font, 0, y + gap / 2, {"Photo finish"}) + gap / 2;
    // Fitted to the width, leaving room below for the result table.
    const QImage image = to_qimage(finish.image);
    QSizeF size(image.size());
    size.scale(page.width(), page.height() * 0.6, Qt::KeepAspectRatio);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, size.width() < image.width());
    painter.drawImage(QRectF(QPointF(0, y), size), image);
    y = draw_lines(painter, QFont("Courier New", 10), 0, y + size.height() + gap, texts.table);
    // The time of the picture at the goal line on screen, as under a frame print.
    draw_lines(painter, QFont("Arial", 10), 0, y + gap / 2,
               {texts.box_delay, texts.elapsed, texts.file_name});
    if (!painter.end())
        throw VeltroError(err::kPrinterError, "Printer error: the photo finish could not be printed");
}

int Form_Veltro::Print_Frame(bool series, QPrinter& printer) {
    the_operator().process_events();
    const QRectF paper = printer.pageLayout().fullRectPixels(printer.resolution());
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const std::string device =
        printer.outputFileName().isEmpty() ? printer.printerName().toStdString() : "PDF";
    Trace("Printing frame on");
    Trace("");
    Trace("Devicename = ", device);
    Trace("Width = ", static_cast<long>(paper.width()));
    Trace("Height = ", static_cast<long>(paper.height()));
    Trace("ScaleHeight = ", static_cast<long>(page.height()));
    Trace("ScaleWidth = ", static_cast<long>(page.width()));
    Trace("ScaleTop = ", 0);

    const FramePageTexts texts = frame_page_texts(device);

    // The pictures of each page, made before painting starts: a series moves the play position.
    std::vector<std::vector<PrintCell>> pages = print_pictures(series);
    // A series without a timed box still prints its heading and results.
    if (pages.empty())
        pages.emplace_back();

    QPainter painter;
    if (!painter.begin(&printer))
        throw VeltroError(err::kPrinterError, "Printer error: the frame could not be printed");
    const double width = page.width();
    const double height = page.height();
    const QFont header_font("Arial", 11);
    QFont title_font("Arial", 18);
    title_font.setBold(true);
    const QFont table_font("Courier New", 10);
    const QFont text_font("Arial", 10);
    const QFont footer_font("Arial", 8);
    const double gap = printer.resolution() / 8.0;
    for (std::size_t n = 0; n < pages.size(); ++n) {
        if (n > 0 && !printer.newPage())
            throw VeltroError(err::kPrinterError, "Printer error: the frame could not be printed");
        double y =
            draw_lines(painter, header_font, 0, 0, {event_header(recording_.Velt_event()), texts.header});
        y = draw_lines(painter, title_font, 0, y + gap / 2, {texts.title}) + gap / 2;
        // Pictures side by side in equal columns, at most half the page high, each with its lines
        // under it.
        const std::vector<PrintCell>& cells = pages[n];
        const QFontMetricsF caption_metrics(text_font, painter.device());
        const double band = height * 0.5 - 3 * caption_metrics.lineSpacing();
        const std::size_t columns = series ? kPicturesPerPage : 1;
        const double column = width / static_cast<double>(columns);
        double bottom = y;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const QImage image = to_qimage(cells[i].picture);
            QSizeF size(image.size());
            size.scale(column - gap, band, Qt::KeepAspectRatio);
            const QRectF at(column * static_cast<double>(i) + (column - size.width()) / 2, y, size.width(),
                            size.height());
            // A zoomed crop grows on paper: its pixels stay blocks, as the judge saw them.
            painter.setRenderHint(QPainter::SmoothPixmapTransform, size.width() < image.width());
            painter.drawImage(at, image);
            std::vector<std::string> lines;
            for (const std::string& line : cells[i].caption)
                lines.push_back(
                    caption_metrics.elidedText(qs(line), Qt::ElideRight, column - gap).toStdString());
            bottom =
                std::max(bottom, draw_lines(painter, text_font, at.left(), at.bottom() + gap / 4, lines));
        }
        const bool pictures = !cells.empty();
        y = (pictures ? bottom : y) + gap;
        y = draw_lines(painter, table_font, 0, y, texts.table) + gap / 2;
        draw_lines(painter, text_font, 0, y, {texts.box_delay, texts.elapsed, texts.file_name});
        const QFontMetricsF footer_metrics(footer_font, painter.device());
        draw_lines(painter, footer_font, 0,
                   height - static_cast<double>(texts.footer.size()) * footer_metrics.lineSpacing(),
                   texts.footer);
    }
    if (!painter.end())
        throw VeltroError(err::kPrinterError, "Printer error: the frame could not be printed");
    return static_cast<int>(pages.size());
}

} // namespace veltro
