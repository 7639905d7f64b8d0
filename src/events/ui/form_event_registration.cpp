#include "events/ui/form_event_registration.h"

#include "events/dog_import.h"
#include "events/event_session.h"
#include "events/race_card.h"
#include "events/ui/form_race_card_preview.h"
#include "events/ui/form_speaker_card.h"
#include "support/app_paths.h"
#include "support/files.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/print_target.h"
#include "support/ui/run_trapped.h"
#include "support/veltro_error.h"
#include "support/wait.h"
#include "timing/ui/box_tile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValidator>
#include <sstream>

namespace veltro {

namespace {

constexpr const char* kFormName = "Form_event_registration";
constexpr int kTileSide = 30;

std::string location(const std::string& procedure) {
    return procedure + " of Form " + kFormName;
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// Refuses typed text the event file could not hold, so that it never comes back as "?".
class EventTextValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return EventDocument::can_hold(input.toStdString()) ? Acceptable : Invalid;
    }
};

void set_text(QLineEdit* field, const std::string& text) {
    if (field->text() != qs(text))
        field->setText(qs(text));
    field->setModified(false);
}

} // namespace

Form_event_registration::Form_event_registration(EventSession& session, QWidget* owner)
    : QMainWindow(owner, Qt::Window), session_(session) {
    setObjectName(kFormName);
    setWindowTitle("Veltro HDMI event registration");
    choose_event_file = [this] {
        return QFileDialog::getOpenFileName(this, "Chose event file", qs(session_.event_folder()),
                                            "xml Files (*.xml)")
            .toStdString();
    };
    choose_import_file = [this](const std::string& folder) {
        return QFileDialog::getOpenFileName(this, "Import dog names", qs(folder),
                                            "Dog names (*.csv *.txt *.tsv);;All files (*)")
            .toStdString();
    };
    confirm_card = [](FormRaceCardPreview& preview) { return preview.exec() == QDialog::Accepted; };
    wait = [](std::int32_t ms) { Wait_ms(ms); };
    import_pause = [](std::int32_t ms) { Do_Sleep(ms); };
    build();
    run_trapped(location("Form_Load"), [this] {
        show_fields();
        show_heat();
    });
}

Form_event_registration::~Form_event_registration() = default;

QLineEdit* Form_event_registration::add_field(QWidget* parent, const char* name) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setValidator(new EventTextValidator(field));
    connect(field, &QLineEdit::inputRejected, this, trapped(location(std::string(name) + "_KeyPress"), [] {
                the_operator().message("This text " + EventDocument::cannot_hold_reason() + ".",
                                       MsgIcon::Exclamation);
            }));
    connect(field, &QLineEdit::textChanged, this,
            trapped(location(std::string(name) + "_Change"), [this, field] { text_changed(field); }));
    field->installEventFilter(this);
    return field;
}

