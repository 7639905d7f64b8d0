#include "app/ui/form_veltro.h"

#include "app/ui/form_timer.h"
#include "capture/ui/form_hdmi_performance.h"
#include "capture/ui/form_select_video.h"
#include "events/ui/form_event_registration.h"
#include "results/live_server.h"
#include "results/scoreboard.h"
#include "review/strip_worker.h"
#include "review/ui/finish_strip_view.h"
#include "review/ui/picture_box.h"
#include "startswitch/backends/simulated/simulated_kit.h"
#include "startswitch/kit_backends.h"
#include "startswitch/ui/form_start_switch.h"
#include "startswitch/ui/simulated_kit_window.h"
#include "startswitch/ui/start_click_player.h"
#include "support/app_paths.h"
#include "support/operator_name.h"
#include "support/trace.h"
#include "support/ui/form_veltro_settings.h"
#include "support/ui/frm_progress.h"
#include "support/ui/run_trapped.h"
#include "timing/ui/box_tile.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSocketNotifier>
#include <poll.h>
#include <stdexcept>

namespace veltro {

namespace {

bool descriptor_readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return fd >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

} // namespace

std::string Form_Veltro::where(const char* procedure) {
    return std::string(procedure) + " of Form Form_Veltro";
}

VeltroStart::VeltroStart(const ProgramBackends& backends, const Clock& clock_in)
    : make_component([&backends, &clock_in] { return backends.capture.make_component(clock_in); }),
      first_start_source(backends.capture.first_start_source), kits(backends.kits),
      kit(configured_kit(backends.kits, clock_in)), clock(clock_in) {}

Form_Veltro::Form_Veltro(VeltroStart start, QWidget* parent)
    : QMainWindow(parent), start_(std::move(start)), clock_(start_.clock), timing_(clock_) {
    setObjectName("Form_Veltro");
    setWindowTitle(kProgramId);
    // The main window is the session: its first change of a result asks for the operator's name.
    forget_session_operator_name();
    capture_ = start_.capture ? std::move(start_.capture)
                              : std::make_unique<cls_Capture_HDMI>(start_.make_component(), clock_,
                                                                   start_.first_start_source);
    heat_ = std::make_unique<HeatLifecycle>(*capture_, recording_, clock_);
    capture_->HDMIreceived = [this] {
        if (!program_ending_ && !capture_halted()) {
            run_trapped(where("HDMI_event"), [this] { HDMI_event(); });
        }
    };
    capture_->Stop_all_cams = [this] { Stop_all_cams(); };
    capture_->source_lost = [this](const std::string& reason) { capture_source_lost(reason); };
    capture_->frame_arrived = [this](const FrameArrival& a) {
        if (performance_window_ && performance_window_->isVisible()) {
            performance_window_->HDMI_event(a.mill, a.delta >= 0 && a.delta <= 10000 ? a.delta : 0);
        }
    };
    capture_->frames_lost = [this](std::int64_t count, std::uint32_t before) {
        capture_frames_lost(count, before);
    };
    // Tests move the clock by hand and have the frames taken when they say.
    capture_->watch_device(start_.watch_devices);
    if (!start_.kit) {
        throw std::invalid_argument("the main window needs a start-switch kit");
    }
    kit_ = std::move(start_.kit);
    simulated_kit_ = dynamic_cast<SimulatedKit*>(kit_.get()); // it has a window of its own

    click_ = std::make_unique<StartClickPlayer>();
    event_session_.show_heat_data = [this] { Display_Heat_Data(); };
    event_session_.report_error = [](const VeltroError& e, const std::string& location) {
        run_trapped(location, [&] { throw e; });
    };
    timing_.toggles_changed = [this] {
        Paint_cmd_100();
        Paint_Notime();
        Paint_Deadheat();
    };

    build_controls();
    build_menus();
    // The goal-line handles and their mouse work over the live picture too, before any review.
    review_parts();

    timer_heat_clock_.setInterval(50);
    connect(&timer_heat_clock_, &QTimer::timeout, this,
            trapped(where("Timer_heat_clock_Timer"), [this] { Update_heat_time(); }));
    timer_fps_.setInterval(1000);
    connect(&timer_fps_, &QTimer::timeout, this,
            trapped(where("Timer_fps_Timer"), [this] { Update_Running_Fps(); }));
    timer_signal_.setInterval(100);
    connect(&timer_signal_, &QTimer::timeout, this,
            trapped(where("Timer_signal_Timer"), [this] { watch_signal(); }));

    run_trapped(where("Form_Load"), [this] { Form_Load(); });
    if (!instance_refused_) {
        start_live_results();
    }
}

Form_Veltro::~Form_Veltro() {
    if (!program_ending_) {
        run_trapped(where("Veltro_end"), [this] { Veltro_end(); });
    }
    qApp->removeEventFilter(this);
    // The strip worker's descriptor closes with the worker, before the child widgets would go.
    delete strip_notifier_;
    strip_notifier_ = nullptr;
    // The kit window lets go of the kit, which goes before the child windows would.
    delete kit_window_;
    kit_window_ = nullptr;
    // The editor works on event_session_, which goes before the child windows would.
    delete event_registration_window_;
    event_registration_window_ = nullptr;
}

QAction* Form_Veltro::add_item(QMenu* menu, const char* name, const QString& caption,
                               std::function<void()> handler) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    if (handler) {
        connect(action, &QAction::triggered, this,
                trapped(std::string(name) + "_Click of Form Form_Veltro", std::move(handler)));
    }
    return action;
}

