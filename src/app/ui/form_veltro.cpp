#include "app/ui/form_veltro.h"

#include "app/backends/simulated/simulated_kit.h"
#include "app/ui/form_timer.h"
#include "app/ui/painted_box.h"
#include "app/ui/picture_box.h"
#include "app/ui/simulated_kit_window.h"
#include "app/ui/start_click_player.h"
#include "capture/ui/form_select_video.h"
#include "support/app_paths.h"
#include "support/ui/form_veltro_settings.h"
#include "support/ui/frm_progress.h"
#include "support/ui/run_trapped.h"
#include "timing/ui/box_tile.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>

namespace veltro {

std::string Form_Veltro::where(const char* procedure) {
    return std::string(procedure) + " of Form Form_Veltro";
}

Form_Veltro::Form_Veltro(VeltroStart start, QWidget* parent)
    : QMainWindow(parent), start_(std::move(start)), clock_(*start_.clock), timing_(clock_) {
    setObjectName("Form_Veltro");
    setWindowTitle(kProgramId);
    capture_ = std::make_unique<cls_Capture_HDMI>(start_.make_component(), clock_, start_.first_start_source);
    capture_->HDMIreceived = [this] {
        if (!program_ending_ && !Capture_Halted()) {
            run_trapped(where("HDMI_event"), [this] { HDMI_event(); });
        }
    };
    capture_->Stop_all_cams = [this] { Stop_all_cams(); };
    if (start_.kit) {
        kit_ = std::move(start_.kit);
    } else {
        auto simulated = std::make_unique<SimulatedKit>();
        simulated_kit_ = simulated.get();
        kit_ = std::move(simulated);
    }
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

    run_trapped(where("Form_Load"), [this] { Form_Load(); });
}

Form_Veltro::~Form_Veltro() {
    if (!program_ending_) {
        run_trapped(where("Veltro_end"), [this] { Veltro_end(); });
    }
    qApp->removeEventFilter(this);
    // The kit window lets go of the kit, which goes before the child windows would.
    delete kit_window_;
    kit_window_ = nullptr;
}

QPushButton* Form_Veltro::add_button(const char* name, const QString& caption,
                                     std::function<void()> handler) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    if (handler) {
        connect(button, &QPushButton::clicked, this,
                trapped(std::string(name) + "_Click of Form Form_Veltro", std::move(handler)));
    }
    return button;
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

void Form_Veltro::build_controls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);

    // Left: the picture with the play slider under it.
    picture_ = new PictureBox(central);
    picture_->setObjectName("Picture_live");
    picture_->add_overlay([this](QPainter& p, const QSize& size) {
        if (live_view_ && live_picture_shown_) {
            paint_live_overlay(p, size);
        }
    });
    slider_play_ = new QSlider(Qt::Horizontal, central);
    slider_play_->setObjectName("Slider_play");
    slider_play_->setEnabled(false);
    connect(slider_play_, &QSlider::valueChanged, this, &Form_Veltro::Slider_play_Change);

    // Heat clock and picture facts.
    label_heat_time_ = new QLabel("00:00,00", central);
    label_heat_time_->setObjectName("Label_heat_time");
    QFont clock_font = label_heat_time_->font();
    clock_font.setPointSize(26);
    clock_font.setBold(true);
    label_heat_time_->setFont(clock_font);
    label_heat_time_->setMinimumWidth(220);
    label_compensation_ = new QLabel(central);
    label_compensation_->setObjectName("Label_compensation");
    label_compensation_->setStyleSheet("color: rgb(192, 0, 0); font-weight: bold;");
    label_compensation_->setWordWrap(true);
    label_compensation_->setVisible(false);
    label_picture_number_ = new QLabel(central);
    label_picture_number_->setObjectName("Label_picture_number");
    label_frame_size_ = new QLabel(central);
    label_frame_size_->setObjectName("Label_frame_size");
    label_fps_ = new QLabel(central);
    label_fps_->setObjectName("Label_fps");
    label_fps_->setStyleSheet("color: rgb(0, 0, 255); font-weight: bold;");
    label_fps_->setVisible(false);
    label_frame_count_ = new QLabel(central);
    label_frame_count_->setObjectName("Label_frame_count");
    label_frame_count_->setStyleSheet("color: rgb(255, 0, 0); font-weight: bold;");
    label_frame_count_->setVisible(false);
    picture_arm_ = new PaintedBox(central);
    picture_arm_->setObjectName("Picture_arm");
    picture_arm_->setFixedSize(48, 48);
    picture_arm_->paint = [this](QPainter& p) { paint_arm(p); };
    label_arm_ = new QLabel(central);
    label_arm_->setObjectName("Label_arm");

    // Heat and event.
    label_event_ = new QLabel("No event", central);
    label_event_->setObjectName("Label_event");
    QFont event_font = label_event_->font();
    event_font.setPointSize(12);
    event_font.setBold(true);
    label_event_->setFont(event_font);
    label_heat_ = new QLabel("1", central);
    label_heat_->setObjectName("Label_heat");
    label_heat_->setFont(event_font);
    updown_heat_ = new QSpinBox(central);
    updown_heat_->setObjectName("UpDown_heat");
    updown_heat_->setRange(1, 100);
    connect(updown_heat_, &QSpinBox::valueChanged, this, [this](int heat) {
        label_heat_->setText(QString::number(heat));
        UpDown_heat_Change(heat);
    });

    // Heat buttons.
    command_start_camera_ =
        add_button("Command_start_camera", "Start camera", [this] { Command_start_camera_Click(); });
    command_initiate_file_ =
        add_button("Command_initiate_file", "Initiate file", [this] { Command_initiate_file_Click(); });
    command_start_heat_ =
        add_button("Command_start_heat", "Start heat", [this] { Command_start_heat_Click(); });
    command_capture_ = add_button("Command_capture", "Capture", nullptr);
    connect(command_capture_, &QPushButton::pressed, this,
            trapped(where("Command_capture_MouseDown"), [this] { Command_capture_MouseDown(); }));
    connect(command_capture_, &QPushButton::released, this,
            trapped(where("Command_capture_MouseUp"), [this] { Command_capture_MouseUp(); }));
    command_finish_ = add_button("Command_finish", "Heat finish", [this] { Command_finish_Click(); });
    for (auto* b : {command_start_camera_, command_initiate_file_, command_start_heat_, command_capture_,
                    command_finish_}) {
        b->setMinimumHeight(34);
    }
    command_start_heat_->setEnabled(false);

    // File facts.
    text_file_name_ = new QLineEdit(central);
    text_file_name_->setObjectName("Text_file_name");
    text_file_name_->setReadOnly(true);
    label_file_size_ = new QLabel(central);
    label_file_size_->setObjectName("Label_file_size");
    label_capture_folder_ = new QLabel(central);
    label_capture_folder_->setObjectName("Label_capture_folder");
    label_capture_folder_->setCursor(Qt::PointingHandCursor);
    label_capture_folder_->setStyleSheet("color: rgb(0, 0, 160); text-decoration: underline;");
    label_capture_folder_->installEventFilter(this);

    // "Set times": the six box buttons and the three toggles.
    frame_set_times_ = new QGroupBox("Set Goal times", central);
    frame_set_times_->setObjectName("Frame_set_times");
    auto* times = new QGridLayout(frame_set_times_);
    for (int i = 0; i < 6; ++i) {
        auto* b = new QPushButton(QString::number(i + 1), frame_set_times_);
        b->setObjectName(QString("Command_box_%1").arg(i + 1));
        b->setMinimumSize(44, 40);
        QFont f = b->font();
        f.setPointSize(14);
        f.setBold(true);
        b->setFont(f);
        const int box = i + 1;
        connect(b, &QPushButton::pressed, this, [this, box] { Command_box_MouseDown(box); });
        connect(b, &QPushButton::released, this, [this, box] { Command_box_MouseUp(box); });
        connect(b, &QPushButton::clicked, this, [this, box] { Command_box_Click(box); });
        times->addWidget(b, 0, i);
        command_box_[static_cast<std::size_t>(i)] = b;
    }
    command_100_ = new QPushButton("+ 1/100", frame_set_times_);
    command_100_->setObjectName("Command_100");
    command_deadheat_ = new QPushButton("Dead heat", frame_set_times_);
    command_deadheat_->setObjectName("Command_deadheat");
    command_notime_ = new QPushButton("No Time", frame_set_times_);
    command_notime_->setObjectName("Command_notime");
    command_notime_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(command_100_, &QPushButton::clicked, this, trapped(where("Command_100_Click"), [this] {
                timing_.plus_hundredth = !timing_.plus_hundredth;
                Paint_cmd_100();
            }));
    connect(command_deadheat_, &QPushButton::clicked, this, trapped(where("Command_deadheat_Click"), [this] {
                timing_.dead_heat = !timing_.dead_heat;
                Paint_Deadheat();
            }));
    connect(command_notime_, &QPushButton::clicked, this, trapped(where("Command_notime_Click"), [this] {
                timing_.no_time = !timing_.no_time;
                Paint_Notime();
            }));
    connect(command_notime_, &QPushButton::customContextMenuRequested, this,
            [this](const QPoint& at) { menu_notime_->popup(command_notime_->mapToGlobal(at)); });
    times->addWidget(command_100_, 1, 0, 1, 2);
    times->addWidget(command_deadheat_, 1, 2, 1, 2);
    times->addWidget(command_notime_, 1, 4, 1, 2);
    command_split_goal_ = new QPushButton("Split", frame_set_times_);
    command_split_goal_->setObjectName("Command_split_goal");
    connect(command_split_goal_, &QPushButton::clicked, this, &Form_Veltro::Command_split_goal_Click);
    times->addWidget(command_split_goal_, 2, 0, 1, 6);
    frame_set_times_->setVisible(false);

    // The start switch's status panel.
    frame_control_ = new QGroupBox("Start switch", central);
    frame_control_->setObjectName("Frame_control");
    auto* control = new QGridLayout(frame_control_);
    label_attached_ = new QLabel(frame_control_);
    label_attached_->setObjectName("Label_attached");
    label_rm_ = new QLabel(frame_control_);
    label_rm_->setObjectName("Label_RM");
    label_remote_start_ = new QLabel(frame_control_);
    label_remote_start_->setObjectName("Label_remote_start");
    label_gates_ = new QLabel("RM           Start     Gates 3   4    Trigger", frame_control_);
    label_gates_->setObjectName("Label_gates");
    picture_lamps_ = new PaintedBox(frame_control_);
    picture_lamps_->setObjectName("Picture_lamps");
    picture_lamps_->setFixedSize(204, 44);
    picture_lamps_->paint = [this](QPainter& p) { paint_lamps(p); };
    picture_switch_ = new PaintedBox(frame_control_);
    picture_switch_->setObjectName("Picture_switch");
    picture_switch_->setFixedSize(76, 60);
    picture_switch_->paint = [this](QPainter& p) { paint_switch(p); };
    picture_led_ = new PaintedBox(frame_control_);
    picture_led_->setObjectName("Picture_LED");
    picture_led_->setFixedSize(36, 36);
    picture_led_->paint = [this](QPainter& p) { paint_led(p); };
    picture_led_->pressed = [this] {
        led_test_pressed_ = true;
        run_trapped(where("Picture_LED_MouseDown"), [this] { Check_Attached(); });
    };
    picture_led_->released = [this] {
        led_test_pressed_ = false;
        run_trapped(where("Picture_LED_MouseUp"), [this] { Check_Attached(); });
    };
    control->addWidget(label_attached_, 0, 0, 1, 3);
    control->addWidget(label_rm_, 1, 0);
    control->addWidget(label_remote_start_, 2, 0);
    control->addWidget(picture_switch_, 1, 1, 2, 1);
    control->addWidget(picture_led_, 1, 2, 2, 1, Qt::AlignCenter);
    control->addWidget(label_gates_, 3, 0, 1, 3);
    control->addWidget(picture_lamps_, 4, 0, 1, 3);

    // The dog frame: the heat's dogs by box.
    frame_dogs_ = new QGroupBox("Dogs", central);
    frame_dogs_->setObjectName("Frame_dogs");
    auto* dogs = new QGridLayout(frame_dogs_);
    dogs->setVerticalSpacing(2);
    for (int i = 0; i < 6; ++i) {
        auto* tile = new QLabel(frame_dogs_); // Paint_box draws its number
        tile->setObjectName(QString("Label_dog_tile_%1").arg(i + 1));
        tile->setFixedSize(26, 22);
        tile->setAlignment(Qt::AlignCenter);
        auto* name = new QLabel(frame_dogs_);
        name->setObjectName(QString("Label_dog_name_%1").arg(i + 1));
        dogs->addWidget(tile, i, 0);
        dogs->addWidget(name, i, 1);
        label_dog_tile_[static_cast<std::size_t>(i)] = tile;
        label_dog_name_[static_cast<std::size_t>(i)] = name;
    }
    frame_dogs_->setVisible(false);

    // Right column.
    auto* right = new QVBoxLayout;
    auto* clock_row = new QHBoxLayout;
    clock_row->addWidget(label_heat_time_);
    clock_row->addStretch();
    auto* arm_column = new QVBoxLayout;
    arm_column->addWidget(picture_arm_, 0, Qt::AlignHCenter);
    arm_column->addWidget(label_arm_, 0, Qt::AlignHCenter);
    clock_row->addLayout(arm_column);
    right->addLayout(clock_row);
    right->addWidget(label_compensation_);
    auto* facts = new QGridLayout;
    facts->addWidget(new QLabel("Picture:", central), 0, 0);
    facts->addWidget(label_picture_number_, 0, 1);

    facts->addWidget(label_fps_, 1, 0);
    facts->addWidget(label_frame_count_, 1, 1);
    facts->addWidget(label_frame_size_, 1, 2);
    right->addLayout(facts);
    auto* heat_row = new QHBoxLayout;
    heat_row->addWidget(new QLabel("Event:", central));
    heat_row->addWidget(label_event_, 1);
    heat_row->addWidget(new QLabel("Heat:", central));
    heat_row->addWidget(label_heat_);
    heat_row->addWidget(updown_heat_);
    right->addLayout(heat_row);
    auto* buttons = new QGridLayout;
    buttons->addWidget(command_start_camera_, 0, 0);
    buttons->addWidget(command_initiate_file_, 0, 1);
    buttons->addWidget(command_start_heat_, 1, 0);
    buttons->addWidget(command_capture_, 1, 1);
    buttons->addWidget(command_finish_, 2, 0, 1, 2);
    right->addLayout(buttons);
    auto* file = new QGridLayout;
    file->addWidget(new QLabel("File:", central), 0, 0);
    file->addWidget(text_file_name_, 0, 1);
    file->addWidget(new QLabel("Size:", central), 1, 0);
    file->addWidget(label_file_size_, 1, 1);
    file->addWidget(new QLabel("Folder:", central), 2, 0);
    file->addWidget(label_capture_folder_, 2, 1);
    right->addLayout(file);
    right->addWidget(frame_set_times_);
    right->addWidget(frame_control_);
    right->addWidget(frame_dogs_);
    right->addStretch();

    auto* left = new QVBoxLayout;
    left->addWidget(picture_, 1);
    left->addWidget(slider_play_);

    auto* main = new QHBoxLayout(central);
    main->addLayout(left, 1);
    main->addLayout(right, 0);

    label_attached_status_ = new QLabel(this);
    label_attached_status_->setObjectName("Label_attached_status");
    statusBar()->addPermanentWidget(label_attached_status_);
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
    const int column = 430;
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
    }
    return *settings_window_;
}

Frm_progress& Form_Veltro::progress_window() {
    if (!progress_window_) {
        progress_window_ = new Frm_progress(this);
    }
    return *progress_window_;
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
    const int fd = capture_->Component().Event_fd();
    if (fd >= 0) {
        capture_notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(capture_notifier_, &QSocketNotifier::activated, this, [this] { Dispatch_Capture(); });
    }
}

void Form_Veltro::Dispatch_Capture() {
    if (!program_ending_ && capture_) {
        run_trapped(where("HDMI_event"), [this] { capture_->Component().dispatch(); });
    }
}

void Form_Veltro::Dispatch_Kit() {
    if (!program_ending_) {
        run_trapped(where("obj_Phidget_dispatch"), [this] { kit_->dispatch(); });
    }
}

} // namespace veltro
