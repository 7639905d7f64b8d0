#include "capture/ui/form_select_video.h"

#include "capture/format_description.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/text.h"
#include "support/ui/run_trapped.h"
#include "support/veltro_error.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace veltro {
namespace {
const std::string kOwner = " of Form Form_select_Video";
// Column widths given in twips, at 15 twips per pixel.
constexpr int twips(int t) {
    return t / 15;
}
} // namespace

Form_select_Video::Form_select_Video(ComponentFactory make_component, QWidget* parent)
    : QWidget(parent, Qt::Window), make_component_(std::move(make_component)) {
    setObjectName("Form_select_Video");
    setWindowTitle("Select HDMI Video Source");

    auto* bar = new QMenuBar(this);
    menu_form_ = bar->addMenu("Form");
    menu_form_->setObjectName("menu_form");
    auto* copy = menu_form_->addAction("Form capture to ClipBoard");
    copy->setObjectName("item_copy_to_clipboard");
    auto* iterate = menu_form_->addAction("List contents to ClipBoard");
    iterate->setObjectName("item_iterate");
    connect(copy, &QAction::triggered, this,
            trapped("item_copy_to_clipboard_Click" + kOwner, [this] { item_copy_to_clipboard_click(); }));
    connect(iterate, &QAction::triggered, this,
            trapped("item_iterate_Click" + kOwner, [this] { item_iterate_click(); }));
    connect(menu_form_, &QMenu::aboutToShow, this, [this] { menu_form_click(); });
    menu_debug_ = bar->addMenu("Debug");
    menu_debug_->setObjectName("menu_debug");
    connect(menu_debug_->addAction("Show friendlyname & property"), &QAction::triggered, this,
            trapped("item_show_names_Click" + kOwner, [this] { debug_show_names(); }));
    connect(menu_debug_->addAction("Get VCAP"), &QAction::triggered, this,
            trapped("item_get_vcap_Click" + kOwner, [this] { debug_get_vcap(); }));
    connect(menu_debug_->addAction("Get Intervals"), &QAction::triggered, this,
            trapped("item_get_intervals_Click" + kOwner, [this] { debug_get_intervals(); }));
    menu_debug_->menuAction()->setVisible(is_debug_run());

    auto* rate_frame = new QGroupBox("Capture frame rate", this);
    rate_frame->setObjectName("frame_Capture_rate");
    auto* rate_layout = new QVBoxLayout(rate_frame);
    auto* limit = new QCheckBox("Limit capture to 25 fps", rate_frame);
    limit->setObjectName("Check_limit_fps");
    // Read when the saved source is opened (Set_Source_from_Saved), which then asks for 25 fps.
    limit->setChecked(current_capture().limit_to_25_fps);
    connect(limit, &QCheckBox::toggled, this, [](bool on) { current_capture().limit_to_25_fps = on; });
    rate_layout->addWidget(limit);

    list_ = new QTreeWidget(this);
    list_->setObjectName("ListView_prop");
    list_->setRootIsDecorated(false);
    list_->setColumnCount(4);
    list_->setHeaderLabels({"Sn", "Video Source", "Pn", "Properties"});
    list_->setColumnWidth(0, twips(400) + 10);
    list_->setColumnWidth(1, twips(3500));
    list_->setColumnWidth(2, twips(400) + 10);
    list_->setColumnWidth(3, twips(2000));
    list_->setMinimumWidth(twips(6300) + 40);
    connect(list_, &QTreeWidget::itemClicked, this,
            trapped("ListView_prop_Click" + kOwner, [this](QTreeWidgetItem* item, int) {
                list_view_prop_click(list_->indexOfTopLevelItem(item));
            }));

    auto* enum_button = new QPushButton("Enumerate Video sources", this);
    enum_button->setObjectName("Command_enum2");
    auto* done = new QPushButton("Select Done", this);
    done->setObjectName("Command_select_done");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("Command_Cancel");
    connect(enum_button, &QPushButton::clicked, this,
            trapped("Command_enum2_Click" + kOwner, [this] { command_enum2_click(); }));
    connect(done, &QPushButton::clicked, this,
            trapped("Command_select_done_Click" + kOwner, [this] { command_select_done_click(); }));
    connect(cancel, &QPushButton::clicked, this, [this] { hide(); });

    auto* selection = new QGroupBox("Selection", this);
    selection->setObjectName("Frame_selection");
    auto* grid = new QGridLayout(selection);
    auto value_label = [selection](const char* name) {
        auto* label = new QLabel(selection);
        label->setObjectName(name);
        label->setMinimumWidth(160);
        return label;
    };
    label_source_ = value_label("Label_video_source");
    label_friendly_ = value_label("Label_selected_friendly");
    label_property_ = value_label("Label_property_string");
    label_property_num_ = value_label("Label_property_num");
    grid->addWidget(new QLabel("Source num", selection), 0, 0);
    grid->addWidget(label_source_, 0, 1);
    grid->addWidget(new QLabel("Source name", selection), 1, 0);
    grid->addWidget(label_friendly_, 1, 1);
    grid->addWidget(new QLabel("Property", selection), 2, 0);
    grid->addWidget(label_property_, 2, 1);
    grid->addWidget(new QLabel("Property num", selection), 3, 0);
    grid->addWidget(label_property_num_, 3, 1);

    // A short exposure keeps a dog at full speed sharp; the gain makes up for the light.
    controls_frame_ = new QGroupBox("Exposure and gain", this);
    controls_frame_->setObjectName("Frame_controls");
    auto* controls = new QGridLayout(controls_frame_);
    label_exposure_ = new QLabel(controls_frame_);
    label_exposure_->setObjectName("Label_exposure");
    text_exposure_ = new QLineEdit(controls_frame_);
    text_exposure_->setObjectName("Text_exposure");
    label_gain_ = new QLabel(controls_frame_);
    label_gain_->setObjectName("Label_gain");
    text_gain_ = new QLineEdit(controls_frame_);
    text_gain_->setObjectName("Text_gain");
    text_exposure_->setPlaceholderText("camera's own");
    text_gain_->setPlaceholderText("camera's own");
    controls->addWidget(label_exposure_, 0, 0);
    controls->addWidget(text_exposure_, 0, 1);
    controls->addWidget(label_gain_, 1, 0);
    controls->addWidget(text_gain_, 1, 1);
    controls_frame_->setVisible(false);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(enum_button);
    buttons->addWidget(done);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(rate_frame);
    right->addWidget(selection);
    right->addWidget(controls_frame_);
    right->addLayout(buttons);
    auto* main = new QHBoxLayout;
    main->addWidget(list_, 1);
    main->addLayout(right);
    auto* outer = new QVBoxLayout(this);
    outer->setMenuBar(bar);
    outer->addLayout(main);
    resize(860, 380);
}

