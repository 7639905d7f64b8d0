// The review of recordings in the main window: opening a recording, the picture with its goal line,
// stepping and jumps, the goal-line handles, the time assignment through the "Set times" buttons, their
// keys and the "Assign times" menu, the marks on the play slider, and the results window.
#include "app/ui/form_veltro.h"
#include "capture/picture_size.h"
#include "events/heat_data.h"
#include "events/ui/form_heat_competitors.h"
#include "events/ui/form_velt_results.h"
#include "recording/picture_period.h"
#include "review/review.h"
#include "review/slider_marks.h"
#include "review/ui/picture_box.h"
#include "review/ui/review_controller.h"
#include "review/ui/review_overlay.h"
#include "support/app_paths.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/frm_progress.h"
#include "support/ui/run_trapped.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTextEdit>

namespace veltro {

namespace {

// A widget the operator types into: its digits and page keys are its own.
bool takes_text(const QWidget* w) {
    if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
        return combo->isEditable();
    }
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w);
}

void set_checkable(QAction* action, bool checked) {
    if (action) {
        action->setCheckable(true);
        action->setChecked(checked);
    }
}

} // namespace

// What the review adds to the window; it lives as long as the window once made.
struct Form_Veltro::Review_parts {
    Review_parts(cls_VideoFile_handler& rec, HeatTiming& timing, const Clock& clock)
        : review(rec, timing, clock), mouse(review) {}
    Review review;
    GoalLineMouse mouse;
    std::unique_ptr<ReviewController> controller;
    Form_Velt_Results* results = nullptr; // a window of its own, owned by the main window
    bool sample_data = false;
    bool hd_frame_data = false;
    // The capture passes of the recording named `passes_of`, read from its journal once per opening.
    std::string passes_of;
    std::vector<std::int32_t> pass_starts;
};

void Form_Veltro::ReviewPartsDeleter::operator()(Review_parts* parts) const {
    delete parts;
}

Form_Veltro::Review_parts& Form_Veltro::review_parts() {
    if (review_parts_) {
        return *review_parts_;
    }
    review_parts_.reset(new Review_parts(recording_, timing_, clock_));
    Review_parts& p = *review_parts_;
    p.review.selected_camera = selected_camera_;
    p.review.read_ahead(true);
    p.results = new Form_Velt_Results(this);
    p.results->progress = progress_steps();
    p.controller = std::make_unique<ReviewController>(recording_, timing_, p.review, slider_play_, p.results,
                                                      nullptr, false);
    connect(p.controller.get(), &ReviewController::picture_shown, this, [this] { show_review_picture(); });
    connect(p.controller.get(), &ReviewController::results_stored, this, [this] {
        if (reviewing()) {
            publish_live("result", "reviewing");
        }
    });
    connect(p.controller.get(), &ReviewController::buttons_changed, this, [this] {
        Set_Buttons();
        show_slider_marks();
        if (reviewing()) {
            publish_live("result", "reviewing"); // nothing goes out when the result is as it was
        }
        if (timing_.toggles_changed) {
            timing_.toggles_changed();
        }
    });
    connect(p.controller.get(), &ReviewController::camera_changed, this, [this] { show_camera(); });
    // Zoomed, the read-ahead decodes only the part in view.
    connect(picture_, &PictureBox::view_moved, this, [this] {
        if (reviewing()) {
            run_trapped(where("Picture_live_View"), [this] {
                const QImage& shown = picture_->image();
                review_parts_->review.view_band(
                    band_in_view(picture_->view(), shown.width(), shown.height()));
            });
        }
    });

    // The goal line with its handles over a recorded picture; over the live picture only the handles
    // (the live view draws its line itself).
    picture_->add_overlay([this](QPainter& painter, const QSize& size) {
        Review_parts& parts = *review_parts_;
        if (reviewing()) {
            paint_review_overlay(painter,
                                 overlay_of(parts.review, recording_, parts.hd_frame_data, parts.sample_data),
                                 size, picture_->view_transform());
        } else if (live_view_ && live_picture_shown_ && (selected_camera_ == 1 || selected_camera_ == 2)) {
            ReviewOverlay handles;
            handles.draw_line = false;
            handles.handles = goal_lines_[static_cast<std::size_t>(selected_camera_ - 1)];
            paint_review_overlay(painter, handles, size);
        }
    });
    p.mouse.caption = [this](const QString& text) { setWindowTitle(text); };
    // The picture point grabbed goes back under the mouse.
    p.mouse.pan = [this](QPointF grabbed, QPointF now) { picture_->pan_by(grabbed - now); };
    connect(picture_, &PictureBox::picture_pressed, this, [this](QPointF at, Qt::MouseButton button) {
        run_trapped(where("Picture_live_MouseDown"), [&] {
            sync_goal_lines(true);
            review_parts_->mouse.press(at, button, QApplication::keyboardModifiers(),
                                       picture_->view_applies() && picture_->view().zoomed());
        });
    });
    connect(picture_, &PictureBox::picture_moved, this, [this](QPointF at, Qt::MouseButtons buttons) {
        run_trapped(where("Picture_live_MouseMove"), [&] {
            review_parts_->review.selected_camera = selected_camera_;
            const QSize size = reviewing() ? QSize(review_parts_->review.picture_width(),
                                                   review_parts_->review.picture_height())
                                           : QSize(crop_width_, crop_height_);
            bool changed = false;
            picture_->setCursor(review_parts_->mouse.move(at, buttons, size, changed));
            if (changed) {
                sync_goal_lines(false);
                picture_->update();
            }
        });
    });
    connect(picture_, &PictureBox::picture_released, this, [this](QPointF, Qt::MouseButton) {
        run_trapped(where("Picture_live_MouseUp"), [&] {
            if (review_parts_->mouse.release() != 0) {
                sync_goal_lines(false);
                request_strip();
            }
        });
    });
    set_checkable(findChild<QAction*>("item_displace_goalline"), false);
    set_checkable(findChild<QAction*>("item_display_sample_data"), false);
    set_checkable(findChild<QAction*>("item_display_hd_frame_data"), false);
    return p;
}

