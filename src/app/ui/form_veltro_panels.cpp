// The main window's panels: the picture, the heat clock and picture facts, event and heat with the
// heat buttons and the file facts, the time buttons, the start switch and the heat's dogs.
#include "app/ui/form_veltro.h"
#include "app/ui/heat_controls.h"
#include "review/ui/finish_strip_view.h"
#include "review/ui/held_arrow_steps.h"
#include "review/ui/picture_box.h"
#include "startswitch/ui/start_switch_panel.h"
#include "support/ui/painted_box.h"
#include "support/ui/run_trapped.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>

namespace veltro {
namespace {

QLabel* named_label(const char* name, QWidget* parent, const QString& text = {}) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

void Form_Veltro::build_controls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);

    auto* left = new QVBoxLayout;
    build_picture(central, *left);

    auto* right = new QVBoxLayout;
    build_clock_panel(central, *right);
    build_heat_panel(central, *right);
    right->addWidget(build_set_times_panel(central));
    start_switch_panel_ = new StartSwitchPanel(kit_, switch_, central);
    start_switch_panel_->led_test = [this](bool down) {
        led_test_pressed_ = down;
        run_trapped(where(down ? "Picture_LED_MouseDown" : "Picture_LED_MouseUp"),
                    [this] { Check_Attached(); });
    };
    frame_control_ = start_switch_panel_;
    right->addWidget(frame_control_);
    right->addWidget(build_dogs_panel(central));
    right->addStretch();

    auto* main = new QHBoxLayout(central);
    main->addLayout(left, 1);
    main->addLayout(right, 0);

    label_attached_status_ = named_label("Label_attached_status", this);
    statusBar()->addPermanentWidget(label_attached_status_);
}

void Form_Veltro::build_picture(QWidget* central, QVBoxLayout& column) {
    picture_ = new PictureBox(central);
    picture_->setObjectName("Picture_live");
    picture_->add_overlay([this](QPainter& p, const QSize& size) {
        if (live_view_ && live_picture_shown_) {
            paint_live_overlay(p, size);
        }
        if (live_view_ && !signal_text_.empty()) {
            paint_signal_overlay(p, size);
        }
    });
    slider_play_ = new MarkedSlider(Qt::Horizontal, central);
    slider_play_->setObjectName("Slider_play");
    slider_play_->setEnabled(false);
    connect(slider_play_, &QSlider::valueChanged, this, &Form_Veltro::slider_play_change);
    new HeldArrowSteps(slider_play_, picture_, this);
    build_strip(central);
    auto* pictures = new QHBoxLayout;
    pictures->addWidget(picture_, 1);
    pictures->addWidget(strip_view_, 1);
    column.addLayout(pictures, 1);
    column.addWidget(slider_play_);
}

void Form_Veltro::build_clock_panel(QWidget* central, QVBoxLayout& column) {
    label_heat_time_ = named_label("Label_heat_time", central, "00:00,00");
    QFont clock_font = label_heat_time_->font();
    clock_font.setPointSize(26);
    clock_font.setBold(true);
    label_heat_time_->setFont(clock_font);
    label_heat_time_->setMinimumWidth(220);
    label_compensation_ = named_label("Label_compensation", central);
    label_compensation_->setStyleSheet("color: rgb(192, 0, 0); font-weight: bold;");
    label_compensation_->setWordWrap(true);
    label_compensation_->setVisible(false);
    label_picture_number_ = named_label("Label_picture_number", central);
    label_frame_size_ = named_label("Label_frame_size", central);
    label_fps_ = named_label("Label_fps", central);
    label_fps_->setStyleSheet("color: rgb(0, 0, 255); font-weight: bold;");
    label_fps_->setVisible(false);
    label_frame_count_ = named_label("Label_frame_count", central);
    label_frame_count_->setStyleSheet("color: rgb(255, 0, 0); font-weight: bold;");
    label_frame_count_->setVisible(false);
    picture_arm_ = new PaintedBox(central);
    picture_arm_->setObjectName("Picture_arm");
    picture_arm_->setFixedSize(48, 48);
    picture_arm_->paint = [this](QPainter& p) { paint_arm(p); };
    label_arm_ = named_label("Label_arm", central);

    auto* clock_row = new QHBoxLayout;
    clock_row->addWidget(label_heat_time_);
    clock_row->addStretch();
    auto* arm_column = new QVBoxLayout;
    arm_column->addWidget(picture_arm_, 0, Qt::AlignHCenter);
    arm_column->addWidget(label_arm_, 0, Qt::AlignHCenter);
    clock_row->addLayout(arm_column);
    column.addLayout(clock_row);
    column.addWidget(label_compensation_);
    auto* facts = new QGridLayout;
    facts->addWidget(new QLabel("Picture:", central), 0, 0);
    facts->addWidget(label_picture_number_, 0, 1);
    facts->addWidget(label_fps_, 1, 0);
    facts->addWidget(label_frame_count_, 1, 1);
    facts->addWidget(label_frame_size_, 1, 2);
    column.addLayout(facts);
}

