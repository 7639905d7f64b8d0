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

FormRaceCardPreview::FormRaceCardPreview(std::string bytes, const EventDocument& doc, QWidget* owner)
    : QDialog(owner), bytes_(std::move(bytes)), doc_(doc) {
    setObjectName("Form_race_card_preview");
    setWindowTitle("Veltro import dog names");
    build();
    read_card(std::nullopt);
    // Tall cards scroll inside the table; the buttons stay on the screen.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    resize(std::min(640, screen.width() - 40), std::min(720, screen.height() * 4 / 5));
}

void FormRaceCardPreview::build() {
    auto* layout = new QVBoxLayout(this);
    label_summary = new QLabel(this);
    label_summary->setObjectName("Label_summary");
    label_summary->setWordWrap(true);
    layout->addWidget(label_summary);

    frame_columns = new QWidget(this);
    frame_columns->setObjectName("Frame_columns");
    auto* columns = new QHBoxLayout(frame_columns);
    columns->setContentsMargins(0, 0, 0, 0);
    const char* captions[] = {"Heat column", "Box column", "Name column"};
    const char* names[] = {"Combo_heat_column", "Combo_box_column", "Combo_name_column"};
    for (std::size_t i = 0; i < combo_column.size(); ++i) {
        columns->addWidget(new QLabel(captions[i], frame_columns));
        combo_column[i] = new QComboBox(frame_columns);
        combo_column[i]->setObjectName(names[i]);
        columns->addWidget(combo_column[i], 1);
        connect(combo_column[i], &QComboBox::activated, this, [this] { columns_chosen(); });
    }
    layout->addWidget(frame_columns);

    table_dogs = table(this, "Table_dogs", {"Heat", "Box", "Name", "Import"});
    layout->addWidget(table_dogs, 3);
    table_rejected = table(this, "Table_rejected", {"Line", "Rejected because"});
    layout->addWidget(table_rejected, 1);
    label_warnings = new QLabel(this);
    label_warnings->setObjectName("Label_warnings");
    label_warnings->setWordWrap(true);
    layout->addWidget(label_warnings);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("Buttons");
    buttons->button(QDialogButtonBox::Ok)->setText("Import");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void FormRaceCardPreview::read_card(const std::optional<CardColumns>& columns) {
    if (std::optional<RaceCard> card = parse_race_card(bytes_, columns))
        card_ = std::move(*card);
    show_card();
}

void FormRaceCardPreview::columns_chosen() {
    read_card(CardColumns{combo_column[0]->currentIndex(), combo_column[1]->currentIndex(),
                          combo_column[2]->currentIndex()});
}

void FormRaceCardPreview::show_card() {
    const std::vector<CardPreviewRow> rows = preview_race_card(card_, doc_);
    label_summary->setText(
        QString("Dogs on the card: %1; rejected lines: %2 (read as %3, separated by %4%5).")
            .arg(rows.size())
            .arg(card_.rejected.size())
            .arg(qs(card_.encoding), separator_name(card_.separator),
                 card_.has_heading ? ", columns by their heading" : ""));
    // Without a heading the operator says which column is which.
    frame_columns->setVisible(!card_.has_heading);
    const int chosen[] = {card_.columns.heat, card_.columns.box, card_.columns.name};
    for (std::size_t i = 0; i < combo_column.size(); ++i) {
        const QSignalBlocker quiet(combo_column[i]);
        combo_column[i]->clear();
        for (std::size_t c = 0; c < card_.column_texts.size(); ++c)
            combo_column[i]->addItem(QString("%1: %2").arg(c + 1).arg(qs(card_.column_texts[c])));
        combo_column[i]->setCurrentIndex(chosen[i]);
    }
    table_dogs->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CardPreviewRow& r = rows[i];
        QString action = card_action_text(r.action);
        if (r.action == CardAction::Changed || r.action == CardAction::Cleared)
            action += " (was " + qs(r.old_name) + ")";
        set_row(table_dogs, static_cast<int>(i),
                {QString::number(r.heat), QString::number(r.box), qs(r.name), action});
    }
    table_rejected->setRowCount(static_cast<int>(card_.rejected.size()));
    for (std::size_t i = 0; i < card_.rejected.size(); ++i)
        set_row(table_rejected, static_cast<int>(i),
                {QString::number(card_.rejected[i].line), qs(card_.rejected[i].reason)});
    QString warnings;
    for (const std::string& w : card_.warnings)
        warnings += (warnings.isEmpty() ? "" : "\n") + qs(w);
    label_warnings->setText(warnings);
    label_warnings->setVisible(!warnings.isEmpty());
    table_dogs->resizeColumnsToContents();
}

} // namespace veltro