Review& Form_Veltro::review() {
    return review_parts().review;
}

const BoxEstimates& Form_Veltro::finish_estimates() {
    return review_parts().controller->estimates();
}

Form_Velt_Results& Form_Veltro::results_window() {
    return *review_parts().results;
}

void Form_Veltro::sync_goal_lines(bool to_review_side) {
    Review& r = review_parts_->review;
    r.selected_camera = selected_camera_;
    for (std::size_t i = 0; i < 2; ++i) {
        if (to_review_side) {
            r.goal_lines()[i] = goal_lines_[i];
        } else {
            goal_lines_[i] = r.goal_lines()[i];
        }
    }
}

void Form_Veltro::Handle_Open(const std::string& path) {
    Review_parts& p = review_parts();
    live_view_ = false;
    live_picture_shown_ = false;
    if (cameras_running()) {
        Do_Stop_Cams();
    }
    frame_control_->setVisible(false);
    p.passes_of.clear(); // the same file may have had a pass since it was last open
    nose_points_.clear();
    const Review::OpenResult result = p.controller->open(path);
    if (result != Review::OpenResult::Opened) {
        // Nothing of the heat reviewed before may stay on show.
        Do_Close();
        return;
    }
    const cDIBSection& picture = recording_.picture();
    label_frame_size_->setText(QString("%1*%2").arg(picture.Width()).arg(picture.Height()));
    slider_play_->setEnabled(true);
    Update_File_Size(path);
    sync_goal_lines(false);
    Arrange_form();
    text_file_name_->setText(QString::fromStdString(path));
    label_heat_->setText(QString::fromStdString(recording_.Velt_Heat_ID()));
    const std::string length = recording_.Velt_Heat_Length();
    label_heat_->setToolTip(QString::fromStdString(recording_.Velt_Heat_Name() +
                                                   (length.empty() ? std::string() : " " + length + " m")));
    label_event_->setText(QString::fromStdString(recording_.Velt_event()));
    label_event_->setToolTip(QString::fromStdString(recording_.Velt_event()));
    setWindowTitle(QString::fromStdString(std::string(kProgramId) + " " + path +
                                          (recording_.Read_only() ? "(read-only)" : "")));
    frame_set_times_->setVisible(true);
    show_compensation_note();
    // The controller's Open has shown the goal camera (camera_changed) and filled the results.
    set_checkable(findChild<QAction*>("item_displace_goalline"), false);
    reload_competitors();
    p.controller->focus_slider();
}