void Form_event_registration::build() {
    QMenu* form = menuBar()->addMenu("Form");
    form->setObjectName("menu_form");
    auto add = [this, form](const char* name, const char* text, auto action) {
        QAction* a = form->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, trapped(location(std::string(name) + "_Click"), action));
    };
    add("item_open_event_file", "Open event file", [this] {
        const std::string path = choose_event_file();
        if (path.empty())
            return;
        commit_pending_fields();
        save();
        try {
            session_.open_another_event_file(path);
        } catch (...) {
            show_fields();
            throw;
        }
        show_fields();
        Update_heat();
        emit event_changed();
    });
    add("item_create_event_file", "Create new Event file", [this] {
        // The session saves the open event itself, under its own name and day, before it asks.
        commit_pending_fields();
        session_.create_new_event_file();
        show_fields();
        show_heat();
        emit event_changed();
    });
    add("item_close_event_file", "Close event file", [this] {
        // What was typed since the last save goes into the file before the document is dropped.
        commit_pending_fields();
        save();
        session_.close_event_file();
        show_fields();
        label_file_name->setToolTip({});
        emit event_changed();
    });
    add("item_import_dogs", "Import dog names", [this] { Import_Dogs(); });
    add("item_print_form", "Print form", [this] { print_form(); });
    add("item_make_speaker_card", "Make speaker card", [this] { make_speaker_card(); });
    add("item_hide", "Hide", [this] {
        commit_pending_fields();
        save();
        leaving_ = true;
        hide();
    });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* frame_file = new QGroupBox("Event File name", central);
    frame_file->setObjectName("Frame_event_file_name");
    label_file_name = new QLabel(frame_file);
    label_file_name->setObjectName("Label_event_file_name");
    label_file_name->setMinimumWidth(420);
    (new QVBoxLayout(frame_file))->addWidget(label_file_name);
    layout->addWidget(frame_file);

    auto* event_line = new QHBoxLayout;
    auto* frame_name = new QGroupBox("Event name", central);
    frame_name->setObjectName("Frame_event_name");
    (new QVBoxLayout(frame_name))->addWidget(Text_event_name = add_field(frame_name, "Text_event_name"));
    auto* frame_day = new QGroupBox("Day", central);
    frame_day->setObjectName("Frame_day");
    (new QVBoxLayout(frame_day))->addWidget(Text_day = add_field(frame_day, "Text_day"));
    // One form for every event, so that the file names sort by day.
    Text_day->setPlaceholderText("YYYY-MM-DD");
    Text_day->setToolTip("The day of the event as year-month-day, e.g. 2026-06-12; the event file is named "
                         "after the event and this day");
    event_line->addWidget(frame_name, 2);
    event_line->addWidget(frame_day, 1);
    layout->addLayout(event_line);

    Frame_boxes = new QGroupBox("Heat 1", central);
    Frame_boxes->setObjectName("Frame_boxes");
    auto* grid = new QGridLayout(Frame_boxes);
    UpDown_heat = new QSpinBox(Frame_boxes);
    UpDown_heat->setObjectName("UpDown_heat");
    UpDown_heat->setRange(1, kEventHeats);
    UpDown_heat->setSingleStep(1);
    UpDown_heat->setKeyboardTracking(false);
    connect(UpDown_heat, &QSpinBox::valueChanged, this,
            trapped(location("UpDown_heat_Change"), [this](int value) { selector_changed(value); }));
    grid->addWidget(new QLabel("Heat name", Frame_boxes), 0, 0);
    grid->addWidget(Text_heatName = add_field(Frame_boxes, "Text_heatName"), 0, 1, 1, 2);
    grid->addWidget(UpDown_heat, 0, 3);
    grid->addWidget(new QLabel("Start time", Frame_boxes), 1, 0);
    grid->addWidget(Text_heat_start_time = add_field(Frame_boxes, "Text_heat_start_time"), 1, 1);
    grid->addWidget(new QLabel("Length", Frame_boxes), 1, 2);
    grid->addWidget(Text_heatLength = add_field(Frame_boxes, "Text_heatLength"), 1, 3);
    grid->addWidget(new QLabel("Box", Frame_boxes), 2, 0);
    grid->addWidget(new QLabel("Dog", Frame_boxes), 2, 1);
    for (int i = 0; i < kTimedBoxes; ++i) {
        const auto n = static_cast<std::size_t>(i);
        Picture_box[n] = new QLabel(Frame_boxes);
        Picture_box[n]->setObjectName(QString("Picture_box_%1").arg(i + 1));
        Picture_box[n]->setFixedSize(kTileSide, kTileSide);
        Text_dog_name[n] = add_field(Frame_boxes, ("Text_dog_name_" + std::to_string(i + 1)).c_str());
        grid->addWidget(Picture_box[n], i + 3, 0);
        grid->addWidget(Text_dog_name[n], i + 3, 1, 1, 3);
    }
    layout->addWidget(Frame_boxes);
    setCentralWidget(central);
}

void Form_event_registration::show_fields() {
    const EventEditorFields& f = session_.fields();
    showing_ = true;
    set_text(Text_event_name, f.event_name);
    set_text(Text_day, f.day);
    set_text(Text_heatName, f.heat_name);
    set_text(Text_heat_start_time, f.heat_start_time);
    set_text(Text_heatLength, f.heat_length);
    for (std::size_t i = 0; i < Text_dog_name.size(); ++i)
        set_text(Text_dog_name[i], f.dog_names[i]);
    showing_ = false;
    label_file_name->setText(qs(f.file_label));
    label_file_name->setToolTip(qs(f.file_label_tip));
}

void Form_event_registration::show_heat() {
    const QSignalBlocker quiet(UpDown_heat);
    UpDown_heat->setValue(session_.current_heat());
    Update_heat();
}

void Form_event_registration::Update_heat() {
    Frame_boxes->setTitle("Heat " + QString::number(session_.current_heat()));
}

void Form_event_registration::Update_Event_file_name() {
    session_.Update_Event_file_name();
    label_file_name->setText(qs(session_.fields().file_label));
    label_file_name->setToolTip(qs(session_.current_event_file()));
}