void Form_select_Video::Do_Enum() {
    component_.reset();
    component_ = make_component_();
    list_->clear();
    rows_ = veltro::Do_Enum(*component_);
    for (const auto& row : rows_) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, QString::number(row.source_number));
        item->setText(1, QString::fromStdString(row.friendly_name));
        item->setText(2, QString::number(row.format_number));
        item->setText(3, QString::fromStdString(row.description));
    }
}

void Form_select_Video::Do_Select() {
    const auto row =
        veltro::Do_Select(rows_, Read_Setting(keys::friendlyname), Read_Setting(keys::videoproperty));
    list_->clearSelection();
    if (row) {
        auto* item = list_->topLevelItem(static_cast<int>(*row));
        list_->setCurrentItem(item);
        list_->scrollToItem(item);
        show_controls(rows_[*row], true);
    }
}

void Form_select_Video::show_controls(const SourceRow& row, bool saved_source) {
    exposure_.reset();
    gain_.reset();
    if (component_ && component_->SelectSource("video:" + std::to_string(row.source_number))) {
        exposure_ = component_->control(ControlKind::Exposure);
        gain_ = component_->control(ControlKind::Gain);
    }
    const ControlChoice stored = saved_source ? read_control_choice() : ControlChoice{};
    auto fill = [](QLabel* label, QLineEdit* text, const std::optional<ControlRange>& range, const char* name,
                   const std::string& unit, const std::optional<double>& value) {
        label->setVisible(range.has_value());
        text->setVisible(range.has_value());
        if (range) {
            const std::string u = unit.empty() ? "" : " " + unit;
            label->setText(QString::fromStdString(std::string(name) + " (" + control_value_text(range->min) +
                                                  " to " + control_value_text(range->max) + u + ")"));
        }
        text->setText(range && value ? QString::fromStdString(control_value_text(*value)) : QString());
    };
    fill(label_exposure_, text_exposure_, exposure_, "Exposure time", "µs", stored.exposure_us);
    fill(label_gain_, text_gain_, gain_, "Gain", gain_ ? gain_->unit : "", stored.gain);
    controls_frame_->setVisible(exposure_.has_value() || gain_.has_value());
}

