#pragma once

#include "recording/finish_estimator.h"
#include "review/review.h"
#include "timing/heat_timing.h"
#include "timing/result_ranking.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

class QSlider;

namespace veltro {

class Form_Velt_Results;
class cls_VideoFile_handler;

// Ties the review of the main window together: the play slider, the picture on show, the timing
// model's box assignments and the results window. The main window owns the widgets and hands them in;
// this keeps them in step (slider <-> picture, every assignment -> Handle_results, result clicks ->
// jumps) and gives the keyboard focus back to the slider after every action.
class ReviewController : public QObject {
    Q_OBJECT
public:
    // With `drive_from_slider` the slider's changes move the review; a window that handles the
    // slider's changes itself passes false and calls Review::set_position.
    ReviewController(cls_VideoFile_handler& rec, HeatTiming& timing, Review& review, QSlider* slider,
                     Form_Velt_Results* results, QObject* parent = nullptr, bool drive_from_slider = true);

    // The review part of Handle_Open: opens, sets the slider, shows and fills the results window.
    Review::OpenResult open(const std::string& path);
    // Load_Result_Array, Sort_Result_Array, Display_Result_Array; then `buttons_changed` (Set_Buttons).
    void Handle_results();
    const ResultArray& results() const { return results_; }
    // The estimated crossings of the boxes given a picture, worked out by Handle_results against the
    // goal camera's line; none where they cannot be made.
    const BoxEstimates& estimates() const { return estimates_; }

    // The box buttons: press sets the current box, release clears it, a click assigns the picture's
    // time (on disk before it returns) and refreshes the results. A recording whose heat was never
    // started, or a picture that could not be read, has no time: the click only beeps.
    void box_press(std::int16_t box);
    void box_release();
    bool box_click(std::int16_t box);
    // Clear_all_Results through the timing model, then the results.
    bool Clear_all_Results();
    // The "Assign times" menu on the current box.
    void assign(HeatTiming::Assign command);
    // The Split/Goal button.
    void split_goal_click();
    // Ctrl+Z, "Declare official", "Withdraw official" (result_changes.h), then the results.
    enum class ResultEdit { Undo, Declare, Withdraw };
    bool change_result(ResultEdit change);

    // The heat time of the picture on show as the time label shows it; "" when it has none.
    QString frame_time_text() const;
    void focus_slider();

signals:
    // A new picture is on show: the window shows rec.picture() and its time and number.
    void picture_shown();
    // Box values changed, or an assignment used up a toggle: the box buttons (Set_Buttons) and the
    // toggle buttons are repainted.
    void buttons_changed();
    // The result changed and is stored; said before the results window is drawn again, so that those
    // who wait for the result (the track's displays) need not wait for the drawing.
    void results_stored();
    // The camera on show changed (button and frame captions, toggles shown).
    void camera_changed();

private:
    void sync_slider();
    bool no_picture_time();
    void estimate_finishes();

    cls_VideoFile_handler& rec_;
    HeatTiming& timing_;
    Review& review_;
    QSlider* slider_;
    Form_Velt_Results* results_window_;
    ResultArray results_{};
    BoxEstimates estimates_{};
    std::unique_ptr<FinishEstimator> estimator_; // of the recording under review, its pictures kept
    std::string estimator_path_;
};

} // namespace veltro