void Form_Veltro::reload_competitors() {
    // A list on show belongs to the recording it was loaded from; another one gets its own names.
    if (competitors_window_ && competitors_window_->isVisible()) {
        competitors_window_->Form_Load(static_cast<std::int16_t>(updown_heat_->value()));
    }
}

void Form_Veltro::show_compensation_note() {
    const std::string note = reviewing() ? compensation_note(timing_.settings().goal_compensation,
                                                             recording_.Velt_Goal_compensation())
                                         : std::string();
    label_compensation_->setText(QString::fromStdString(note));
    label_compensation_->setVisible(!note.empty());
}

void Form_Veltro::show_review_picture() {
    frame_dogs_->setVisible(false);
    picture_->show_adjusted(review_parts_->review.picture());
    label_heat_time_->setText(review_parts_->controller->frame_time_text());
    label_picture_number_->setText(QString::number(review_parts_->review.play_position()));
    show_strip_position();
}

void Form_Veltro::show_camera() {
    const CameraDisplay& camera = review_parts().review.camera();
    command_split_goal_->setText(QString::fromStdString(camera.button_caption));
    frame_set_times_->setTitle(QString::fromStdString(camera.frame_caption));
    command_deadheat_->setVisible(camera.toggles_shown);
    command_notime_->setVisible(camera.toggles_shown);
    Set_Buttons();
    picture_->update();
    request_strip();
}

void Form_Veltro::Display_Goal_times() {
    review_parts().review.show_camera(kGoalCamera);
    show_camera();
}

void Form_Veltro::Display_Split_times() {
    review_parts().review.show_camera(kSplitCamera);
    show_camera();
}

void Form_Veltro::Set_Buttons() {
    for (std::int16_t box = 1; box <= 6; ++box) {
        const bool has_time = timing_.recording() && recording_.File_open() && timing_.box_has_time(box);
        command_box_[static_cast<std::size_t>(box - 1)]->setStyleSheet(
            has_time ? "background-color: rgb(192, 255, 255);" : "");
    }
}

void Form_Veltro::Handle_results() {
    review_parts().controller->Handle_results();
}

void Form_Veltro::Display_Result_Array() {
    if (!recording_.File_open()) {
        return;
    }
    Review_parts& p = review_parts();
    p.results->Display_Result_Array(recording_, p.controller->results(), timing_.settings().box_delay,
                                    recording_picture_period(recording_), p.controller->estimates());
}

Form_heat_competitors& Form_Veltro::competitors_window() {
    if (!competitors_window_) {
        competitors_window_ = new Form_heat_competitors(recording_, event_session_, this);
        connect(competitors_window_, &Form_heat_competitors::results_changed, this,
                [this] { run_trapped(where("Handle_results"), [this] { Handle_results(); }); });
        connect(competitors_window_, &Form_heat_competitors::unloaded, this,
                [this] { run_trapped(where("Display_Result_Array"), [this] { Display_Result_Array(); }); });
    }
    return *competitors_window_;
}

void Form_Veltro::item_dog_names_click() {
    Form_heat_competitors& list = competitors_window();
    // A list on show is only brought forward; a hidden one is loaded afresh.
    if (!list.isVisible()) {
        list.Form_Load(static_cast<std::int16_t>(updown_heat_->value()));
    }
    list.show();
    list.raise();
}

void Form_Veltro::Display_Heat_Data() {
    const HeatData d =
        veltro::Display_Heat_Data(event_session_, static_cast<std::int16_t>(updown_heat_->value()));
    label_event_->setText(QString::fromStdString(d.event_name));
    label_event_->setToolTip(QString::fromStdString(
        d.from_event_file ? d.event_name + "\n" + d.event_file_label + (d.day.empty() ? "" : "\n" + d.day)
                          : d.event_name));
    if (!d.from_event_file) {
        label_heat_->setToolTip("Test");
        return;
    }
    label_heat_->setText(QString::fromStdString(d.heat_number));
    label_heat_->setToolTip(QString::fromStdString(d.heat_name + " " + d.heat_length));
    for (std::size_t i = 0; i < 6; ++i) {
        label_dog_name_[i]->setText(QString::fromStdString(d.dog_names[i]));
        label_dog_name_[i]->setToolTip(QString::fromStdString(d.dog_names[i]));
    }
}