void Form_event_registration::no_event_file() {
    commit_pending_fields();
    save();
    session_.no_event_file();
    show_fields();
    label_file_name->setToolTip({});
}

void Form_event_registration::Load_Heat_Data() {
    session_.Load_Heat_Data();
    show_fields();
}

bool Form_event_registration::editable() const {
    // A file that failed to load leaves an empty document: nothing can be written into it.
    return session_.file_open() && !session_.document().empty();
}

void Form_event_registration::text_changed(QLineEdit* field) {
    if (showing_)
        return;
    EventEditorFields& f = session_.fields();
    const std::string text = field->text().toStdString();
    if (field == Text_event_name) {
        f.event_name = text;
        if (editable())
            session_.write_event_name(text);
    } else if (field == Text_day) {
        f.day = text;
        if (editable())
            session_.write_event_day(text);
    } else if (field == Text_heatName) {
        f.heat_name = text;
    } else if (field == Text_heat_start_time) {
        f.heat_start_time = text;
    } else if (field == Text_heatLength) {
        f.heat_length = text;
    }
    for (std::size_t i = 0; i < Text_dog_name.size(); ++i) {
        if (field == Text_dog_name[i]) {
            f.dog_names[i] = text;
            if (editable())
                session_.write_dog_name(static_cast<std::int16_t>(i + 1), text);
        }
    }
}

void Form_event_registration::field_left(QLineEdit* field) {
    if (!editable())
        return;
    const std::string text = field->text().toStdString();
    if (field == Text_heatName) {
        session_.write_heat_name(text);
        save();
    } else if (field == Text_heat_start_time) {
        session_.write_heat_time(text);
    } else if (field == Text_heatLength) {
        session_.write_heat_length(text);
        save();
    } else if (field != Text_event_name && field != Text_day) {
        save(); // a dog name, written already at every change
    }
    field->setModified(false);
}

void Form_event_registration::commit_pending_fields() {
    if (!editable())
        return;
    if (Text_heatName->isModified())
        session_.write_heat_name(Text_heatName->text().toStdString());
    if (Text_heat_start_time->isModified())
        session_.write_heat_time(Text_heat_start_time->text().toStdString());
    if (Text_heatLength->isModified())
        session_.write_heat_length(Text_heatLength->text().toStdString());
    for (QLineEdit* field : {Text_heatName, Text_heat_start_time, Text_heatLength})
        field->setModified(false);
}

void Form_event_registration::save() {
    // A message box of the save (a read-only file) deactivates the window, which saves again.
    if (saving_)
        return;
    saving_ = true;
    try {
        session_.XML_to_File();
    } catch (...) {
        saving_ = false;
        throw;
    }
    saving_ = false;
    emit event_changed();
}

void Form_event_registration::selector_changed(int value) {
    const std::int16_t old = session_.current_heat();
    if (value == old)
        return;
    if (!editable()) {
        the_operator().beep();
        show_heat(); // the selector keeps showing the heat the fields hold
        return;
    }
    commit_pending_fields();
    if (value < old)
        save();
    session_.current_heat(static_cast<std::int16_t>(value));
    Update_heat();
    Load_Heat_Data();
}

bool Form_event_registration::eventFilter(QObject* watched, QEvent* event) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (!field)
        return QMainWindow::eventFilter(watched, event);
    const std::string name = field->objectName().toStdString();
    const bool heat_field = field != Text_event_name && field != Text_day;
    if (event->type() == QEvent::KeyPress && heat_field) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool edits = (!key->text().isEmpty() && key->key() != Qt::Key_Tab &&
                            key->key() != Qt::Key_Backtab && key->key() != Qt::Key_Escape) ||
                           key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut) ||
                           key->matches(QKeySequence::Delete);
        const bool refused = run_trapped(location(name + "_KeyPress"), [&] {
            if (!edits || editable())
                return false;
            the_operator().beep();
            return true;
        });
        if (refused)
            return true;
    } else if (event->type() == QEvent::FocusOut) {
        // A menu opening or another window taking over does not leave the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            run_trapped(location(name + "_LostFocus"), [&] { field_left(field); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form_event_registration::showEvent(QShowEvent* event) {
    leaving_ = false;
    QMainWindow::showEvent(event);
}