void Form_Veltro::Arrange_form() {
    // The picture keeps the crop's proportions and takes the screen's height left beside the menus;
    // the controls take a fixed column on the right.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1366, 768);
    picture_->picture_size(QSize(crop_width_, crop_height_));
    const int room = std::max(200, avail.height() - 110);
    // Shrunk to fit a small screen, grown a little on a tall one: the picture is what is judged.
    const double scale = std::min(1.5, static_cast<double>(room) / crop_height_);
    const QSize shown(static_cast<int>(crop_width_ * scale), static_cast<int>(crop_height_ * scale));
    picture_->setMinimumSize(shown.width() / 2, shown.height() / 2);
    const int column = 430 + (strip_view_ && strip_view_->isVisible() ? 320 : 0);
    const QSize wanted(std::min(avail.width(), shown.width() + column + 40),
                       std::min(avail.height() - 40, shown.height() + 80));
    if (!isMaximized() && !isFullScreen()) {
        resize(wanted);
    }
    picture_->update();
}

void Form_Veltro::paint_dog_tiles() {
    for (std::int16_t box = 1; box <= 6; ++box) {
        Paint_box(label_dog_tile_[static_cast<std::size_t>(box - 1)], box);
    }
}

void Form_Veltro::Paint_cmd_100() {
    command_100_->setStyleSheet(timing_.plus_hundredth ? "background-color: rgb(255, 255, 0);" : "");
    Loose_Focus();
}

void Form_Veltro::Paint_Notime() {
    command_notime_->setText(QString::fromStdString(timing_.no_time_caption));
    command_notime_->setStyleSheet(timing_.no_time ? "background-color: rgb(255, 255, 0);" : "");
    Loose_Focus();
}

void Form_Veltro::Paint_Deadheat() {
    command_deadheat_->setStyleSheet(timing_.dead_heat ? "background-color: rgb(255, 255, 0);" : "");
    Loose_Focus();
}

void Form_Veltro::Loose_Focus() {
    picture_->setFocus();
}

std::uint32_t Form_Veltro::camera_colour(std::int16_t camera) {
    return camera == 1 ? 0x80FF80u : 0x00FFFFu;
}

bool Form_Veltro::cameras_running() const {
    return command_start_camera_->text() != "Start camera";
}

Form_Veltro_settings& Form_Veltro::settings_window() {
    if (!settings_window_) {
        settings_window_ = new Form_Veltro_settings([this] { Load_Compensations(); }, this);
        settings_window_->live_results_changed = [this] { restart_live_results(); };
    }
    return *settings_window_;
}

Frm_progress& Form_Veltro::progress_window() {
    if (!progress_window_) {
        progress_window_ = new Frm_progress(this);
    }
    return *progress_window_;
}

