// The heat lifecycle: cameras, initiating the recording, the start, capture and its append pass,
// finish and abort.
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/picture_size.h"
#include "capture/signal_watch.h"
#include "capture/ui/form_hdmi_performance.h"
#include "recording/px3_layout.h"
#include "review/goal_line.h"
#include "review/ui/picture_box.h"
#include "startswitch/ui/start_click_player.h"
#include "support/event_log.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/ui/form_veltro_settings.h"
#include "support/ui/frm_progress.h"
#include "support/ui/painted_box.h"
#include "support/wait.h"
#include "timing/time_text.h"
#include "timing/ui/box_tile.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <exception>
#include <filesystem>

namespace veltro {
namespace {

// The append pass shown in the progress window, which closes on every path. A pass that is over at
// once never shows it; a longer one shows it from its first step after a moment and keeps it up
// long enough to be read.
class ProgressWindowPass final : public AppendProgress {
public:
    explicit ProgressWindowPass(Frm_progress& window) : window_(window) {}
    void begin(const std::string& caption) override {
        caption_ = caption;
        started_.start();
    }
    void percent(int value) override {
        if (!shown_ && started_.elapsed() >= kShowAfterMs) {
            window_.Set_Caption(caption_);
            window_.show();
            shown_ = true;
        }
        if (shown_) {
            window_.Set_Percent(value);
        }
    }
    void end() override {
        if (shown_) {
            Wait_ms(500);
            window_.hide();
        }
    }

private:
    static constexpr qint64 kShowAfterMs = 300;
    Frm_progress& window_;
    std::string caption_;
    QElapsedTimer started_;
    bool shown_ = false;
};

} // namespace

void tell_later(QObject* context, const std::string& text) {
    QMetaObject::invokeMethod(
        context, [text] { the_operator().message(text, MsgIcon::Exclamation); }, Qt::QueuedConnection);
}

void Form_Veltro::Command_start_camera_Click() {
    if (!start_camera_press_.accept(now())) {
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
    picture_->clear();
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
        if (const std::string error = capture_->Last_Error(); !error.empty()) {
            // Nothing runs (the device is not there, or refuses the format): the button says so.
            Stop_all_cams();
            the_operator().message("The capture device could not be started: " + error + ".",
                                   MsgIcon::Exclamation);
        }
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
    capture_halted(false);
    heat_->start_camera(crop_width_, crop_height_);
    watch_capture(true);
    timer_fps_.start();
    signal_text_.clear();
    timer_signal_.start();
}

void Form_Veltro::Do_Stop_Cams() {
    end_capture_first();
    command_start_camera_->setText("Start camera");
    Stop_Cams();
}

bool Form_Veltro::finish_trigger_held() const {
    // Inputs 3 to 5 are the finish triggers.
    return kit_ && kit_->IsAttached() &&
           (kit_->input_state(3) || kit_->input_state(4) || kit_->input_state(5));
}

void Form_Veltro::Stop_Cams() {
    Trace("*Stop_Camera");
    resume_capture_on_return_ = false;
    timer_fps_.stop();
    timer_signal_.stop();
    signal_text_.clear();
    if (capture_) {
        capture_->Stop_Capture();
    }
    heat_->camera_stopped();
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

    const HeatArming values = arming();
    const std::string name = heat_->recording_name_in(capture_folder(), values);
    try {
        heat_->initiate(name, values);
    } catch (...) {
        text_file_name_->clear(); // no recording is current now
        throw;
    }
    text_file_name_->setText(QString::fromStdString(name));
    queue_moved_camera_check(name, values.goal_lines[0]);
    publish_live("initiated", "initiated");
    for (const std::string& dog : values.dogs) {
        if (values.from_event) {
            dog_list_ += dog + "\n";
        }
    }
    Update_File_Size(name);
    Trace("Command_initiate_file_Click, End");
}

HeatArming Form_Veltro::arming() const {
    HeatArming a;
    a.crop_width = crop_width_;
    a.crop_height = crop_height_;
    a.goal_lines = goal_lines_;
    a.timing = timing_.settings();
    a.kit_serial = switch_.serial();
    a.event_caption = label_event_->text().toStdString();
    a.heat_caption = label_heat_->text().toStdString();
    a.from_event = event_session_.event_valid();
    if (a.from_event) {
        const auto heat = static_cast<std::int16_t>(updown_heat_->value());
        for (std::int16_t box = 1; box <= kTimedBoxes; ++box) {
            a.dogs[static_cast<std::size_t>(box - 1)] = event_session_.Reg_Dog_Name(heat, box);
        }
        a.event_name = event_session_.Event_name();
        a.heat_id = label_heat_->text().toStdString();
        a.heat_name = event_session_.Heat_Name(heat);
    }
    return a;
}

void Form_Veltro::Handle_Start(std::optional<std::uint32_t> signal_mill) {
    Trace("Handle_Start, begin");
    // The start is taken before anything else can delay it.
    const HeatLifecycle::SignalMoment at = heat_->signal_moment(signal_mill);
    if (at.stamp_refused) {
        Trace("*Handle_Start, the signal's time stamp is not usable: the start is taken now");
    }
    const std::function<void()> auto_initiate = [this] { Command_initiate_file_Click(); };
    const HeatLifecycle::Start outcome =
        heat_->start(at.pc, at.local, reviewing(),
                     setting_switch_on(keys::auto_init.key) ? auto_initiate : std::function<void()>());
    if (outcome != HeatLifecycle::Start::Started) {
        the_operator().beep();
        return;
    }
    timer_heat_clock_.start();
    click_->play();
    publish_live("started", "started");
    if (const std::string& why = heat_->start_unwritten(); !why.empty()) {
        // The heat runs and its finish is filmed; the start goes into the recording at the next chance.
        tell_later(this,
                   "The heat has started, but its start could not be written into the recording yet: " + why +
                       ". Veltro writes it again when capture begins and ends, and when the heat finishes.");
    }
    Trace("Handle_Start, end");
}

void Form_Veltro::command_start_heat_click() {
    Trace("*Command_start_heat_Click");
    if (start_heat_press_.accept(now())) {
        Handle_Start();
    }
}

void Form_Veltro::Update_heat_time() {
    if (heat_->heat_start_counter() == 0) {
        return;
    }
    label_heat_time_->setText(
        QString::fromStdString(Display_Mill_Time(elapsed_ms(heat_->heat_start_counter(), now()), false)));
    label_heat_time_->repaint();
}

void Form_Veltro::Handle_Capture_Start(std::optional<std::uint32_t> signal_mill) {
    Trace("Handle_Capture_start");
    // Capture begins at the trigger's edge, however late the window got round to it.
    const std::uint32_t from = heat_->signal_moment(signal_mill).pc;
    switch (heat_->capture_start(cameras_running(), switch_.is_attached(), is_debug_run(), from)) {
    case HeatLifecycle::CaptureStart::Started:
        label_frame_count_->setVisible(true);
        publish_live("capture", "capturing");
        if (const std::string told = heat_->capture_notice(); !told.empty()) {
            tell_later(this, told);
        }
        break;
    case HeatLifecycle::CaptureStart::NoCameras:
    case HeatLifecycle::CaptureStart::NoRecording:
        the_operator().beep();
        break;
    case HeatLifecycle::CaptureStart::NotStarted:
        break;
    }
}

void Form_Veltro::Handle_Capture_End(std::optional<std::uint32_t> signal_mill) {
    Trace("Handle_Capture_end");
    if (signal_mill && !delivering_frames_) {
        const bool was_capturing = heat_->capturing();
        deliver_frames();
        if (was_capturing && !heat_->capturing()) {
            return; // those frames ended the capture already (the recording full, the device lost)
        }
    }
    label_frame_count_->setVisible(false);
    ProgressWindowPass progress(progress_window());
    const std::uint32_t at = signal_mill ? *signal_mill : now();
    if (heat_->capture_end(cameras_running(), is_debug_run(), elapsed_ms(program_start_counter_, at),
                           progress)) {
        Update_File_Size(heat_->recording_name());
    }
    if (heat_->heat_start_counter() != 0) {
        publish_live("capture_end", "started");
    }
}

void Form_Veltro::end_capture_first() {
    if (heat_->capturing()) {
        Trace("*Capture still on: ending it before the heat moves on");
        Handle_Capture_End();
    }
}

void Form_Veltro::command_capture_mouse_down() {
    if (capture_down_press_.accept(now())) {
        Handle_Capture_Start();
    }
}

void Form_Veltro::command_capture_mouse_up() {
    if (capture_up_press_.accept(now())) {
        Handle_Capture_End();
    }
}

void Form_Veltro::HDMI_event() {
    if (program_ending_) {
        return;
    }
    label_arm_->setText(QString::number(capture_->HDMI_events()));
    picture_arm_->update();
    // The red count shows exactly while frames go into the heat, however the capture ended.
    label_frame_count_->setHidden(!heat_->capturing());
    if (heat_->capturing()) {
        label_frame_count_->setText(QString::number(heat_->frames_captured()));
        label_frame_count_->update();
    }
    if (heat_->recording_full()) {
        // Every frame up to here is kept; the recording cannot count one more.
        Handle_Capture_End();
        the_operator().message(
            "The recording holds " + std::to_string(px3::kMaxFrames) +
            " frames, the most it can: capture has ended. Every frame up to here is kept.");
    }
    if (live_view_) {
        const std::uint32_t t = now();
        if ((!live_picture_shown_ || elapsed_ms(last_live_picture_, t) >= 78) &&
            capture_->copy_cropped_picture(live_picture_)) {
            last_live_picture_ = t;
            live_picture_shown_ = true;
            picture_->show_picture(live_picture_);
        }
    }
    if (escape_down_) {
        Do_Abort();
    }
}

void Form_Veltro::paint_live_overlay(QPainter& p, const QSize& size) {
    const Goal_line& g = goal_lines_[static_cast<std::size_t>(selected_camera_ == 2 ? 1 : 0)];
    const QColor colour = bgr_colour(camera_colour(selected_camera_));
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
            (capture_->source_by_default() ? ": no capture source chosen yet (Form / Select Video Source)"
                                           : "") +
            QString("\nPictures %1 ms late, as from an HDMI capture device").arg(DemoCamera::kCaptureDelayMs);
        // As many lines as the picture's width needs, the band behind them as high as they are.
        const int flags = Qt::AlignLeft | Qt::TextWordWrap;
        const QRectF room(4, 2, size.width() - 8, size.height() - 4);
        const QRectF used = p.boundingRect(room, flags, text);
        p.fillRect(QRectF(0, 0, size.width(), used.bottom() + 2), QColor(0, 0, 0, 160));
        p.drawText(room, flags, text);
    }
}

void Form_Veltro::paint_signal_overlay(QPainter& p, const QSize& size) {
    const QStringList lines = QString::fromStdString(signal_text_).split('\n');
    // The first line as large as fits the picture's width; the rest smaller, below it.
    QFont big("Arial");
    big.setBold(true);
    int pixels = std::max(10, size.width() / 6);
    big.setPixelSize(pixels);
    while (pixels > 10 && QFontMetrics(big).horizontalAdvance(lines.front()) > size.width() * 0.9) {
        big.setPixelSize(--pixels);
    }
    QFont small("Arial");
    small.setPixelSize(std::max(9, pixels / 2));
    const double first = pixels * 1.6;
    const double rest = (lines.size() - 1) * small.pixelSize() * 1.5;
    const QRectF band(0, (size.height() - first - rest) / 2, size.width(), first + rest);
    p.fillRect(band.adjusted(0, -pixels * 0.3, 0, pixels * 0.3), QColor(0, 0, 0, 180));
    p.setFont(big);
    p.setPen(QColor(255, 210, 0));
    p.drawText(QRectF(band.left(), band.top(), band.width(), first), Qt::AlignCenter, lines.front());
    if (lines.size() > 1) {
        p.setFont(small);
        p.setPen(Qt::white);
        p.drawText(QRectF(band.left() + 4, band.top() + first, band.width() - 8, rest),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, lines.mid(1).join('\n'));
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
    p.setPen(QPen(heat_->capturing() ? QColor(255, 0, 0) : QColor(0, 0, 255), std::max(2, arm.line_width)));
    p.drawLine(QPointF(arm.x1, arm.y1), QPointF(arm.x2, arm.y2));
}

void Form_Veltro::Do_Abort() {
    escape_down_ = false;
    if (the_operator().ask_ok_cancel("Aborting heat  are you sure?", "Selvane Aborting Heat")) {
        end_capture_first();
        heat_->abort();
        timer_heat_clock_.stop();
        label_heat_time_->setText("Aborted");
        publish_live("aborted", "aborted");
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
    if (setting_switch_on(keys::open_after_finish.key)) {
        item_last_heat_Click();
    }
}

void Form_Veltro::do_Heat_Finish() {
    end_capture_first();
    timer_heat_clock_.stop();
    Do_Stop_Cams();
    label_fps_->setVisible(false);
    const std::string told = heat_->finish();
    publish_live("finished", "finished");
    if (!told.empty()) {
        the_operator().message(told);
    }
    // The start switch panel stays: the next dogs are being boxed. Only a review takes its place.
}

void Form_Veltro::item_last_heat_Click() {
    Trace("item_last_heat_Click");
    if (heat_->heat_start_counter() != 0) {
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
    label_file_size_->setText(QString::number(recording_.xml_header().Segments_no()) + "/ " +
                              QString::number(tenths, 'f', 1) + " MB");
}

void Form_Veltro::Stop_all_cams() {
    // A capture that is on ends first, while the cameras still count as running, so that its frames
    // go into the recording; then the camera button says that nothing runs. A pass that fails keeps
    // its frames in the spool, and the cameras stop all the same before its error is reported.
    std::exception_ptr failure;
    try {
        end_capture_first();
    } catch (...) {
        failure = std::current_exception();
    }
    if (capture_) {
        capture_->Stop_Capture();
    }
    heat_->camera_stopped();
    watch_capture(false);
    timer_fps_.stop();
    timer_signal_.stop();
    signal_text_.clear();
    live_view_ = false;
    command_start_camera_->setText("Start camera");
    picture_->update();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void Form_Veltro::capture_source_lost(const std::string& reason) {
    Trace("*Capture_Source_Lost: " + reason);
    const bool was_capturing = heat_->capturing();
    resume_capture_on_return_ = was_capturing;
    signal_text_ = capture_->signal().overlay_text();
    picture_->update();
    // Told once this delivery is over: the message waits for the operator, and meanwhile the device
    // may come back and its pictures flow. Queued first, so that the operator hears it also when the
    // capture end below fails (its error is reported, and its frames stay in the spool).
    QMetaObject::invokeMethod(
        this,
        [text = source_lost_text(reason, was_capturing)] {
            the_operator().message(text, MsgIcon::Exclamation);
        },
        Qt::QueuedConnection);
    // Every frame stored so far goes into the recording now.
    end_capture_first();
}

void Form_Veltro::capture_frames_lost(std::int64_t count, std::uint32_t before_mill) {
    const std::string where_lost =
        heat_->heat_start_counter() != 0
            ? " at heat time " +
                  Display_Mill_Time(elapsed_ms(heat_->heat_start_counter(), before_mill), false)
            : std::string();
    const std::string text = "The capture device lost " + std::to_string(count) + " frames" + where_lost +
                             (heat_->capturing() ? " while capturing" : "") + " (" +
                             std::to_string(capture_->frames_lost_total()) + " since the camera started)";
    Trace("*", text);
    log_event_quietly(text);
}

void Form_Veltro::watch_signal() {
    if (program_ending_ || !capture_) {
        return;
    }
    // Frames that waited behind a busy window thread are taken first, not mistaken for silence.
    if (start_.watch_devices) {
        dispatch_capture();
    }
    if (capture_->check_signal() == SignalWatch::State::Live && resume_capture_on_return_) {
        resume_capture_on_return_ = false;
        if (finish_trigger_held()) {
            Trace("*The capture device is back while a finish trigger is held: capture goes on");
            Handle_Capture_Start();
        }
    }
    if (const std::string text = capture_->signal().overlay_text(); text != signal_text_) {
        signal_text_ = text;
        picture_->update();
    }
}

void Form_Veltro::Load_Compensations() {
    timing_.Load_Compensations();
    show_compensation_note();
    // The strip's time scale counts with the compensation.
    request_strip();
}

void Form_Veltro::Read_Goal_Lines() {
    std::array<Goal_line, 2> lines;
    for (std::size_t camera = 0; camera < 2; ++camera) {
        const Goal_line& g = goal_lines_[camera];
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
    // Only a size of the "Crop size" menu is taken; anything else gives the first item.
    const std::string caption = veltro::Read_Last_Crop();
    const CropSize size = parse_crop_caption(caption).value_or(CropSize{400, 880});
    if (QAction* item = findChild<QAction*>(QString::fromStdString("item_crop_" + caption))) {
        item->setChecked(true);
    }
    Set_Cropping(size.width, size.height);
}

void Form_Veltro::Set_Cropping(std::int16_t width, std::int16_t height) {
    crop_width_ = width;
    crop_height_ = height;
    for (Goal_line& g : goal_lines_) {
        if (g == Goal_line{}) {
            g = Reset_Goal_Line(width, height);
        }
    }
    Arrange_form();
}

} // namespace veltro