void Form_Veltro::up_down_heat_change(int heat) {
    run_trapped(where("UpDown_heat_Change"), [&] {
        if (heat_up_down_changed(event_session_, reviewing(), static_cast<std::int16_t>(heat))) {
            frame_dogs_->setVisible(true);
            Display_Heat_Data();
        }
    });
}

void Form_Veltro::Clear_Results_Display() {
    if (!review_parts_) {
        return;
    }
    review_parts_->results->set_recording(recording_.File_open() ? &recording_ : nullptr,
                                          recording_.File_name());
    review_parts_->results->Clear_Results_Display();
    if (!recording_.File_open()) {
        review_parts_->review.close();
        slider_play_->setEnabled(false);
        close_strip();
    }
    show_slider_marks();
}

void Form_Veltro::show_slider_marks() {
    if (!review_parts_) {
        return;
    }
    Review_parts& p = *review_parts_;
    if (!reviewing() || !p.review.is_open()) {
        p.passes_of.clear();
        p.pass_starts.clear();
        slider_play_->set_marks({});
        return;
    }
    if (p.passes_of != recording_.File_name()) {
        p.pass_starts = capture_pass_starts(recording_.File_name(), recording_.num_Frames());
        p.passes_of = recording_.File_name();
    }
    slider_play_->set_marks(
        slider_marks(recording_, p.pass_starts, p.review.field_mode(), p.review.slider_max()));
}

void Form_Veltro::jump_to_mark(int direction) {
    run_trapped(where("Jump_to_mark"), [&] {
        const auto& marks = slider_play_->marks();
        const std::optional<std::int32_t> target = !reviewing() ? std::nullopt
                                                   : direction > 0
                                                       ? next_mark(marks, slider_play_->value())
                                                       : previous_mark(marks, slider_play_->value());
        if (!target) {
            the_operator().beep();
            return;
        }
        // Moved as the operator moves it: the slider's change draws the picture.
        slider_play_->setFocus(Qt::OtherFocusReason);
        slider_play_->setValue(*target);
    });
}

bool Form_Veltro::review_key(QObject* watched, const QKeyEvent& key) {
    QWidget* focus = QApplication::focusWidget();
    // A key reaches the filter once per widget it passes: only where it is delivered, and only for
    // this window (the results window and the dialogs keep their keys).
    const bool here = focus ? watched == focus && focus->window() == this : watched == this;
    if (!here || !reviewing() || (focus && takes_text(focus))) {
        return false;
    }
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return false;
    }
    const bool keypad = key.modifiers() & Qt::KeypadModifier;
    if (key.key() >= Qt::Key_1 && key.key() <= Qt::Key_6) {
        // The keypad's 4 and 6 nudge the goal line while "Displace goalline" is on.
        if (keypad && (key.key() == Qt::Key_4 || key.key() == Qt::Key_6) && review().displace_on()) {
            return false;
        }
        // A held key assigns once.
        if (!key.isAutoRepeat()) {
            Trace("*IWindowsHook_HookProc, wParam = ", key.key());
            // The button's own click: press, release and click, as the mouse gives them.
            command_box_[static_cast<std::size_t>(key.key() - Qt::Key_1)]->click();
        }
        return true;
    }
    if (key.key() == Qt::Key_PageDown || key.key() == Qt::Key_PageUp) {
        Trace("*IWindowsHook_HookProc, wParam = ", key.key());
        jump_to_mark(key.key() == Qt::Key_PageDown ? +1 : -1);
        return true;
    }
    return false;
}

void Form_Veltro::Handle_Goal_Offset(int key) {
    run_trapped(where("Handle_Goal_Offset"), [&] {
        const int step = key == 100 ? -1 : key == 102 ? +1 : 0;
        if (step != 0 && review_parts().review.Handle_Goal_Offset(step)) {
            picture_->update();
            request_strip();
        }
    });
}

void Form_Veltro::item_open_file_click() {
    const std::string last = Read_Setting(keys::last_folder);
    const QString path = QFileDialog::getOpenFileName(this, "Open Veltro file", QString::fromStdString(last),
                                                      "Veltro Files (*.px3)");
    if (!path.isEmpty()) {
        Handle_Open(path.toStdString());
    }
}

