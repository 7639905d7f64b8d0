// The finish strip beside the review picture: made in the background when a recording opens and
// whenever the line it is taken along changes; a click on it shows that picture.
#include "app/ui/form_veltro.h"
#include "review/review.h"
#include "review/strip_worker.h"
#include "review/ui/finish_strip_view.h"
#include "review/ui/picture_box.h"
#include "support/ui/run_trapped.h"
#include "timing/ui/box_tile.h"

#include <QSlider>
#include <QSocketNotifier>

namespace veltro {

void Form_Veltro::build_strip(QWidget* central) {
    strip_view_ = new FinishStripView(central);
    strip_view_->setVisible(false);
    connect(strip_view_, &FinishStripView::resized, this, [this] { show_strip_position(); });
    connect(picture_, &PictureBox::view_moved, this, [this] { show_strip_position(); });
    connect(strip_view_, &FinishStripView::picture_clicked, this, [this](int position) {
        run_trapped(where("Finish_strip_Click"), [&] {
            if (reviewing()) {
                review().set_position(position);
                slider_play_->setFocus(Qt::OtherFocusReason);
            }
        });
    });
}

void Form_Veltro::request_strip() {
    if (!reviewing() || !review().is_open()) {
        return;
    }
    if (!strip_worker_) {
        strip_worker_ = std::make_unique<StripWorker>();
        strip_notifier_ = new QSocketNotifier(strip_worker_->event_fd(), QSocketNotifier::Read, this);
        connect(strip_notifier_, &QSocketNotifier::activated, this, [this] { dispatch_strip(); });
    }
    const Review& r = review();
    const Goal_line line = r.drawn_goal_line();
    FinishStripOptions options;
    options.line = {line.x1, line.y1, line.x2, line.y2};
    options.goal_compensation = timing_.settings().goal_compensation;
    options.line_colour = r.camera().colour;
    strip_view_->set_marker_colour(bgr_colour(r.camera().colour));
    strip_view_->setVisible(true);
    strip_worker_->request(recording_.File_name(), options);
    if (strip_worker_->busy()) {
        // The old strip belongs to another line or file: it must not be clicked meanwhile.
        strip_view_->show_strip(nullptr);
        strip_view_->show_text("Making the finish strip...");
    }
    show_strip_position();
}

void Form_Veltro::dispatch_strip() {
    if (!strip_worker_) {
        return;
    }
    strip_worker_->dispatch([this](const StripWorker::Result& result) {
        if (!reviewing()) {
            return;
        }
        strip_view_->show_strip(result.strip);
        if (!result.strip) {
            strip_view_->show_text(QString::fromStdString("No finish strip: " + result.error));
        }
        show_strip_position();
    });
}

void Form_Veltro::close_strip() {
    if (strip_worker_) {
        strip_worker_->cancel();
    }
    strip_view_->show_strip(nullptr);
    strip_view_->setVisible(false);
}

void Form_Veltro::show_strip_position() {
    if (!strip_view_ || !strip_view_->isVisible() || !reviewing() || !review().is_open()) {
        return;
    }
    // The strip's rows beside the goal line's rows in the picture.
    const Goal_line line = review().drawn_goal_line();
    const QTransform to_widget = picture_->picture_transform();
    const QPointF first = to_widget.map(QPointF(line.x1, line.y1));
    const QPointF last = to_widget.map(QPointF(line.x2, line.y2));
    const QWidget* common = picture_->parentWidget();
    const double top = strip_view_->mapFrom(common, picture_->mapTo(common, first)).y();
    const double bottom = strip_view_->mapFrom(common, picture_->mapTo(common, last)).y();
    strip_view_->set_rows(top, bottom);
    strip_view_->set_position(review().play_position());
}

} // namespace veltro
