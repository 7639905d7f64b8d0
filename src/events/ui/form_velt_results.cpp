#include "events/ui/form_velt_results.h"

#include "events/ui/results_print.h"
#include "support/app_paths.h"
#include "support/digest.h"
#include "support/files.h"
#include "support/operator.h"
#include "support/operator_name.h"
#include "support/process_facts.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/ui/print_target.h"
#include "support/ui/run_trapped.h"
#include "support/ui/user_folders.h"
#include "support/veltro_error.h"
#include "support/wait.h"
#include "timing/lengths.h"
#include "timing/results_document.h"
#include "timing/time_text.h"
#include "timing/ui/box_tile.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

namespace veltro {

namespace {

constexpr const char* kFormName = "Form_Velt_Results";
constexpr const char* kEmptyTime = "00,00";
constexpr int kTileSide = 40;

std::string location(const char* procedure) {
    return std::string(procedure) + " of Form " + kFormName;
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* label(QWidget* parent, const char* name, const QString& text = {}) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QString warning_style() {
    const Rgb c = kCloseFinishColour;
    return QString("color: rgb(%1, %2, %3);").arg(c.r).arg(c.g).arg(c.b);
}

// The dead-heat marker: a circle beside the rank.
QPixmap circle_pixmap() {
    QPixmap pix(16, 16);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::red, 2));
    p.drawEllipse(QRectF(2, 2, 12, 12));
    return pix;
}

} // namespace

Form_Velt_Results::Form_Velt_Results(QWidget* owner) : QMainWindow(owner, Qt::Window) {
    setObjectName(kFormName);
    setWindowTitle("Veltro HDMI Results");
    choose_export_file = [this](const std::string& suggested) {
        return QFileDialog::getSaveFileName(this, "Export results", qs(suggested),
                                            "CSV (*.csv);;JSON (*.json)")
            .toStdString();
    };
    build();
    run_trapped(location("Form_Load"), [this] { Form_Load(); });
}

Form_Velt_Results::~Form_Velt_Results() = default;