void Form_Veltro::item_show_results_click() {
    Form_Velt_Results& results = results_window();
    results.show();
    results.raise();
}

void Form_Veltro::item_reset_goal_line_click() {
    Review_parts& p = review_parts();
    if (selected_camera_ != 1 && selected_camera_ != 2) {
        return;
    }
    const QSize size = reviewing() ? QSize(recording_.picture().Width(), recording_.picture().Height())
                                   : QSize(crop_width_, crop_height_);
    sync_goal_lines(true);
    p.review.goal_line(selected_camera_) = Reset_Goal_Line(size.width(), size.height());
    sync_goal_lines(false);
    picture_->update();
    request_strip();
}

void Form_Veltro::item_displace_goalline_click() {
    Review& r = review_parts().review;
    r.displace_on(!r.displace_on());
    set_checkable(findChild<QAction*>("item_displace_goalline"), r.displace_on());
    picture_->update();
}

void Form_Veltro::item_x_stretch_click(int item) {
    const char* captions[] = {"1/1", "1/1,5", "1/2"};
    if (item < 0 || item > 2) {
        return;
    }
    for (int i = 0; i < 3; ++i) {
        set_checkable(findChild<QAction*>(QString("item_x_stretch_%1").arg(i)), i == item);
    }
    picture_->x_stretch(x_stretch_scale(captions[item]).value_or(1.0));
    Arrange_form();
}

void Form_Veltro::item_crop_size_click(const QString& caption) {
    const auto size = parse_crop_caption(caption.toStdString());
    if (!size) {
        return;
    }
    if (QAction* a = findChild<QAction*>(QString("item_crop_") + caption)) {
        a->setChecked(true);
    }
    Set_Cropping(size->width, size->height);
    store_last_crop(caption.toStdString());
}

void Form_Veltro::item_display_sample_data_click() {
    Review_parts& p = review_parts();
    p.sample_data = !p.sample_data;
    set_checkable(findChild<QAction*>("item_display_sample_data"), p.sample_data);
    picture_->update();
}

void Form_Veltro::item_display_hd_frame_data_click() {
    Review_parts& p = review_parts();
    p.hd_frame_data = !p.hd_frame_data;
    set_checkable(findChild<QAction*>("item_display_hd_frame_data"), p.hd_frame_data);
    picture_->update();
}

void Form_Veltro::item_assign_times_click(int command) {
    if (command < 0 || command > 5) {
        return;
    }
    review_parts().controller->assign(static_cast<HeatTiming::Assign>(command));
    // Some commands leave the results as they are, but a box given a time is marked at once.
    show_slider_marks();
}

void Form_Veltro::item_change_result_click(int change) {
    if (change < 0 || change > 2 || !reviewing()) {
        the_operator().beep();
        return;
    }
    run_trapped(where("item_change_result_Click"), [&] {
        if (review_parts().controller->change_result(static_cast<ReviewController::ResultEdit>(change)))
            show_slider_marks();
    });
}

void Form_Veltro::command_box_mouse_down(int box) {
    review_parts().controller->box_press(static_cast<std::int16_t>(box));
}

void Form_Veltro::command_box_mouse_up(int) {
    review_parts().controller->box_release();
}

void Form_Veltro::command_box_click(int box) {
    run_trapped(where("Command_box_Click"), [&] {
        if (!review_parts().controller->box_click(static_cast<std::int16_t>(box)))
            return;
        const std::pair key{timing_.split_mode, static_cast<std::int16_t>(box)};
        if (picture_->view().zoomed()) {
            const QPointF at = picture_->looked_at();
            nose_points_[key] = {at.x(), at.y()};
        } else {
            nose_points_.erase(key);
        }
    });
}

void Form_Veltro::command_split_goal_click() {
    run_trapped(where("Command_split_goal_Click"), [&] { review_parts().controller->split_goal_click(); });
}

void Form_Veltro::slider_play_change(int value) {
    if (!review_parts_ || !reviewing()) {
        return;
    }
    run_trapped(where("Slider_play_Change"), [&] { review_parts_->review.set_position(value); });
}

} // namespace veltro
