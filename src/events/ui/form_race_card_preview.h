#pragma once

#include "events/race_card.h"

#include <QDialog>
#include <array>
#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QTableWidget;

namespace veltro {

class EventDocument;

// The preview of a race card import: one row per dog with what the import does to its box, every
// rejected line with its reason, and the names a spreadsheet would run as formulas. Without a
// heading the operator chooses the heat, box and name columns, and the card is read again.
class Form_race_card_preview : public QDialog {
    Q_OBJECT
public:
    Form_race_card_preview(std::string bytes, const EventDocument& doc, QWidget* owner = nullptr);

    // The card as last read (with the operator's columns).
    const RaceCard& card() const { return card_; }

private:
    void build();
    void read_card(const std::optional<CardColumns>& columns);
    void show_card();
    void columns_chosen();

    std::string bytes_;
    const EventDocument& doc_;
    RaceCard card_;
    QLabel* Label_summary = nullptr;
    std::array<QComboBox*, 3> Combo_column{};
    QWidget* Frame_columns = nullptr;
    QTableWidget* Table_dogs = nullptr;
    QTableWidget* Table_rejected = nullptr;
    QLabel* Label_warnings = nullptr;
};

} // namespace veltro
