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
class FormRaceCardPreview : public QDialog {
    Q_OBJECT
public:
    FormRaceCardPreview(std::string bytes, const EventDocument& doc, QWidget* owner = nullptr);

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
    QLabel* label_summary = nullptr;
    std::array<QComboBox*, 3> combo_column{};
    QWidget* frame_columns = nullptr;
    QTableWidget* table_dogs = nullptr;
    QTableWidget* table_rejected = nullptr;
    QLabel* label_warnings = nullptr;
};

} // namespace veltro
