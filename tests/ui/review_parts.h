#pragma once

#include "recording/picture_period.h"
#include "recording/video_file_handler.h"
#include "review/goal_line.h"
#include "review/ui/finish_strip_view.h"
#include "review/ui/picture_box.h"
#include "support/veltro_error.h"
#include "timing/heat_timing.h"
#include "window_parts.h"

#include <QColor>
#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltro::testing {

// A recording's pictures as the review steps through them (fields of a heat filmed at up to 40
// pictures per second, else frames), read on a reader of its own: what the window is to show at each
// play position, and the heat time of that picture under the goal compensation in force. Its header
// is the one on disk when it was opened.
class RecordedPictures {
public:
    explicit RecordedPictures(const std::string& path) {
        rec_.Open_File(path);
        if (!rec_.File_open())
            throw std::runtime_error("cannot read " + path);
        field_mode_ = recording_picture_period(rec_).field_mode;
        rec_.deinterlaced(!field_mode_);
    }

    int pictures() const { return field_mode_ ? rec_.Num_fields() : rec_.num_Frames(); }
    // The picture at a play position as recorded (the "Corrupted video" picture for one that cannot
    // be read).
    QImage picture(int position) {
        if (field_mode_)
            rec_.Draw_RGB_Field(position);
        else
            rec_.Draw_RGB_frame(position);
        return to_qimage(rec_.picture());
    }
    // The heat time of the picture at a play position: capture stamp after the start signal, the
    // second field 20 ms on, less the goal compensation.
    std::int32_t time(int position) { return time(position, read_timing_settings().goal_compensation); }
    // The first play position whose heat time reaches `time`; the last one when none does.
    int position_at(std::int32_t time) {
        const std::int32_t compensation = read_timing_settings().goal_compensation;
        for (int p = 1; p < pictures(); ++p)
            if (this->time(p, compensation) >= time)
                return p;
        return pictures();
    }
    // The goal camera's line the heat opens with: the one stored with it, else the line "Reset Goal
    // line" puts in (vertical, in the middle).
    Goal_line opened_goal_line() {
        try {
            if (const auto stored = parse_goal_line(rec_.Velt_Goal_Finish()))
                return *stored;
        } catch (const VeltroError&) {
        }
        const QImage first = picture(1);
        return Reset_Goal_Line(first.width(), first.height());
    }
    const cls_VideoFile_handler& file() const { return rec_; }

private:
    std::int32_t time(int position, std::int32_t compensation) {
        const int frame = field_mode_ ? (position + 1) / 2 : position;
        const std::int16_t field = !field_mode_ ? 99 : position % 2 != 0 ? 1 : 2;
        rec_.Read_RGB_sample(frame, false);
        return picture_time(static_cast<std::uint32_t>(rec_.Timestamp_long()),
                            parse_start_pc_mill(rec_.Velt_start_PC_mill()), field, compensation);
    }

    cls_VideoFile_handler rec_;
    bool field_mode_ = true;
};

// The play position as the window shows it: the number beside the picture (the picture itself, not
// only the slider's handle).
inline int picture_number(const QWidget& window) {
    return part<QLabel>(window, "Label_picture_number")->text().toInt();
}
// The heat time of the picture on show as its label shows it.
inline std::string heat_time_text(const QWidget& window) {
    return part<QLabel>(window, "Label_heat_time")->text().toStdString();
}
// The operator puts the picture that reaches `time` on show with the play slider.
inline void show_time(const QWidget& window, RecordedPictures& pictures, std::int32_t time) {
    slider_play(window)->setValue(pictures.position_at(time));
}

// Where the picture box draws a line of `colour` across picture row `row`, in picture pixels: the
// box as shown is set against its picture alone, drawn the same way, and every pixel of the row
// counts by how far it went towards the colour. std::nullopt when nothing of the colour is there.
// For the whole picture (not zoomed in).
inline std::optional<double> drawn_line_x(PictureBox& box, double row, QColor colour) {
    if (box.view_applies() && box.view().zoomed())
        throw std::logic_error("drawn_line_x reads the whole picture only");
    const QImage shown = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage bare(shown.size(), QImage::Format_RGB32);
    bare.fill(Qt::black);
    {
        QPainter painter(&bare);
        painter.setTransform(box.picture_transform());
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(QPoint(0, 0), box.image());
    }
    const QTransform to_widget = box.picture_transform();
    const int y = static_cast<int>(std::floor(to_widget.map(QPointF(0, row + 0.5)).y()));
    if (y < 0 || y >= shown.height())
        return std::nullopt;
    // How much of the colour covers each pixel of the row.
    std::vector<double> cover(static_cast<std::size_t>(shown.width()), 0.0);
    for (int x = 0; x < shown.width(); ++x) {
        const QRgb s = shown.pixel(x, y), b = bare.pixel(x, y);
        const double to[] = {double(colour.red() - qRed(b)), double(colour.green() - qGreen(b)),
                             double(colour.blue() - qBlue(b))};
        const double went[] = {double(qRed(s) - qRed(b)), double(qGreen(s) - qGreen(b)),
                               double(qBlue(s) - qBlue(b))};
        const double length = to[0] * to[0] + to[1] * to[1] + to[2] * to[2];
        if (length < 64 * 64)
            continue; // the colour is there already: a line over it cannot be told apart
        cover[static_cast<std::size_t>(x)] =
            std::clamp((to[0] * went[0] + to[1] * went[1] + to[2] * went[2]) / length, 0.0, 1.0);
    }
    const auto most = std::max_element(cover.begin(), cover.end());
    if (*most < 0.1)
        return std::nullopt;
    // The line is at most a few pixels wide: its middle, weighed by the cover.
    const int peak = static_cast<int>(most - cover.begin());
    double sum = 0, moment = 0;
    for (int x = std::max(0, peak - 3); x <= std::min(shown.width() - 1, peak + 3); ++x) {
        sum += cover[static_cast<std::size_t>(x)];
        moment += cover[static_cast<std::size_t>(x)] * (x + 0.5);
    }
    return to_widget.inverted().map(QPointF(moment / sum, y + 0.5)).x();
}

// Runs the window's event loop until `done`, as the window does while the finish strip is made in
// the background; false when a minute passes without it.
inline bool run_until(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(60000);
    while (!done()) {
        if (!limit.isActive())
            return false;
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace veltro::testing