void Form_Veltro::build_heat_panel(QWidget* central, QVBoxLayout& column) {
    label_event_ = named_label("Label_event", central, "No event");
    QFont event_font = label_event_->font();
    event_font.setPointSize(12);
    event_font.setBold(true);
    label_event_->setFont(event_font);
    label_heat_ = named_label("Label_heat", central, "1");
    label_heat_->setFont(event_font);
    updown_heat_ = new QSpinBox(central);
    updown_heat_->setObjectName("UpDown_heat");
    updown_heat_->setRange(1, 100);
    connect(updown_heat_, &QSpinBox::valueChanged, this, [this](int heat) {
        label_heat_->setText(QString::number(heat));
        up_down_heat_change(heat);
    });
    auto* heat_row = new QHBoxLayout;
    heat_row->addWidget(new QLabel("Event:", central));
    heat_row->addWidget(label_event_, 1);
    heat_row->addWidget(new QLabel("Heat:", central));
    heat_row->addWidget(label_heat_);
    heat_row->addWidget(updown_heat_);
    column.addLayout(heat_row);

    auto* controls = new HeatControls(central);
    command_start_camera_ = controls->start_camera;
    command_initiate_file_ = controls->initiate_file;
    command_start_heat_ = controls->start_heat;
    command_capture_ = controls->capture;
    command_finish_ = controls->finish;
    auto on_click = [this](QPushButton* b, const char* name, void (Form_Veltro::*handler)()) {
        connect(b, &QPushButton::clicked, this,
                trapped(std::string(name) + "_Click of Form Form_Veltro",
                        [this, handler] { (this->*handler)(); }));
    };
    on_click(command_start_camera_, "Command_start_camera", &Form_Veltro::Command_start_camera_Click);
    on_click(command_initiate_file_, "Command_initiate_file", &Form_Veltro::Command_initiate_file_Click);
    on_click(command_start_heat_, "Command_start_heat", &Form_Veltro::command_start_heat_click);
    on_click(command_finish_, "Command_finish", &Form_Veltro::Command_finish_Click);
    connect(command_capture_, &QPushButton::pressed, this,
            trapped(where("Command_capture_MouseDown"), [this] { command_capture_mouse_down(); }));
    connect(command_capture_, &QPushButton::released, this,
            trapped(where("Command_capture_MouseUp"), [this] { command_capture_mouse_up(); }));
    column.addWidget(controls);

    text_file_name_ = new QLineEdit(central);
    text_file_name_->setObjectName("Text_file_name");
    text_file_name_->setReadOnly(true);
    label_file_size_ = named_label("Label_file_size", central);
    label_capture_folder_ = named_label("Label_capture_folder", central);
    label_capture_folder_->setCursor(Qt::PointingHandCursor);
    label_capture_folder_->setStyleSheet("color: rgb(0, 0, 160); text-decoration: underline;");
    label_capture_folder_->installEventFilter(this);
    auto* file = new QGridLayout;
    file->addWidget(new QLabel("File:", central), 0, 0);
    file->addWidget(text_file_name_, 0, 1);
    file->addWidget(new QLabel("Size:", central), 1, 0);
    file->addWidget(label_file_size_, 1, 1);
    file->addWidget(new QLabel("Folder:", central), 2, 0);
    file->addWidget(label_capture_folder_, 2, 1);
    column.addLayout(file);
}

