// The heat lifecycle: cameras, initiating the recording, the start, capture and its append pass,
// finish and abort.
#include "app/goal_line.h"
#include "app/recording_name.h"
#include "app/ui/form_veltro.h"
#include "app/ui/painted_box.h"
#include "app/ui/picture_box.h"
#include "app/ui/start_click_player.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/frame_collection.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/ui/form_veltro_settings.h"
#include "support/ui/frm_progress.h"
#include "support/wait.h"
#include "timing/time_text.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <filesystem>

namespace veltro {
namespace {

QColor from_bgr(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

// A press is accepted when `min_ms` have passed since the last accepted one.
bool debounce(std::uint32_t now, std::uint32_t& last, bool& pressed_before, std::int32_t min_ms) {
    if (pressed_before && elapsed_ms(last, now) < min_ms) {
        return false;
    }
    last = now;
    pressed_before = true;
    return true;
}

std::string line_text(const GoalLine& g) {
    return std::to_string(g.x1) + "," + std::to_string(g.y1) + "," + std::to_string(g.x2) + "," +
           std::to_string(g.y2);
}

} // namespace

void Form_Veltro::Command_start_camera_Click() {
    if (!debounce(now(), last_start_camera_, start_camera_pressed_, 1000)) {
        return;
    }
    Trace("*Command_start_camera_Click, caption = " + command_start_camera_->text().toStdString());
    if (!capture_->SourcePropFound()) {
        capture_->Set_Source_from_Saved();
    }
    end_capture_first();
    recording_.Close_File();
    text_file_name_->clear();
    live_picture_shown_ = false;
    picture_->Clear();
    if (cameras_running()) {
        Do_Stop_Cams();
        label_fps_->clear();
        label_fps_->setVisible(false);
    } else {
        command_start_camera_->setText("Stop camera");
        Check_Attached();
        Do_Close();
        Start_camera();
        live_view_ = true;
    }
    label_heat_time_->setText("00:00,00");
    Arrange_form();
    Read_Goal_Lines();
    selected_camera_ = 1;
    Clear_sources();
    frame_dogs_->setVisible(false);
    Trace("*Command_start_camera_Click, end  ");
}

void Form_Veltro::Start_camera() {
    // Nothing of an earlier heat's capture may reach this one's recording.
    capturing_ = false;
    capture_->Post_linear(false);
    if (frame_collection().Count() > 0) {
        Trace("*Start_camera, dropping ", frame_collection().Count(), " frames of no heat");
        frame_collection().Clear();
    }
    capture_->set_HDMI_Crop(crop_width_, crop_height_);
    capture_->MaxFrames(0);
    capture_->Do_CROP(true);
    Capture_Halted(false);
    capture_->Capture_Run();
    watch_capture(true);
    timer_fps_.start();
}

void Form_Veltro::Do_Stop_Cams() {
    end_capture_first();
    command_start_camera_->setText("Start camera");
    Stop_Cams();
}

void Form_Veltro::Stop_Cams() {
    Trace("*Stop_Camera");
    timer_fps_.stop();
    if (capture_) {
        capture_->Stop_Capture();
    }
    watch_capture(false);
    live_view_ = false;
    Wait_ms(500);
    label_arm_->clear();
    picture_arm_->update();
    Trace("*Stop_Camera end");
}

void Form_Veltro::Clear_sources() {
    // The capture source keeps no list of its own between starts; nothing is held here either.
}

void Form_Veltro::Update_Running_Fps() {
    if (program_ending_ || !capture_) {
        return;
    }
    const std::int16_t rate = capture_->Running_Fps();
    if (rate >= 1) {
        label_fps_->setVisible(true);
        label_fps_->setText(QString::number(rate) + " f/s");
    }
}

void Form_Veltro::Command_initiate_file_Click() {
    Trace("Command_initiate_file_Click");
    if (capture_->Running_Fps() == 0) {
        the_operator().message("Waiting to measure camera fps!\n(See display under the rotating arm!)");
        return;
    }
    if (reviewing()) {
        the_operator().beep();
        return;
    }
    // A recording that cannot be written is not announced as initiated.
    if (!Validate_Folder()) {
        return;
    }
    if (!event_session_.event_valid()) {
        label_event_->setText("No event");
    }
    dog_list_.clear();

    current_recording_name_ = Recording_Name(capture_folder(), label_event_->text().toStdString(),
                                             label_heat_->text().toStdString(), local_now().tm);
    text_file_name_->setText(QString::fromStdString(current_recording_name_));
    try {
        initiate_recording();
    } catch (...) {
        current_recording_name_.clear();
        text_file_name_->clear();
        throw;
    }
    Update_File_Size(current_recording_name_);
    Trace("Command_initiate_file_Click, End");
}

void Form_Veltro::initiate_recording() {
    std::string capture_info = capture_->Current_FriendlyName() + " / " + capture_->Current_PropertyString();
    std::string format_text;
    if (capture_->HDMI_10_mill() > 0) {
        const auto rate = static_cast<std::int32_t>(1000.0 / (capture_->HDMI_10_mill() / 10.0));
        format_text = capture_->HDMI_Sample_Dimensions() + ", " + std::to_string(rate) + " fps";
    }

    recording_.RGB_interlaced(capture_->Running_Fps() != 40);
    recording_.File_name(current_recording_name_);
    recording_.Cropped_X(crop_width_);
    recording_.Cropped_Y(crop_height_);
    recording_.Initiate_PX3_File();
    recording_.Measured_fps(capture_->Running_Fps());
    recording_.XML_header().Streams_no(1);
    recording_.XML_header().Comp_CaptureInfo(capture_info);
    if (!format_text.empty()) {
        recording_.XML_header().Capture_sample_size(format_text);
    }

    recording_.Velt_Goal_Finish(line_text(goal_lines_[0]));
    recording_.Velt_Goal_Split(line_text(goal_lines_[1]));

    if (!event_session_.event_valid()) {
        recording_.Velt_event("Test Event");
        recording_.Velt_Heat_ID("1");
        recording_.Velt_Heat_Name("Test Heat");
    } else {
        const auto heat = static_cast<std::int16_t>(updown_heat_->value());
        for (std::int16_t box = 1; box <= 6; ++box) {
            const std::string name = event_session_.Reg_Dog_Name(heat, box);
            recording_.Velt_Dog_name(box, name);
            dog_list_ += name + "\n";
        }
        recording_.Velt_event(event_session_.Event_name());
        recording_.Velt_Heat_ID(label_heat_->text().toStdString());
        recording_.Velt_Heat_Name(event_session_.Heat_Name(heat));
    }

    const TimingSettings& t = timing_.settings();
    recording_.Velt_box_delay(std::to_string(t.box_delay));
    recording_.Velt_Goal_compensation(std::to_string(t.goal_compensation));
    recording_.Velt_Split_compensation(std::to_string(t.split_compensation));
    recording_.Phidget_serial(kit_serial_.empty() ? "0" : kit_serial_);

    recording_.Write_XML_header();
    recording_.Close_File();
}

void Form_Veltro::Handle_Start() {
    Trace("Handle_Start, begin");
    if (heat_start_counter_ >= 1) {
        the_operator().beep();
        Trace(now_default_datetime(), "*Heat already started!!");
        return;
    }
    // The start is taken before anything else can delay it.
    const std::uint32_t start_pc = now();
    const std::int32_t start_local = clock_.local_ms();
    if (reviewing()) {
        the_operator().beep();
        Trace(now_default_datetime(), "*H_S File open!!");
        return;
    }
    if (current_recording_name_.empty()) {
        if (Setting_switch_on(keys::auto_init.key)) {
            Command_initiate_file_Click();
        }
        if (current_recording_name_.empty()) {
            the_operator().beep();
            Trace(now_default_datetime(), "*No current file!!");
            return;
        }
    }
    start_pc_counter_ = start_pc;
    start_local_ms_ = start_local;
    recording_.Velt_heat_start_local(start_local);
    recording_.Velt_start_PC_mill(start_pc);
    recording_.Velt_start_DateTime(now_default_datetime());
    recording_.Write_XML_header();

    // A counter reading of 0 would read as "no heat"; the start is one millisecond later then.
    heat_start_counter_ = start_pc == 0 ? 1 : start_pc;
    timer_heat_clock_.start();
    click_->Play();
    Trace("Handle_Start, end");
}

void Form_Veltro::Command_start_heat_Click() {
    Trace("*Command_start_heat_Click");
    if (debounce(now(), last_start_heat_, start_heat_pressed_, 1000)) {
        Handle_Start();
    }
}

void Form_Veltro::Update_heat_time() {
    if (heat_start_counter_ == 0) {
        return;
    }
    label_heat_time_->setText(
        QString::fromStdString(Display_Mill_Time(elapsed_ms(heat_start_counter_, now()), false)));
    label_heat_time_->repaint();
}

void Form_Veltro::Handle_Capture_Start() {
    Trace("Handle_Capture_start");
    if (!cameras_running()) {
        the_operator().beep();
        Trace("*Cameras not running");
        return;
    }
    if (current_recording_name_.empty()) {
        the_operator().beep();
        Trace("*No file initiated");
        return;
    }
    if (!is_debug_run() && (!kit_attached_ || heat_start_counter_ == 0)) {
        return;
    }
    capture_->Post_linear(true);
    capturing_ = true;
    label_frame_count_->setVisible(true);
}

void Form_Veltro::Handle_Capture_End() {
    Trace("Handle_Capture_end");
    label_frame_count_->setVisible(false);
    capturing_ = false;
    if (!cameras_running() || (!is_debug_run() && heat_start_counter_ == 0)) {
        return;
    }
    if (elapsed_ms(program_start_counter_, now()) < 3000) {
        Trace("Skipping Handle_Capture_end");
        return;
    }
    if (!capture_) {
        return;
    }
    capture_->Post_linear(false);
    if (current_recording_name_.empty()) {
        return;
    }
    const std::int32_t count = capture_->Buff_Num();
    if (recording_.Rounded_Compressed_Size() == 0 && count > 0) {
        recording_.Calculate_Compressed_Size(
            count, [this](std::int32_t i) -> const CVideobuff_RGB& { return capture_->Stored_Frame(i); });
    }
    const auto rate = static_cast<std::int16_t>(round_half_even(capture_->Measured_fps()));
    if (rate > 0) {
        recording_.Measured_fps(rate);
    }

    Frm_progress& progress = progress_window();
    progress.Set_Caption("Appending frames");
    progress.Set_Percent(0);
    progress.show();
    recording_.Close_File();
    recording_.Open_px3_for_Append();
    for (std::int32_t i = 1; i <= count; ++i) {
        recording_.Append_RGB_Frame(i, capture_->Stored_Frame(i));
        progress.Set_Percent(static_cast<int>(static_cast<std::int64_t>(i) * 100 / count));
    }
    recording_.Close_File();
    Update_File_Size(current_recording_name_);
    Wait_ms(500);
    progress.hide();
    frame_collection().Clear();
    capture_->MaxFrames(0);
}

void Form_Veltro::end_capture_first() {
    if (capturing_) {
        Trace("*Capture still on: ending it before the heat moves on");
        Handle_Capture_End();
    }
}

void Form_Veltro::Command_capture_MouseDown() {
    if (debounce(now(), last_capture_down_, capture_down_pressed_, 300)) {
        Handle_Capture_Start();
    }
}

void Form_Veltro::Command_capture_MouseUp() {
    if (debounce(now(), last_capture_up_, capture_up_pressed_, 300)) {
        Handle_Capture_End();
    }
}

void Form_Veltro::HDMI_event() {
    if (program_ending_) {
        return;
    }
    label_arm_->setText(QString::number(capture_->HDMI_events()));
    picture_arm_->update();
    if (capturing_) {
        capture_->Store_HDMI_Buffer();
        label_frame_count_->setText(QString::number(capture_->Buff_Num()));
        label_frame_count_->repaint();
    }
    if (live_view_) {
        const std::uint32_t t = now();
        if (!live_picture_shown_ || elapsed_ms(last_live_picture_, t) >= 78) {
            last_live_picture_ = t;
            live_picture_shown_ = true;
            picture_->Show(capture_->Cropped_DIB());
        }
    }
    if (escape_down_) {
        Do_Abort();
    }
}

void Form_Veltro::paint_live_overlay(QPainter& p, const QSize& size) {
    const GoalLine& g = goal_lines_[static_cast<std::size_t>(selected_camera_ == 2 ? 1 : 0)];
    const QColor colour = from_bgr(camera_colour(selected_camera_));
    p.setPen(QPen(colour, 1.5));
    p.drawLine(QPointF(g.x1, g.y1), QPointF(g.x2, g.y2));
    QFont font("Times");
    font.setPointSize(52);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QPointF(size.width() * 0.35, size.height() * 0.9), selected_camera_ == 1 ? "Goal" : "Split");
    if (capture_->Current_FriendlyName() == DemoCamera::kFriendlyName) {
        // Nobody may take the demo race for the real finish line.
        QFont small("Arial");
        small.setPointSize(9);
        p.setFont(small);
        p.setPen(Qt::white);
        const QString text =
            QString(DemoCamera::kFriendlyName) +
            (capture_->Source_by_default() ? ": no capture source chosen yet (Form / Select Video Source)"
                                           : "") +
            QString("\nPictures %1 ms late, as from an HDMI capture device").arg(DemoCamera::kCaptureDelayMs);
        p.fillRect(QRectF(0, 0, size.width(), 34), QColor(0, 0, 0, 160));
        p.drawText(QRectF(4, 2, size.width() - 8, 32), Qt::AlignLeft | Qt::TextWordWrap, text);
    }
}

void Form_Veltro::paint_arm(QPainter& p) {
    const double w = picture_arm_->width();
    const double h = picture_arm_->height();
    p.setPen(QPen(Qt::gray, 1));
    p.drawEllipse(QRectF(1, 1, w - 2, h - 2));
    if (!cameras_running()) {
        return;
    }
    const RunningArm arm = capture_->Draw_Running_Arm_2(w, h);
    p.setPen(QPen(capturing_ ? QColor(255, 0, 0) : QColor(0, 0, 255), std::max(2, arm.line_width)));
    p.drawLine(QPointF(arm.x1, arm.y1), QPointF(arm.x2, arm.y2));
}

void Form_Veltro::Do_Abort() {
    escape_down_ = false;
    if (the_operator().ask_ok_cancel("Aborting heat  are you sure?", "Selvane Aborting Heat")) {
        end_capture_first();
        heat_start_counter_ = 0;
        timer_heat_clock_.stop();
        label_heat_time_->setText("Aborted");
    }
}

void Form_Veltro::Command_finish_Click() {
    Trace("Command_finish_Click");
    if (reviewing()) {
        the_operator().beep();
        return;
    }
    timer_heat_clock_.stop();
    do_Heat_Finish();
    if (Setting_switch_on(keys::open_after_finish.key)) {
        item_last_heat_Click();
    }
}

void Form_Veltro::do_Heat_Finish() {
    end_capture_first();
    heat_start_counter_ = 0;
    timer_heat_clock_.stop();
    Do_Stop_Cams();
    label_fps_->setVisible(false);
    if (!current_recording_name_.empty()) {
        Write_Setting(keys::last_file, current_recording_name_);
    }
    frame_control_->setVisible(false);
    recording_.Close_File();
    current_recording_name_.clear();
}

void Form_Veltro::item_last_heat_Click() {
    Trace("item_last_heat_Click");
    if (heat_start_counter_ != 0) {
        do_Heat_Finish();
    }
    const std::string last = Read_Setting(keys::last_file);
    std::error_code ec;
    if (std::filesystem::is_regular_file(last, ec)) {
        Handle_Open(last);
    } else {
        the_operator().message("No last file found! Try using normal file open.");
    }
}

void Form_Veltro::Update_File_Size(const std::string& name) {
    if (name.empty()) {
        return;
    }
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(name, ec);
    if (ec) {
        label_file_size_->clear();
        return;
    }
    const double tenths =
        static_cast<double>(round_half_even(static_cast<double>(bytes) / 1048576.0 * 10)) / 10;
    label_file_size_->setText(QString::number(recording_.XML_header().Segments_no()) + "/ " +
                              QString::number(tenths, 'f', 1) + " MB");
}

void Form_Veltro::Stop_all_cams() {
    if (capture_) {
        capture_->Stop_Capture();
    }
    watch_capture(false);
    timer_fps_.stop();
}

void Form_Veltro::Load_Compensations() {
    timing_.Load_Compensations();
    Show_compensation_note();
}

void Form_Veltro::Read_Goal_Lines() {
    std::array<Goal_line, 2> lines;
    for (std::size_t camera = 0; camera < 2; ++camera) {
        const GoalLine& g = goal_lines_[camera];
        lines[camera] = {g.x1, g.y1, g.x2, g.y2};
    }
    // A damaged value keeps the line as it is rather than moving it somewhere odd.
    veltro::Read_Goal_Lines(lines);
    for (std::size_t camera = 0; camera < 2; ++camera) {
        const Goal_line& g = lines[camera];
        goal_lines_[camera] = {g.x1, g.y1, g.x2, g.y2};
    }
}

void Form_Veltro::Read_Last_Crop() {
    const std::string crop = Read_Setting(keys::lastcrop);
    const auto star = crop.find('*');
    std::int16_t w = 400;
    std::int16_t h = 880;
    if (star != std::string::npos) {
        try {
            w = parse_integer(crop.substr(0, star));
            h = parse_integer(crop.substr(star + 1));
        } catch (const VeltroError&) {
            w = 400;
            h = 880;
        }
    }
    if (w < 16 || h < 16) {
        w = 400;
        h = 880;
    }
    // The "Crop size" item of that size shows checked.
    if (QAction* item = findChild<QAction*>(QString("item_crop_%1*%2").arg(w).arg(h))) {
        item->setChecked(true);
    }
    Set_Cropping(w, h);
}

void Form_Veltro::Set_Cropping(std::int16_t width, std::int16_t height) {
    crop_width_ = width;
    crop_height_ = height;
    for (auto& g : goal_lines_) {
        if (g.x1 == 0 && g.y1 == 0 && g.x2 == 0 && g.y2 == 0) {
            g.x1 = g.x2 = static_cast<std::int32_t>(round_half_even(width / 2.0));
            g.y1 = static_cast<std::int32_t>(round_half_even(height / 10.0));
            g.y2 = static_cast<std::int32_t>(round_half_even(height * 0.9));
        }
    }
    Arrange_form();
}

} // namespace veltro
