#include "review/ui/review_controller.h"

#include "events/ui/form_velt_results.h"
#include "recording/picture_period.h"
#include "recording/video_file_handler.h"
#include "review/result_changes.h"
#include "support/operator.h"
#include "support/trace.h"
#include "support/ui/run_trapped.h"
#include "support/veltro_error.h"
#include "timing/time_text.h"

#include <QSignalBlocker>
#include <QSlider>

namespace veltro {

namespace {

std::string location(const char* procedure) {
    return std::string(procedure) + " of Form Form_Veltro";
}

} // namespace

ReviewController::ReviewController(cls_VideoFile_handler& rec, HeatTiming& timing, Review& review,
                                   QSlider* slider, Form_Velt_Results* results, QObject* parent,
                                   bool drive_from_slider)
    : QObject(parent), rec_(rec), timing_(timing), review_(review), slider_(slider),
      results_window_(results) {
    review_.picture_shown = [this] {
        sync_slider();
        emit picture_shown();
    };
    if (slider_ && drive_from_slider) {
        connect(slider_, &QSlider::valueChanged, this,
                trapped(location("Slider_play_Scroll"), [this](int value) { review_.set_position(value); }));
    }
    if (results_window_) {
        connect(results_window_, &Form_Velt_Results::rank_clicked, this,
                trapped(location("GoTo_rank"), [this](std::int16_t p) { review_.GoTo_rank(results_, p); }));
        connect(results_window_, &Form_Velt_Results::box_clicked, this,
                trapped(location("GoTo_Box"), [this](std::int16_t p) { review_.GoTo_rank(results_, p); }));
        connect(results_window_, &Form_Velt_Results::split_clicked, this,
                trapped(location("Goto_SplitTime"),
                        [this](std::int16_t p) { review_.Goto_SplitTime(results_, p); }));
        connect(results_window_, &Form_Velt_Results::focus_to_slider, this, [this] { focus_slider(); });
        connect(results_window_, &Form_Velt_Results::clear_all_requested, this,
                trapped(location("Clear_all_Results"), [this] { Clear_all_Results(); }));
        connect(results_window_, &Form_Velt_Results::results_changed, this,
                trapped(location("Handle_results"), [this] { Handle_results(); }));
    }
}

void ReviewController::sync_slider() {
    if (!slider_)
        return;
    const QSignalBlocker block(slider_);
    slider_->setRange(review_.is_open() ? review_.slider_min() : 1,
                      review_.is_open() ? review_.slider_max() : 1);
    slider_->setValue(review_.play_position());
}

Review::OpenResult ReviewController::open(const std::string& path) {
    estimator_.reset(); // a recording opened again may have been made anew
    const Review::OpenResult result = review_.open(path);
    sync_slider();
    if (result != Review::OpenResult::Opened) {
        if (results_window_) {
            results_window_->set_recording(nullptr);
            results_window_->Clear_Results_Display();
        }
        return result;
    }
    if (results_window_) {
        results_window_->set_recording(&rec_, rec_.File_name());
        results_window_->show();
    }
    Handle_results();
    emit camera_changed();
    focus_slider();
    return result;
}

void ReviewController::Handle_results() {
    if (!rec_.File_open())
        return;
    results_ = Load_Result_Array(rec_);
    Sort_Result_Array(results_);
    estimate_finishes();
    emit results_stored();
    if (results_window_)
        results_window_->Display_Result_Array(rec_, results_, timing_.settings().box_delay,
                                              recording_picture_period(rec_), estimates_);
    emit buttons_changed();
}

void ReviewController::estimate_finishes() {
    estimates_ = {};
    try {
        if (!estimator_ || estimator_path_ != rec_.File_name()) {
            estimator_.reset();
            estimator_ =
                std::make_unique<FinishEstimator>(rec_.File_name(), timing_.settings().goal_compensation);
            estimator_path_ = rec_.File_name();
        }
        const Goal_line& l = review_.goal_line(kGoalCamera);
        estimates_ = estimator_->estimate(estimate_positions(rec_), StripLine{l.x1, l.y1, l.x2, l.y2});
    } catch (const VeltroError& e) {
        // Advisory: a recording whose pictures cannot be read for it simply has none.
        Trace("No finish estimates: ", e.description());
    }
}

void ReviewController::box_press(std::int16_t box) {
    timing_.current_box = box;
}

void ReviewController::box_release() {
    timing_.current_box = 0;
}

bool ReviewController::no_picture_time() {
    // A heat that was never started, or a picture that could not be read, gives no time to assign.
    if (review_.is_open() && !review_.frame_time()) {
        the_operator().beep();
        focus_slider();
        return true;
    }
    return false;
}

bool ReviewController::box_click(std::int16_t box) {
    if (no_picture_time())
        return false;
    const bool assigned = timing_.box_click(box);
    if (assigned) {
        Handle_results();
    }
    emit buttons_changed();
    focus_slider();
    return assigned;
}

bool ReviewController::Clear_all_Results() {
    const bool cleared = timing_.Clear_all_Results();
    if (cleared)
        Handle_results();
    focus_slider();
    return cleared;
}

void ReviewController::assign(HeatTiming::Assign command) {
    if (no_picture_time())
        return;
    const bool refresh = timing_.assign(command);
    if (refresh) {
        Handle_results();
        focus_slider();
    }
}

bool ReviewController::change_result(ResultEdit change) {
    bool changed = false;
    switch (change) {
    case ResultEdit::Undo:
        changed = undo_result_change(rec_, timing_);
        break;
    case ResultEdit::Declare:
        changed = declare_official(rec_, timing_);
        break;
    case ResultEdit::Withdraw:
        changed = withdraw_official(rec_, timing_);
        break;
    }
    if (changed)
        Handle_results();
    focus_slider();
    return changed;
}

void ReviewController::split_goal_click() {
    if (review_.switch_camera() == Review::SwitchResult::Switched) {
        emit camera_changed();
        emit buttons_changed();
    }
    focus_slider();
}

QString ReviewController::frame_time_text() const {
    const auto t = review_.frame_time();
    return t ? QString::fromStdString(Display_Mill_Time(*t, false)) : QString();
}

void ReviewController::focus_slider() {
    if (!slider_)
        return;
    // A click in the results window leaves that window active; the arrow keys must step at once.
    slider_->window()->activateWindow();
    slider_->setFocus(Qt::OtherFocusReason);
}

} // namespace veltro
