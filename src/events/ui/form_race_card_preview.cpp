#include "events/ui/form_race_card_preview.h"

#include "events/event_document.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

namespace veltro {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QTableWidget* table(QWidget* parent, const char* name, const QStringList& headings) {
    auto* t = new QTableWidget(0, static_cast<int>(headings.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(headings);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->setVisible(false);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void set_row(QTableWidget* t, int row, const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c)
        t->setItem(row, c, new QTableWidgetItem(cells[c]));
}

const char* separator_name(char sep) {
    return sep == '\t' ? "tabs" : sep == ';' ? "semicolons" : "commas";
}

} // namespace

Form_race_card_preview::Form_race_card_preview(std::string bytes, const EventDocument& doc, QWidget* owner)
    : QDialog(owner), bytes_(std::move(bytes)), doc_(doc) {
    setObjectName("Form_race_card_preview");
    setWindowTitle("Veltro import dog names");
    build();
    read_card(std::nullopt);
    // Tall cards scroll inside the table; the buttons stay on the screen.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    resize(std::min(640, screen.width() - 40), std::min(720, screen.height() * 4 / 5));
}

void Form_race_card_preview::build() {
    auto* layout = new QVBoxLayout(this);
    Label_summary = new QLabel(this);
    Label_summary->setObjectName("Label_summary");
    Label_summary->setWordWrap(true);
    layout->addWidget(Label_summary);

    Frame_columns = new QWidget(this);
    Frame_columns->setObjectName("Frame_columns");
    auto* columns = new QHBoxLayout(Frame_columns);
    columns->setContentsMargins(0, 0, 0, 0);
    const char* captions[] = {"Heat column", "Box column", "Name column"};
    const char* names[] = {"Combo_heat_column", "Combo_box_column", "Combo_name_column"};
    for (std::size_t i = 0; i < Combo_column.size(); ++i) {
        columns->addWidget(new QLabel(captions[i], Frame_columns));
        Combo_column[i] = new QComboBox(Frame_columns);
        Combo_column[i]->setObjectName(names[i]);
        columns->addWidget(Combo_column[i], 1);
        connect(Combo_column[i], &QComboBox::activated, this, [this] { columns_chosen(); });
    }
    layout->addWidget(Frame_columns);

    Table_dogs = table(this, "Table_dogs", {"Heat", "Box", "Name", "Import"});
    layout->addWidget(Table_dogs, 3);
    Table_rejected = table(this, "Table_rejected", {"Line", "Rejected because"});
    layout->addWidget(Table_rejected, 1);
    Label_warnings = new QLabel(this);
    Label_warnings->setObjectName("Label_warnings");
    Label_warnings->setWordWrap(true);
    layout->addWidget(Label_warnings);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("Buttons");
    buttons->button(QDialogButtonBox::Ok)->setText("Import");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void Form_race_card_preview::read_card(const std::optional<CardColumns>& columns) {
    if (std::optional<RaceCard> card = Parse_race_card(bytes_, columns))
        card_ = std::move(*card);
    show_card();
}

void Form_race_card_preview::columns_chosen() {
    read_card(CardColumns{Combo_column[0]->currentIndex(), Combo_column[1]->currentIndex(),
                          Combo_column[2]->currentIndex()});
}

void Form_race_card_preview::show_card() {
    const std::vector<CardPreviewRow> rows = Preview_race_card(card_, doc_);
    Label_summary->setText(
        QString("Dogs on the card: %1; rejected lines: %2 (read as %3, separated by %4%5).")
            .arg(rows.size())
            .arg(card_.rejected.size())
            .arg(qs(card_.encoding), separator_name(card_.separator),
                 card_.has_heading ? ", columns by their heading" : ""));
    // Without a heading the operator says which column is which.
    Frame_columns->setVisible(!card_.has_heading);
    const int chosen[] = {card_.columns.heat, card_.columns.box, card_.columns.name};
    for (std::size_t i = 0; i < Combo_column.size(); ++i) {
        const QSignalBlocker quiet(Combo_column[i]);
        Combo_column[i]->clear();
        for (std::size_t c = 0; c < card_.column_texts.size(); ++c)
            Combo_column[i]->addItem(QString("%1: %2").arg(c + 1).arg(qs(card_.column_texts[c])));
        Combo_column[i]->setCurrentIndex(chosen[i]);
    }
    Table_dogs->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CardPreviewRow& r = rows[i];
        QString action = Card_action_text(r.action);
        if (r.action == CardAction::Changed || r.action == CardAction::Cleared)
            action += " (was " + qs(r.old_name) + ")";
        set_row(Table_dogs, static_cast<int>(i),
                {QString::number(r.heat), QString::number(r.box), qs(r.name), action});
    }
    Table_rejected->setRowCount(static_cast<int>(card_.rejected.size()));
    for (std::size_t i = 0; i < card_.rejected.size(); ++i)
        set_row(Table_rejected, static_cast<int>(i),
                {QString::number(card_.rejected[i].line), qs(card_.rejected[i].reason)});
    QString warnings;
    for (const std::string& w : card_.warnings)
        warnings += (warnings.isEmpty() ? "" : "\n") + qs(w);
    Label_warnings->setText(warnings);
    Label_warnings->setVisible(!warnings.isEmpty());
    Table_dogs->resizeColumnsToContents();
}

} // namespace veltro