void Form_Velt_Results::build() {
    QMenu* form = menuBar()->addMenu("Form");
    form->setObjectName("menu_form");
    auto add = [this](QMenu* menu, const char* name, const char* text, const char* where, auto action) {
        QAction* a = menu->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, trapped(location(where), action));
    };
    add(form, "item_print", "Print", "item_print_Click", [this] { print(); });
    add(form, "item_hide", "Hide", "item_hide_Click", [this] { hide(); });
    add(form, "item_clear_results", "Clear all results", "item_clear_results_Click", [this] {
        if (the_operator().ask_ok_cancel("Clearing all results, are you sure?", "Veltro clearing results"))
            emit clear_all_requested();
    });
    add(form, "item_export_clipboard", "Export results to Clipboard", "item_export_clipboard_Click",
        [this] { Export_to_Clipboard(); });
    add(form, "item_export_results", "Export results...", "item_export_results_Click",
        [this] { export_results(); });
    QAction* print_estimates = form->addAction("Print estimates");
    print_estimates->setObjectName("item_print_estimates");
    print_estimates->setCheckable(true);
    print_estimates->setChecked(Read_Setting(keys::print_estimates) == "1");
    connect(print_estimates, &QAction::toggled, this, trapped(location("item_print_estimates_Click"), [this] {
                const auto* a = findChild<QAction*>("item_print_estimates");
                Write_Setting(keys::print_estimates, a->isChecked() ? "1" : "0");
            }));
    menu_debug_ = menuBar()->addMenu("Debug");
    menu_debug_->setObjectName("menu_debug");
    add(menu_debug_, "item_paint_boxes", "Paint boxes", "item_paint_boxes_Click", [this] { paint_boxes(); });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* top = new QHBoxLayout;
    auto* frame_event = new QGroupBox("Event", central);
    frame_event->setObjectName("Frame_event");
    (new QVBoxLayout(frame_event))->addWidget(Label_event_name = label(frame_event, "Label_event_name"));
    Label_event_name->setMinimumSize(300, 34);
    auto* frame_heat = new QGroupBox("Heat", central);
    frame_heat->setObjectName("Frame_heat");
    (new QVBoxLayout(frame_heat))->addWidget(Label_Heat_ID = label(frame_heat, "Label_Heat_ID"));
    Label_Heat_ID->setMinimumWidth(60);
    QFont id_font = Label_Heat_ID->font();
    id_font.setPointSize(18);
    id_font.setBold(true);
    Label_Heat_ID->setFont(id_font);
    top->addWidget(frame_event, 1);
    top->addWidget(frame_heat);
    layout->addLayout(top);

    layout->addWidget(Label_Heat_name = label(central, "Label_Heat_name"));
    Label_Heat_name->setMinimumSize(360, 30);
    layout->addWidget(Label_heat_started = label(central, "Label_heat_started"));
    layout->addWidget(Label_box_delay = label(central, "Label_box_delay"));
    Label_box_delay->hide();
    // Shown only for an official result; printed with the window.
    layout->addWidget(label_official = label(central, "Label_official"));
    label_official->setStyleSheet("color: rgb(0, 128, 0); font-weight: bold;");
    label_official->hide();
    QLabel* veltro = label(central, "Label_Veltro", "Veltro dog race timing system");
    QFont italic = veltro->font();
    italic.setItalic(true);
    veltro->setFont(italic);
    layout->addWidget(veltro);

    // The column captions stand in the grid, so each one stays above its column whatever the font.
    auto* grid = new QGridLayout;
    int column = 1;
    for (const char* caption : {"Rank", "Dog", "Name", "Time", "Dist", "Split", "Estimate"})
        grid->addWidget(label(central, (std::string("Label_header_") + caption).c_str(), caption), 0,
                        column++);
    QFont row_font = font();
    row_font.setPointSize(14);
    QFont name_font = row_font;
    name_font.setBold(true);
    for (int i = 0; i < kTimedBoxes; ++i) {
        RowControls& r = rows_[static_cast<std::size_t>(i)];
        const std::string n = "_" + std::to_string(i);
        r.dead_circle = label(central, ("Shape_dead_circle" + n).c_str());
        static_cast<QLabel*>(r.dead_circle)->setPixmap(circle_pixmap());
        r.dead_circle->setFixedSize(16, 16);
        r.dead_circle->hide();
        r.rank = label(central, ("Label_rank" + n).c_str());
        r.box = label(central, ("Picture_box" + n).c_str());
        r.box->setFixedSize(kTileSide, kTileSide);
        r.name = label(central, ("Label_name" + n).c_str());
        r.name->setFixedSize(280, kTileSide);
        r.time = label(central, ("Label_time" + n).c_str());
        r.split = label(central, ("Label_Split" + n).c_str());
        r.dist = label(central, ("Label_dist" + n).c_str());
        r.estimate = label(central, ("Label_estimate" + n).c_str());
        r.estimate->setStyleSheet("color: grey");
        r.estimate->setToolTip("When the nose crossed, estimated between this picture and the one before: "
                               "advisory, the official time is the picture's");
        for (QLabel* l : {r.rank, r.time, r.dist, r.split}) {
            l->setFont(row_font);
            l->setMinimumWidth(70);
        }
        r.name->setFont(name_font);
        grid->addWidget(r.dead_circle, i + 1, 0);
        grid->addWidget(r.rank, i + 1, 1);
        grid->addWidget(r.box, i + 1, 2);
        grid->addWidget(r.name, i + 1, 3);
        grid->addWidget(r.time, i + 1, 4);
        grid->addWidget(r.dist, i + 1, 5);
        grid->addWidget(r.split, i + 1, 6);
        grid->addWidget(r.estimate, i + 1, 7);
        for (QLabel* l : {r.rank, r.box, r.name, r.time, r.dist, r.split})
            l->installEventFilter(this);
    }
    layout->addLayout(grid);
    label_close_finish = label(central, "Label_close_finish");
    label_close_finish->setStyleSheet(warning_style());
    label_close_finish->hide();
    layout->addWidget(label_close_finish);
    Label_printed = label(central, "Label_printed");
    Label_printed->setFont(QFont("Times", 9));
    layout->addWidget(Label_printed);
    Label_event_name->installEventFilter(this);
    Label_Heat_name->installEventFilter(this);
    setCentralWidget(central);
}