QGroupBox* Form_Veltro::build_set_times_panel(QWidget* central) {
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
        // The key that clicks it, small in the corner so the box number stays the caption.
        auto* key = named_label("", b, QString("key %1").arg(box));
        key->setObjectName(QString("Label_box_key_%1").arg(box));
        key->setAttribute(Qt::WA_TransparentForMouseEvents);
        key->setStyleSheet(
            "color: rgb(80, 80, 80); background: transparent; font-size: 7pt; font-weight: normal;");
        auto* corner = new QHBoxLayout(b);
        corner->setContentsMargins(0, 0, 3, 1);
        corner->addWidget(key, 0, Qt::AlignRight | Qt::AlignBottom);
        b->setToolTip(QString("Box %1 (key %1)").arg(box));
        connect(b, &QPushButton::pressed, this, [this, box] { command_box_mouse_down(box); });
        connect(b, &QPushButton::released, this, [this, box] { command_box_mouse_up(box); });
        connect(b, &QPushButton::clicked, this, [this, box] { command_box_click(box); });
        times->addWidget(b, 0, i);
        command_box_[static_cast<std::size_t>(i)] = b;
    }
    auto toggle = [this](const char* name, const char* caption, bool HeatTiming::*flag,
                         void (Form_Veltro::*paint)()) {
        auto* b = new QPushButton(caption, frame_set_times_);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this,
                trapped(std::string(name) + "_Click of Form Form_Veltro", [this, flag, paint] {
                    timing_.*flag = !(timing_.*flag);
                    (this->*paint)();
                }));
        return b;
    };
    command_100_ = toggle("Command_100", "+ 1/100", &HeatTiming::plus_hundredth, &Form_Veltro::Paint_cmd_100);
    command_deadheat_ =
        toggle("Command_deadheat", "Dead heat", &HeatTiming::dead_heat, &Form_Veltro::Paint_Deadheat);
    command_notime_ = toggle("Command_notime", "No Time", &HeatTiming::no_time, &Form_Veltro::Paint_Notime);
    command_notime_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(command_notime_, &QPushButton::customContextMenuRequested, this,
            [this](const QPoint& at) { menu_notime_->popup(command_notime_->mapToGlobal(at)); });
    times->addWidget(command_100_, 1, 0, 1, 2);
    times->addWidget(command_deadheat_, 1, 2, 1, 2);
    times->addWidget(command_notime_, 1, 4, 1, 2);
    command_split_goal_ = new QPushButton("Split", frame_set_times_);
    command_split_goal_->setObjectName("Command_split_goal");
    connect(command_split_goal_, &QPushButton::clicked, this, &Form_Veltro::command_split_goal_click);
    times->addWidget(command_split_goal_, 2, 0, 1, 6);
    frame_set_times_->setVisible(false);
    return frame_set_times_;
}

QGroupBox* Form_Veltro::build_dogs_panel(QWidget* central) {
    frame_dogs_ = new QGroupBox("Dogs", central);
    frame_dogs_->setObjectName("Frame_dogs");
    auto* dogs = new QGridLayout(frame_dogs_);
    dogs->setVerticalSpacing(2);
    for (int i = 0; i < 6; ++i) {
        auto* tile = named_label("", frame_dogs_); // Paint_box draws its number
        tile->setObjectName(QString("Label_dog_tile_%1").arg(i + 1));
        tile->setFixedSize(26, 22);
        tile->setAlignment(Qt::AlignCenter);
        auto* name = named_label("", frame_dogs_);
        name->setObjectName(QString("Label_dog_name_%1").arg(i + 1));
        dogs->addWidget(tile, i, 0);
        dogs->addWidget(name, i, 1);
        label_dog_tile_[static_cast<std::size_t>(i)] = tile;
        label_dog_name_[static_cast<std::size_t>(i)] = name;
    }
    frame_dogs_->setVisible(false);
    return frame_dogs_;
}

} // namespace veltro
