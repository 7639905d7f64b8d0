#include "events/ui/form_speaker_card.h"

#include "support/app_paths.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/print_target.h"
#include "support/ui/run_trapped.h"
#include "support/veltro_error.h"
#include "support/wait.h"
#include "timing/ui/box_tile.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QVBoxLayout>

namespace veltro {

namespace {

constexpr const char* kFormName = "Form_Veltro_SpeakerCard";
constexpr int kTileSide = 44;
// Where the card lands on the printed page, in twips from the page's corner.
constexpr double kPrintLeftTwips = 1200;
constexpr double kPrintTopTwips = 300;

std::string location(const char* procedure) {
    return std::string(procedure) + " of Form " + kFormName;
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* label(QWidget* parent, const QString& name, const QString& text, int points, bool bold = false) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    QFont f = l->font();
    f.setPointSize(points);
    f.setBold(bold);
    l->setFont(f);
    return l;
}

} // namespace

Form_Veltro_SpeakerCard::Form_Veltro_SpeakerCard(QWidget* owner) : QMainWindow(owner, Qt::Window) {
    setObjectName(kFormName);
    setWindowTitle("Veltro HDMI SpeakerCard");
    wait = [](std::int32_t ms) { Wait_ms(ms); };
    build();
    run_trapped(location("Form_Load"), [this] { fill_Boxes(); });
}

void Form_Veltro_SpeakerCard::build() {
    QMenu* form = menuBar()->addMenu("Form");
    form->setObjectName("menu_form");
    QAction* print_item = form->addAction("Print");
    print_item->setObjectName("item_print");
    connect(print_item, &QAction::triggered, this,
            trapped(location("item_print_Click"), [this] { print(); }));

    auto* central = new QWidget(this);
    central->setAutoFillBackground(true);
    QPalette white = central->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    central->setPalette(white);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(Label_event = label(central, "Label_event", "Event name", 18, true));
    auto* heat_line = new QHBoxLayout;
    heat_line->addWidget(label(central, "Label_heat_caption", "Heat", 16));
    heat_line->addWidget(Label_heat_num = label(central, "Label_heat_num", "1", 16, true));
    heat_line->addWidget(Label_heat_name = label(central, "Label_heat_name", "Heat name", 16, true), 1);
    layout->addLayout(heat_line);
    auto* start_line = new QHBoxLayout;
    start_line->addWidget(Label_start = label(central, "Label_start", "13:35", 14));
    start_line->addStretch(1);
    start_line->addWidget(Label_length = label(central, "Label_length", "510 m", 14));
    layout->addLayout(start_line);

    auto* grid = new QGridLayout;
    QFont serif("Times", 16);
    serif.setStyleHint(QFont::Serif);
    serif.setBold(true);
    for (int i = 0; i < kTimedBoxes; ++i) {
        const auto n = static_cast<std::size_t>(i);
        Picture_box[n] = label(central, QString("Picture_box_%1").arg(i + 1), {}, 10);
        Picture_box[n]->setFixedSize(kTileSide, kTileSide);
        Label_dog_name[n] = label(central, QString("Label_dog_name_%1").arg(i), "Chase my tail dude", 16);
        Label_dog_name[n]->setFont(serif);
        Label_dog_name[n]->setMinimumWidth(360);
        grid->addWidget(Picture_box[n], i, 0);
        grid->addWidget(Label_dog_name[n], i, 1);
    }
    layout->addLayout(grid);
    setCentralWidget(central);
}

void Form_Veltro_SpeakerCard::fill_Boxes() {
    for (int i = 0; i < kTimedBoxes; ++i)
        Paint_box(Picture_box[static_cast<std::size_t>(i)], static_cast<std::int16_t>(i + 1));
}

void Form_Veltro_SpeakerCard::fill(const SpeakerCardValues& v) {
    Label_event->setText(qs(v.event_name));
    Label_heat_num->setText(QString::number(v.heat));
    Label_heat_name->setText(qs(v.heat_name));
    Label_start->setText(qs(v.start_time));
    Label_length->setText(qs(v.length));
    for (std::size_t i = 0; i < Label_dog_name.size(); ++i)
        Label_dog_name[i]->setText(qs(v.dog_names[i]));
    // As wide as its longest text, so that the window shows and prints every field whole.
    adjustSize();
}

SpeakerCardValues Form_Veltro_SpeakerCard::shown() const {
    SpeakerCardValues v;
    v.event_name = Label_event->text().toStdString();
    v.heat = static_cast<std::int16_t>(Label_heat_num->text().toInt());
    v.heat_name = Label_heat_name->text().toStdString();
    v.start_time = Label_start->text().toStdString();
    v.length = Label_length->text().toStdString();
    for (std::size_t i = 0; i < Label_dog_name.size(); ++i)
        v.dog_names[i] = Label_dog_name[i]->text().toStdString();
    return v;
}

void Form_Veltro_SpeakerCard::print() {
    const bool ask = printer_dialog_wanted();
    PrintTarget target = choose_print_target(this, qs(std::string(kProgramId) + "_speaker_card"), ask);
    if (!target.printer)
        return;
    const std::string device = target.pdf_path.isEmpty() ? target.printer->printerName().toStdString()
                                                         : target.pdf_path.toStdString();
    auto step = [this](const std::string& caption, int percent) {
        if (progress)
            progress(caption, percent);
    };
    try {
        step("Printing spkr card on\r\n" + device, 0);
        wait(600);
        step({}, 10);
        Print_Me(*target.printer);
    } catch (...) {
        step({}, -1);
        throw;
    }
    step({}, 100);
    wait(1000);
    step({}, -1);
    tell_if_printed_to_file(target, "the speaker card is");
}

void Form_Veltro_SpeakerCard::Print_Me(QPrinter& printer) {
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer))
        throw VeltroError(err::kPrinterError, "Printer error: the speaker card could not be printed");
    const double dpi = printer.resolution();
    const QPointF at(kPrintLeftTwips * dpi / 1440.0, kPrintTopTwips * dpi / 1440.0);
    // The card spans the page's printable width (the same margin on the right as on the left), so a
    // long event name or the length at the right edge is never cut off.
    const QRectF page = printer.pageLayout().fullRectPixels(printer.resolution());
    const QSizeF room(page.width() - 2 * at.x(), page.height() - 2 * at.y());
    paint_window_contents(centralWidget(), painter, at, room, true);
    if (!painter.end())
        throw VeltroError(err::kPrinterError, "Printer error: the speaker card could not be printed");
}

} // namespace veltro