void Form_Velt_Results::Form_Load() {
    Trace("*Form_Load, begin ", kFormName);
    const QRect screen =
        QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
    const FormPos pos =
        Get_Form_Pos(kFormName, FormPos{x(), y(), width(), height()}, screen.width(), screen.height());
    move(pos.left, pos.top);
    Clear_Results_Display();
    menu_debug_->menuAction()->setVisible(is_debug_run());
    Trace("*Form_Load, end ", kFormName);
}

void Form_Velt_Results::closeEvent(QCloseEvent* event) {
    run_trapped(location("Form_Unload"), [this] { Store_Form_Pos(kFormName, FormPos{x(), y(), 0, 0}); });
    QMainWindow::closeEvent(event);
}

void Form_Velt_Results::Clear_Results_Display() {
    published_ = {};
    Label_event_name->clear();
    Label_Heat_ID->clear();
    Label_Heat_name->clear();
    Label_heat_started->clear();
    label_official->clear();
    label_official->hide();
    label_close_finish->clear();
    label_close_finish->hide();
    for (RowControls& r : rows_) {
        r.rank->clear();
        r.name->clear();
        r.name->setToolTip({});
        r.time->setText(kEmptyTime);
        r.split->clear(); // no split: blank, as the prints show it
        r.dist->clear();
        r.estimate->clear();
        r.time->setToolTip({});
        r.time->setStyleSheet({});
        r.dead_circle->hide();
        r.shown_box = 0;
    }
}

void Form_Velt_Results::fit_label(QLabel* l, int points, const QString& text) {
    QFont f = l->font();
    f.setPointSize(points);
    f.setPointSize(std::min(points, Max_Font(text, f, l->size().expandedTo(l->minimumSize()))));
    l->setFont(f);
    l->setText(text);
}

void Form_Velt_Results::Display_Result_Array(const HeatValues& rec, const ResultArray& results,
                                             std::int32_t box_delay, const PicturePeriod& period,
                                             const BoxEstimates& estimates) {
    fit_label(Label_event_name, 18, qs(rec.Velt_event()));
    Label_Heat_ID->setText(qs(rec.Velt_Heat_ID()));
    fit_label(Label_Heat_name, 16, qs(rec.Velt_Heat_Name()));
    Label_Heat_name->setToolTip(qs(rec.Velt_Heat_Name()));
    Label_heat_started->setText(qs("Started at: " + rec.Velt_start_DateTime()));
    const std::string official = rec.velt_official();
    label_official->setText(qs(official.empty() ? "" : "Official: " + official));
    label_official->setVisible(!official.empty());

    const ResultDisplay shown = veltro::Display_Result_Array(results, box_delay);
    const std::int64_t us_per_length = seconds_per_length_setting();
    const ResultDistances distances = distances_in_lengths(results, us_per_length);
    published_ = publish_heat(rec, box_delay, us_per_length);
    published_.recording = std::filesystem::path(recording_path_).filename().string();
    add_estimates(published_, estimates);
    const std::vector<CloseFinish> warnings = close_finish_warnings(results, rec, period, estimates);
    auto warned = [&warnings](std::int16_t box) {
        return std::any_of(warnings.begin(), warnings.end(),
                           [box](const CloseFinish& w) { return w.first_box == box || w.second_box == box; });
    };
    for (int i = 0; i < kTimedBoxes; ++i) {
        const ResultRow& row = shown.rows[static_cast<std::size_t>(i)];
        RowControls& r = rows_[static_cast<std::size_t>(i)];
        r.dead_circle->setVisible(row.dead_heat_marker);
        r.rank->setText(qs(row.rank));
        r.shown_box = row.box;
        Paint_box(r.box, row.box);
        fit_label(r.name, 14, qs(row.dog_name));
        r.name->setToolTip(qs(row.dog_name));
        r.time->setText(qs(row.time));
        const bool timed = results[static_cast<std::size_t>(i)].finish < no_time::kFirst;
        r.time->setToolTip(timed ? qs(finish_time_meaning(period)) : QString());
        r.time->setStyleSheet(timed && warned(row.box) ? warning_style() : QString());
        r.dist->setText(qs(distances[static_cast<std::size_t>(i)]));
        r.split->setText(qs(row.split));
        const bool valid_box = row.box >= 1 && row.box <= kTimedBoxes;
        const auto& estimate = valid_box ? estimates[static_cast<std::size_t>(row.box)] : std::nullopt;
        r.estimate->setText(timed && estimate ? qs(estimate_text(*estimate, box_delay)) : QString());
    }
    QStringList lines;
    for (const CloseFinish& w : warnings)
        lines << qs(w.text);
    label_close_finish->setText(lines.join('\n'));
    label_close_finish->setVisible(!lines.isEmpty());
    Label_box_delay->setVisible(shown.box_delay_label.has_value());
    Label_box_delay->setText(qs(shown.box_delay_label.value_or("")));
}

