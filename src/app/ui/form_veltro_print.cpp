// Printing the photo-finish evidence of the reviewed heat: the picture on show or the finish
// pictures of the boxes, with the heat header, the result table and the footer, drawn at the
// printer's own resolution.
#include "app/frame_print.h"
#include "app/review.h"
#include "app/ui/form_veltro.h"
#include "app/ui/picture_box.h"
#include "app/ui/review_overlay.h"
#include "support/app_paths.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/print_target.h"
#include "support/ui/run_trapped.h"
#include "support/veltro_error.h"
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

void Form_Veltro::item_print_dog_name_Click() {
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
    if (!reviewing() || !review().Is_open())
        return;
    const bool ask = printer_dialog_wanted();
    PrintTarget target =
        choose_print_target(this, qs(std::string(kProgramId) + (series ? "_series" : "_frame")), ask,
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

QImage Form_Veltro::printed_picture(const View_adjust& view) {
    const QImage picture = enhanced(to_qimage(recording_.Picture()), view);
    Review_overlay overlay = Overlay_of(review(), recording_, false, false);
    // The goal line as on screen; its handles are for the mouse, not for paper.
    overlay.handles.reset();
    if (!view.zoomed()) {
        QImage image = picture.convertToFormat(QImage::Format_RGB32);
        QPainter painter(&image);
        Paint_review_overlay(painter, overlay, image.size());
        return image;
    }
    // The part in view, at the picture's size and drawn as on screen.
    QImage image(picture.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    const QTransform zoom = zoom_transform(view);
    painter.setTransform(zoom);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, view.zoom() < kNearestPixelZoom);
    painter.drawImage(QPointF(0, 0), picture);
    Paint_review_overlay(painter, overlay, image.size(), zoom);
    return image;
}

void Form_Veltro::print_BOX_Time(QImage& picture, std::int16_t number, std::int16_t box,
                                 const std::string& name) const {
    const std::vector<std::string> lines =
        Box_time_lines(number, box, name, box >= 1 ? recording_.Velt_Dog_name(box) : std::string());
    QFont font("Arial", 52);
    int points = 52;
    const QSize room(static_cast<int>(picture.width() * 0.96), picture.height() / 10);
    for (const std::string& line : lines)
        points = std::min(points, Max_Font(qs(line), font, room));
    font.setPointSize(points);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Qt::white);
    draw_lines(painter, font, picture.width() * 0.02, picture.height() * 0.80, lines);
}

int Form_Veltro::Print_Frame(bool series, QPrinter& printer) {
    Review& review = this->review();
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

    Result_array sorted = Load_Result_Array(recording_);
    Sort_Result_Array(sorted);
    const bool split = timing_.split_mode;

    Frame_page_facts facts;
    facts.heat_id = recording_.Velt_Heat_ID();
    facts.heat_name = recording_.Velt_Heat_Name();
    facts.start_date_time = recording_.Velt_start_DateTime();
    facts.split = split;
    facts.sorted = sorted;
    facts.box_delay = timing_.settings().box_delay;
    facts.us_per_length = Seconds_per_length_setting();
    facts.elapsed_time = label_heat_time_->text().toStdString();
    facts.recording_path = recording_.File_name();
    facts.version = process_facts().version_text;
    facts.printed_at = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat).toStdString();
    facts.printer_name = device;
    const Frame_page_texts texts = Frame_page(facts);

    // The pictures of each page, made before painting starts: a series moves the play position.
    // As on show: the frame in the view on screen, each picture of a series with the same zoom
    // centred on the goal line (the dogs' noses are there); the enhancement on all.
    const View_adjust& view = picture_->view();
    const QSize picture_size(recording_.Picture().Width(), recording_.Picture().Height());
    std::vector<std::vector<QImage>> pages;
    if (!series) {
        QImage picture = printed_picture(view);
        if (!print_dog_name_.empty())
            print_BOX_Time(picture, 0, 0, print_dog_name_);
        pages.push_back({picture});
    } else {
        const std::int16_t shown = review.Play_position();
        for (const auto& on_page : Series_pages(Series_pictures(sorted, recording_, split))) {
            std::vector<QImage> pictures;
            for (const Series_picture& p : on_page) {
                review.Set_position(p.frame);
                const Goal_line line = review.Drawn_goal_line();
                QImage picture =
                    printed_picture(view.centred_on({(line.x1 + line.x2) / 2.0, (line.y1 + line.y2) / 2.0},
                                                    picture_size.width(), picture_size.height()));
                print_BOX_Time(picture, p.position, p.box, {});
                pictures.push_back(picture);
            }
            pages.push_back(pictures);
        }
        review.Set_position(shown);
        // A series without a timed box still prints its heading and results.
        if (pages.empty())
            pages.emplace_back();
    }

    QPainter painter;
    if (!painter.begin(&printer))
        throw VeltroError(err::PrinterError, "Printer error: the frame could not be printed");
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
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
            throw VeltroError(err::PrinterError, "Printer error: the frame could not be printed");
        double y = draw_lines(painter, header_font, 0, 0, {texts.header});
        y = draw_lines(painter, title_font, 0, y + gap / 2, {texts.title}) + gap / 2;
        // Pictures side by side in equal columns, at most half the page high.
        const std::vector<QImage>& pictures = pages[n];
        const double band = height * 0.5;
        const std::size_t columns = series ? kPicturesPerPage : 1;
        const double column = width / static_cast<double>(columns);
        double bottom = y;
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            QSizeF size(pictures[i].size());
            size.scale(column - gap, band, Qt::KeepAspectRatio);
            const QRectF at(column * static_cast<double>(i) + (column - size.width()) / 2, y, size.width(),
                            size.height());
            painter.drawImage(at, pictures[i]);
            bottom = std::max(bottom, at.bottom());
        }
        y = (pictures.empty() ? y : bottom) + gap;
        y = draw_lines(painter, table_font, 0, y, texts.table) + gap / 2;
        draw_lines(painter, text_font, 0, y, {texts.box_delay, texts.elapsed, texts.file_name});
        const QFontMetricsF footer_metrics(footer_font, painter.device());
        draw_lines(painter, footer_font, 0, height - 3 * footer_metrics.lineSpacing(), texts.footer);
    }
    if (!painter.end())
        throw VeltroError(err::PrinterError, "Printer error: the frame could not be printed");
    return static_cast<int>(pages.size());
}

} // namespace veltro
