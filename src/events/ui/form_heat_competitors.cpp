#include "events/ui/form_heat_competitors.h"

#include "events/event_document.h"
#include "support/trace.h"
#include "support/ui/run_trapped.h"
#include "timing/ui/box_tile.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace veltro {

namespace {

constexpr const char* kFormName = "Form_heat_competitors";
constexpr int kTileSide = 24;

std::string location(const char* procedure) {
    return std::string(procedure) + " of Form " + kFormName;
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

Form_heat_competitors::Form_heat_competitors(HeatValues& rec, const EventSession& session, QWidget* owner)
    : QMainWindow(owner, Qt::Window), list_(rec, session) {
    setObjectName(kFormName);
    setWindowTitle("Veltro HDMI heat competitors");
    build();
}

Form_heat_competitors::~Form_heat_competitors() = default;

void Form_heat_competitors::build() {
    QMenu* form = menuBar()->addMenu("Form");
    form->setObjectName("menu_form");
    QAction* hide_item = form->addAction("Hide");
    hide_item->setObjectName("item_hide");
    connect(hide_item, &QAction::triggered, this,
            trapped(location("item_hide_Click"), [this] { item_hide_click(); }));

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);

    auto* heat_row = new QHBoxLayout;
    UpDown_heat = new QSpinBox(central);
    UpDown_heat->setObjectName("UpDown_heat");
    UpDown_heat->setRange(1, kEventHeats);
    Label_heatno = new QLabel(central);
    Label_heatno->setObjectName("Label_heatno");
    Label_heatno->setMinimumWidth(40);
    auto* heat_caption = new QLabel("Heat", central);
    heat_row->addWidget(heat_caption);
    heat_row->addWidget(UpDown_heat);
    heat_row->addWidget(Label_heatno);
    heat_row->addStretch();
    column->addLayout(heat_row);

    auto* frame_heat_name = new QGroupBox("Heat name", central);
    frame_heat_name->setObjectName("Frame_heat_name");
    auto* heat_name_layout = new QVBoxLayout(frame_heat_name);
    Text_Heat_name = new QLineEdit(frame_heat_name);
    Text_Heat_name->setObjectName("Text_Heat_name");
    heat_name_layout->addWidget(Text_Heat_name);
    column->addWidget(frame_heat_name);

    auto* dogs_caption = new QLabel("Dogs in this heat", central);
    dogs_caption->setObjectName("Label_dogs");
    column->addWidget(dogs_caption);
    auto* dogs = new QGridLayout;
    for (int i = 0; i < kTimedBoxes; ++i) {
        auto* tile = new QLabel(central);
        tile->setObjectName(QString("Picture_box_%1").arg(i + 1));
        tile->setFixedSize(kTileSide, kTileSide);
        Paint_box(tile, static_cast<std::int16_t>(i + 1));
        QLineEdit* field = new QLineEdit(central);
        field->setObjectName(QString("Text_dog_name_%1").arg(i + 1));
        field->setMinimumWidth(220);
        Text_dog_name[static_cast<std::size_t>(i)] = field;
        dogs->addWidget(tile, i, 0);
        dogs->addWidget(field, i, 1);
    }
    column->addLayout(dogs);

    command_update = new QPushButton("Update current file", central);
    command_update->setObjectName("Command_update");
    column->addWidget(command_update);
    setCentralWidget(central);

    connect(UpDown_heat, &QSpinBox::valueChanged, this,
            trapped(location("UpDown_heat_Change"), [this](int heat) { up_down_heat_change(heat); }));
    connect(Text_Heat_name, &QLineEdit::textChanged, this,
            trapped(location("Text_Heat_name_Change"), [this] { text_heat_name_change(); }));
    for (int i = 0; i < kTimedBoxes; ++i) {
        QLineEdit* field = Text_dog_name[static_cast<std::size_t>(i)];
        connect(field, &QLineEdit::textChanged, this,
                trapped(location("Text_dog_name_Change"), [this, i] { text_dog_name_change(i + 1); }));
        // A name typed in is on disk as soon as the field is left, so closing the recording from the
        // main window cannot drop it.
        connect(field, &QLineEdit::editingFinished, this,
                trapped(location("Text_dog_name_LostFocus"), [this] { store_changes(); }));
    }
    connect(Text_Heat_name, &QLineEdit::editingFinished, this,
            trapped(location("Text_Heat_name_LostFocus"), [this] { store_changes(); }));
    connect(command_update, &QPushButton::clicked, this,
            trapped(location("Command_update_Click"), [this] { command_update_click(); }));
}

// Setting a field's text runs its change handler, which is what writes into the recording.
void Form_heat_competitors::show_fields() {
    const HeatCompetitorList::Fields& f = list_.fields();
    for (std::size_t i = 0; i < Text_dog_name.size(); ++i)
        Text_dog_name[i]->setText(qs(f.dog_names[i]));
    Text_Heat_name->setText(qs(f.heat_name));
}

void Form_heat_competitors::Form_Load(std::int16_t main_heat) {
    Trace("*Form_heat_competitors, Form_Load, begin");
    run_trapped(location("load_Dog_Names"), [this] {
        list_.load_Dog_Names();
        show_fields();
    });
    run_trapped(location("Form_Load"), [&] {
        const QSignalBlocker quiet(UpDown_heat);
        UpDown_heat->setValue(list_.first_heat(main_heat));
    });
    apply_heat(UpDown_heat->value(), true);
}

void Form_heat_competitors::up_down_heat_change(int heat) {
    apply_heat(heat, false);
}

void Form_heat_competitors::apply_heat(int heat, bool opening) {
    run_trapped(location("UpDown_heat_Change"), [&] {
        Label_heatno->setText(QString::number(heat));
        if (list_.apply_heat(static_cast<std::int16_t>(heat), opening))
            show_fields();
    });
    store_changes();
}

void Form_heat_competitors::text_dog_name_change(int box) {
    const std::size_t i = static_cast<std::size_t>(box - 1);
    if (list_.dog_name_changed(static_cast<std::int16_t>(box), Text_dog_name[i]->text().toStdString()))
        emit results_changed();
}

void Form_heat_competitors::text_heat_name_change() {
    Label_heatno->setText(QString::number(UpDown_heat->value()));
    if (list_.heat_name_changed(Text_Heat_name->text().toStdString()))
        emit results_changed();
}

void Form_heat_competitors::command_update_click() {
    if (list_.update_current_file())
        emit results_changed();
    store_changes();
}

void Form_heat_competitors::store_changes() {
    run_trapped(location("Write_XML_header"), [this] { list_.store_changes(); });
}

void Form_heat_competitors::item_hide_click() {
    close();
}

void Form_heat_competitors::closeEvent(QCloseEvent* event) {
    Trace("*Form_heat_competitors, Form_Unload, begin");
    store_changes();
    emit unloaded();
    QMainWindow::closeEvent(event);
}

} // namespace veltro