std::function<void(const std::string&, int)> Form_Veltro::progress_steps() {
    return [this](const std::string& caption, int percent) {
        Frm_progress& progress = progress_window();
        if (percent < 0) {
            progress.hide();
            return;
        }
        if (!caption.empty()) {
            progress.Set_Caption(caption);
        }
        progress.Set_Percent(percent);
        progress.show();
    };
}

Form_event_registration& Form_Veltro::event_registration_window() {
    if (!event_registration_window_) {
        event_registration_window_ = new Form_event_registration(event_session_, this);
        event_registration_window_->progress = progress_steps();
        // A recording under review shows its own names.
        connect(event_registration_window_, &Form_event_registration::event_changed, this,
                trapped(where("Display_Heat_Data"), [this] {
                    if (!reviewing()) {
                        // A new or freshly filled event shows its dogs at once, not after a heat change.
                        frame_dogs_->setVisible(event_session_.event_valid() &&
                                                !event_session_.current_event_file().empty());
                        Display_Heat_Data();
                    }
                }));
    }
    return *event_registration_window_;
}

void Form_Veltro::item_event_registration_click() {
    Form_event_registration& w = event_registration_window();
    w.show();
    w.raise();
    w.activateWindow();
}

Form_select_Video& Form_Veltro::select_video_window() {
    if (!select_video_window_) {
        select_video_window_ = new Form_select_Video(start_.make_component, this);
    }
    return *select_video_window_;
}

Form_timer& Form_Veltro::timer_window() {
    if (!timer_window_) {
        timer_window_ = new Form_timer([this] { return label_heat_time_->text(); }, this);
    }
    return *timer_window_;
}

std::unique_ptr<InterfaceKit> Form_Veltro::make_simulated_kit() {
    auto simulated = std::make_unique<SimulatedKit>(clock_);
    simulated_kit_ = simulated.get();
    return simulated;
}

FormStartSwitch& Form_Veltro::start_switch_window() {
    if (!start_switch_window_) {
        start_switch_window_ = new FormStartSwitch(start_.kits, clock_, this);
        start_switch_window_->may_change = [this] { return start_switch_may_change(); };
        start_switch_window_->use_kit = [this](std::unique_ptr<InterfaceKit> kit) {
            use_kit(std::move(kit));
        };
        start_switch_window_->kit_status = [this] { return start_switch_status(); };
        start_switch_window_->refresh_status();
    }
    return *start_switch_window_;
}

SimulatedKitWindow* Form_Veltro::simulated_kit_window() {
    if (!simulated_kit_) {
        return nullptr;
    }
    if (!kit_window_) {
        kit_window_ = new SimulatedKitWindow(*simulated_kit_, this);
    }
    return kit_window_;
}

void Form_Veltro::watch_capture(bool on) {
    delete capture_notifier_;
    capture_notifier_ = nullptr;
    if (!on || !start_.watch_devices) {
        return;
    }
    // The capture thread takes the frames; the window hears of them when it gets round to it.
    capture_notifier_ = new QSocketNotifier(capture_->notice_fd(), QSocketNotifier::Read, this);
    connect(capture_notifier_, &QSocketNotifier::activated, this, [this] { deliver_notices(); });
}

void Form_Veltro::deliver_notices() {
    if (!program_ending_ && capture_) {
        run_trapped(where("HDMI_event"), [this] { capture_->deliver_notices(); });
    }
}

void Form_Veltro::dispatch_capture() {
    // A start-switch event that waits beside the frames happened before them or among them: handled
    // first, a trigger's capture starts before the frames filmed after its edge are delivered.
    if (kit_ && descriptor_readable(kit_->event_fd())) {
        dispatch_kit();
    }
    deliver_frames();
}

void Form_Veltro::deliver_frames() {
    if (program_ending_ || !capture_ || delivering_frames_) {
        return;
    }
    delivering_frames_ = true;
    capture_->dispatch_now();
    deliver_notices();
    delivering_frames_ = false;
}

void Form_Veltro::dispatch_kit() {
    if (!program_ending_) {
        run_trapped(where("obj_Phidget_dispatch"), [this] { kit_->dispatch(); });
    }
}

} // namespace veltro