std::optional<ControlChoice> Form_select_Video::typed_controls() {
    ControlChoice choice;
    try {
        if (exposure_) {
            choice.exposure_us = parse_control_value(text_exposure_->text().trimmed().toStdString(),
                                                     ControlKind::Exposure, *exposure_);
        }
        if (gain_) {
            choice.gain =
                parse_control_value(text_gain_->text().trimmed().toStdString(), ControlKind::Gain, *gain_);
        }
    } catch (const VeltroError& e) {
        the_operator().message(e.description(), MsgIcon::Exclamation);
        return std::nullopt;
    }
    return choice;
}

void Form_select_Video::command_enum2_click() {
    Do_Enum();
    Do_Select();
}

void Form_select_Video::list_view_prop_click(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return;
    }
    const SourceRow& r = rows_[static_cast<std::size_t>(row)];
    label_source_->setText(QString::number(r.source_number));
    label_friendly_->setText(QString::fromStdString(r.friendly_name));
    label_property_num_->setText(QString::number(r.format_number));
    label_property_->setText(QString::fromStdString(r.description));
    // The exposure and gain stored belong to the source they were chosen for.
    const bool same_source = Read_Setting(keys::friendlyname) == r.friendly_name;
    if (!same_source) {
        save_control_choice({});
    }
    save_source_choice(r);
    row_chosen_ = true;
    show_controls(r, same_source);
}

void Form_select_Video::command_select_done_click() {
    if (!row_chosen_) {
        the_operator().message("No video source selected!");
        return;
    }
    const auto choice = typed_controls();
    if (!choice) {
        return; // said why; the window stays open and nothing is stored
    }
    save_control_choice(*choice);
    hide();
}

void Form_select_Video::item_copy_to_clipboard_click() {
    QApplication::clipboard()->setPixmap(grab());
}

void Form_select_Video::item_iterate_click() {
    const auto& facts = process_facts();
    QApplication::clipboard()->setText(QString::fromStdString(
        source_list_text(rows_, now_default_datetime(), facts.version_text, facts.computer_name)));
}

void Form_select_Video::menu_form_click() {
    if (QApplication::queryKeyboardModifiers() & Qt::AltModifier) {
        menu_debug_->menuAction()->setVisible(!menu_debug_->menuAction()->isVisible());
    }
}

void Form_select_Video::debug_show_names() {
    if (!component_) {
        Do_Enum();
    }
    std::string text;
    for (int n = 1; n <= 10 && component_->SelectSource("video:" + std::to_string(n)); ++n) {
        text += std::to_string(n) + ": " + component_->GetProperty("sourceFriendlyName") + " / " +
                component_->GetProperty("sourceDescription") + "\n";
    }
    the_operator().message(text.empty() ? "No video sources" : text);
}

void Form_select_Video::debug_get_vcap() {
    if (!component_) {
        Do_Enum();
    }
    the_operator().message("BuildNumber = " + component_->GetProperty("BuildNumber") +
                           "\nnumprops = " + component_->GetProperty("numprops"));
}

void Form_select_Video::debug_get_intervals() {
    if (!component_) {
        Do_Enum();
    }
    component_->SetProperty("GetIntervals", "0");
    the_operator().message("MaxInterval = " + component_->GetProperty("MaxInterval") +
                           "\nMinInterval = " + component_->GetProperty("MinInterval"));
}

} // namespace veltro