ResultRow Form_Velt_Results::row(int index) const {
    const RowControls& r = rows_.at(static_cast<std::size_t>(index));
    ResultRow row;
    row.rank = r.rank->text().toStdString();
    row.dead_heat_marker = !r.dead_circle->isHidden();
    row.box = r.shown_box;
    row.dog_name = r.name->text().toStdString();
    row.time = r.time->text().toStdString();
    row.split = r.split->text().toStdString();
    return row;
}

QString Form_Velt_Results::distance(int index) const {
    return rows_.at(static_cast<std::size_t>(index)).dist->text();
}

bool Form_Velt_Results::time_warned(int index) const {
    return !rows_.at(static_cast<std::size_t>(index)).time->styleSheet().isEmpty();
}

QString Form_Velt_Results::close_finish_text() const {
    return label_close_finish->text();
}

QString Form_Velt_Results::heat_id_text() const {
    return Label_Heat_ID->text();
}

void Form_Velt_Results::Export_to_Clipboard() {
    std::array<ResultRow, kTimedBoxes> rows;
    for (int i = 0; i < kTimedBoxes; ++i)
        rows[static_cast<std::size_t>(i)] = row(i);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(qs(export_to_clipboard_text(Label_Heat_ID->text().toStdString(), rows)));
    the_operator().message(clipboard->text().toStdString(), MsgIcon::Information, "Veltro results export");
}

void Form_Velt_Results::export_results() {
    if (published_.heat_id.empty() && published_.rows.empty()) {
        the_operator().message("There are no results to export: open a heat first.", MsgIcon::Exclamation,
                               "Veltro results export");
        return;
    }
    const std::filesystem::path recording(recording_path_);
    std::filesystem::path suggested =
        recording.empty() ? std::filesystem::path("Heat" + published_.heat_id) : recording;
    suggested.replace_extension(".csv");
    std::string chosen = choose_export_file(suggested.string());
    if (chosen.empty())
        return;
    std::filesystem::path path(chosen);
    const std::string type = to_lower_ascii(path.extension().string());
    if (type != ".csv" && type != ".json") {
        path += ".csv";
    }
    const bool json = to_lower_ascii(path.extension().string()) == ".json";
    try {
        save_file_atomically(path.string(), json ? results_json(published_) : results_csv(published_));
    } catch (const VeltroError& e) {
        the_operator().message("The results could not be written to " + path.string() + ":\r\n" +
                                   e.description(),
                               MsgIcon::Exclamation, "Veltro results export");
        return;
    }
    Trace("Export_results " + path.string());
    the_operator().message("Results written to " + path.string(), MsgIcon::Information,
                           "Veltro results export");
}

void Form_Velt_Results::paint_boxes() {
    for (int i = 0; i < kTimedBoxes; ++i)
        Paint_box(rows_[static_cast<std::size_t>(i)].box, static_cast<std::int16_t>(i + 1));
}

bool Form_Velt_Results::refuse_read_only() {
    if (rec_ && rec_->Read_only()) {
        the_operator().message("File is Read Only!\r\nThis file can't be changed", MsgIcon::Exclamation);
        return true;
    }
    return false;
}