void Form_event_registration::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (isActiveWindow()) {
        run_trapped(location("Form_Activate"), [this] {
            show_fields();
            show_heat();
            Update_Event_file_name();
            for (int i = 0; i < kTimedBoxes; ++i)
                Paint_box(Picture_box[static_cast<std::size_t>(i)], static_cast<std::int16_t>(i + 1));
        });
    } else if (!leaving_ && !QApplication::activeModalWidget()) {
        // A window being closed or hidden has saved already; a question box on top is unanswered, and
        // what it decides may change which file the document belongs to.
        run_trapped(location("Form_Deactivate"), [this] {
            commit_pending_fields();
            save();
        });
    }
}

void Form_event_registration::closeEvent(QCloseEvent* event) {
    run_trapped(location("Form_QueryUnload"), [this] {
        Trace("*Form_event_registration, Form_QueryUnload, begin");
        commit_pending_fields();
        save();
        Trace("*Form_event_registration, Form_QueryUnload, end");
    });
    leaving_ = true;
    QMainWindow::closeEvent(event);
}

void Form_event_registration::Import_Dogs() {
    if (!session_.import_possible())
        return;
    const std::string path = choose_import_file(import_folder());
    if (path.empty())
        return;
    store_import_folder(path);
    const std::optional<std::string> text = read_whole_file(path);
    if (!text)
        throw VeltroError(err::kFileNotFound, "File not found: " + path);
    if (looks_like_race_card(*text)) {
        import_race_card(*text);
        return;
    }
    DogImportHooks hooks;
    hooks.heat_changed = [this] {
        show_heat();
        repaint();
    };
    hooks.name_stored = [this] {
        show_fields();
        repaint();
        import_pause(500);
    };
    std::istringstream in(*text);
    try {
        veltro::Import_Dogs(in, session_, hooks);
    } catch (...) {
        show_fields();
        emit event_changed();
        throw;
    }
    show_fields();
    emit event_changed();
}

void Form_event_registration::import_race_card(const std::string& bytes) {
    Trace("Import_Dogs start");
    if (!parse_race_card(bytes)) {
        the_operator().message("The race card cannot be read as text (it is neither UTF-8, UTF-16 nor "
                               "Windows-1252).",
                               MsgIcon::Exclamation);
        return;
    }
    FormRaceCardPreview preview(bytes, session_.document(), this);
    if (!confirm_card(preview))
        return;
    const std::int32_t count = veltro::import_race_card(preview.card(), session_);
    show_heat();
    show_fields();
    emit event_changed();
    the_operator().message(std::to_string(count) + " Dogs imported!");
}

void Form_event_registration::print_form() {
    const bool ask = printer_dialog_wanted();
    PrintTarget target = choose_print_target(this, qs(std::string(kProgramId) + "_event_form"), ask);
    if (!target.printer)
        return;
    const std::string device = target.pdf_path.isEmpty() ? target.printer->printerName().toStdString()
                                                         : target.pdf_path.toStdString();
    auto step = [this](const std::string& caption, int percent) {
        if (progress)
            progress(caption, percent);
    };
    try {
        step("Printing form, on\r\n" + (device.empty() ? std::string("(no printer name)") : device), 0);
        wait(600);
        step({}, 10);
        if (!print_window_image(this, *target.printer))
            throw VeltroError(err::kPrinterError, "Printer error: the form could not be printed");
    } catch (...) {
        step({}, -1);
        throw;
    }
    step({}, 100);
    wait(1000);
    step({}, -1);
    tell_if_printed_to_file(target, "the form is");
}

void Form_event_registration::make_speaker_card() {
    if (!speaker_card_) {
        speaker_card_ = new Form_Veltro_SpeakerCard(this);
        speaker_card_->progress = [this](const std::string& caption, int percent) {
            if (progress)
                progress(caption, percent);
        };
        speaker_card_->wait = [this](std::int32_t ms) { wait(ms); };
    }
    SpeakerCardValues v;
    v.event_name = Text_event_name->text().toStdString();
    v.heat = static_cast<std::int16_t>(UpDown_heat->value());
    v.heat_name = Text_heatName->text().toStdString();
    v.start_time = Text_heat_start_time->text().toStdString();
    v.length = Text_heatLength->text().toStdString();
    for (std::size_t i = 0; i < Text_dog_name.size(); ++i)
        v.dog_names[i] = Text_dog_name[i]->text().toStdString();
    speaker_card_->fill(v);
    speaker_card_->show();
    speaker_card_->raise();
}

} // namespace veltro