void Form_Velt_Results::rename(QLabel* l, int row) {
    if (!rec_ || !rec_->File_open()) {
        the_operator().beep();
        return;
    }
    if (refuse_read_only())
        return;
    if (!rec_->velt_official().empty()) {
        the_operator().message(kOfficialRefusal, MsgIcon::Exclamation, "Veltro official result");
        return;
    }
    const char* prompt = row >= 0                ? "Change dog name"
                         : l == Label_event_name ? "Change Event name"
                                                 : "Change heat name";
    const std::optional<std::string> answer =
        the_operator().input_box(prompt, "Veltro results", l->text().toStdString());
    if (!answer || answer->empty())
        return;
    const std::int16_t box = row >= 0 ? rows_[static_cast<std::size_t>(row)].shown_box : 0;
    if (row >= 0 && (box < 1 || box > kTimedBoxes)) {
        the_operator().beep();
        return;
    }
    // The header in memory keeps the old name when it cannot be put on disk.
    const std::string old = row >= 0                ? rec_->Velt_Dog_name(box)
                            : l == Label_event_name ? rec_->Velt_event()
                                                    : rec_->Velt_Heat_Name();
    auto set = [&](const std::string& value) {
        if (row >= 0)
            rec_->Velt_Dog_name(box, value);
        else if (l == Label_event_name)
            rec_->Velt_event(value);
        else
            rec_->Velt_Heat_Name(value);
    };
    const std::string by = session_operator_name();
    set(*answer);
    try {
        rec_->next_change(by, {});
        rec_->Write_XML_header();
    } catch (...) {
        set(old);
        throw;
    }
    emit results_changed();
}

bool Form_Velt_Results::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease)
        return QMainWindow::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    auto* l = qobject_cast<QLabel*>(watched);
    run_trapped(location("Label_MouseUp"), [&] {
        if (l == Label_event_name || l == Label_Heat_name) {
            if (mouse->button() != Qt::LeftButton)
                rename(l, -1);
            return;
        }
        for (int i = 0; i < kTimedBoxes; ++i) {
            const RowControls& r = rows_[static_cast<std::size_t>(i)];
            const auto position = static_cast<std::int16_t>(i + 1);
            if (l == r.name && mouse->button() == Qt::RightButton) {
                rename(l, i);
            } else if (l == r.rank || l == r.name) {
                emit rank_clicked(position);
            } else if (l == r.split) {
                emit split_clicked(position);
            } else if (l == r.box) {
                emit box_clicked(position);
            }
        }
    });
    emit focus_to_slider();
    return true;
}

void Form_Velt_Results::mouseReleaseEvent(QMouseEvent* event) {
    QMainWindow::mouseReleaseEvent(event);
    emit focus_to_slider();
}

void Form_Velt_Results::print() {
    const bool ask = printer_dialog_wanted();
    PrintTarget target = choose_print_target(this,
                                             qs(print_name(Label_event_name->text().toStdString(),
                                                           Label_Heat_ID->text().toStdString(), "results")),
                                             ask);
    if (!target.printer)
        return;
    const ProcessFacts& facts = process_facts();
    Label_printed->setText(
        qs("Printed by " + std::string(kProgramId) + " version " + facts.version_text + " at: ") +
        QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
    auto step = [this](const std::string& caption, int percent) {
        if (progress)
            progress(caption, percent);
        Wait_ms(300);
    };
    const std::string device = target.pdf_path.isEmpty() ? target.printer->printerName().toStdString()
                                                         : target.pdf_path.toStdString();
    try {
        step("Printing results on\r\n" + device, 30);
        Doprintform(*target.printer);
    } catch (...) {
        Label_printed->clear();
        if (progress)
            progress({}, -1);
        throw;
    }
    step({}, 70);
    Label_printed->clear();
    step({}, 100);
    if (progress)
        progress({}, -1);
    tell_if_printed_to_file(target, "the results are");
}

void Form_Velt_Results::Doprintform(QPrinter& printer) {
    std::vector<std::string> warnings;
    for (const QString& line : label_close_finish->text().split('\n', Qt::SkipEmptyParts))
        warnings.push_back(line.toStdString());
    if (Read_Setting(keys::print_estimates) == "1") {
        for (const PublishedRow& row : published_.rows) {
            if (row.estimate)
                warnings.push_back("Box " + std::to_string(row.box) +
                                   " estimated (advisory): " + estimate_text(*row.estimate, 0));
        }
    }
    const std::string sha256 =
        recording_path_.empty() ? std::string() : sha256_file_hex(recording_path_).value_or("");
    const ResultsDocument document = results_document_of(published_, warnings, sha256);
    QPainter painter;
    if (!painter.begin(&printer))
        throw VeltroError(err::kPrinterError, "Printer error: the results could not be printed");
    paint_results_document(painter, printer, document, Label_printed->text());
    if (!painter.end())
        throw VeltroError(err::kPrinterError, "Printer error: the results could not be printed");
}

} // namespace veltro
