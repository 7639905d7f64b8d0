#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

class EventDocument;
class EventSession;

// A race card exported from a spreadsheet: one row per dog with heat number, box number and dog name
// in some of its columns, separated by tabs, semicolons or commas, quoted as spreadsheets quote. A
// heading row (after any title lines) names the columns; without one the operator says which column
// is which, and the first three are taken until they do.
struct RaceCardEntry {
    std::int16_t heat = 0;
    std::int16_t box = 0;
    std::string name; // UTF-8; empty: the dog is scratched and its box is cleared
    std::int32_t line = 0;
};

struct RejectedLine {
    std::int32_t line = 0;
    std::string reason;
};

// Column indexes (0-based) of the three values.
struct CardColumns {
    int heat = 0;
    int box = 1;
    int name = 2;
    bool operator==(const CardColumns&) const = default;
};

struct RaceCard {
    std::string encoding;
    char separator = ',';
    bool has_heading = false;
    CardColumns columns;
    // The heading's texts, or the first data row's, to choose the columns by.
    std::vector<std::string> column_texts;
    std::vector<RaceCardEntry> entries;
    std::vector<RejectedLine> rejected;
    // Lines taken, but whose name a spreadsheet would run as a formula ("line 4: ...").
    std::vector<std::string> warnings;
};

// The longest name a recording's header keeps beside the others, in bytes of UTF-8.
inline constexpr std::size_t kMaxCardName = 200;

// True unless the text is a list of the "Start" import (its first line that is not empty holds
// "Start").
bool looks_like_race_card(std::string_view bytes);

// Reads a card from the file's bytes. `columns` overrides the heading (or its absence). Nothing when
// the bytes cannot be read as text at all.
std::optional<RaceCard> parse_race_card(std::string_view bytes,
                                        const std::optional<CardColumns>& columns = std::nullopt);

// What the import does to one box.
enum class CardAction { New, Changed, Cleared, Unchanged };
const char* card_action_text(CardAction action); // "new", "changed", "cleared", "unchanged"

struct CardPreviewRow {
    std::int16_t heat = 0;
    std::int16_t box = 0;
    std::string name;
    std::string old_name;
    CardAction action = CardAction::Unchanged;
    std::int32_t line = 0;
};

// The card's rows against the event document, in the card's order.
std::vector<CardPreviewRow> preview_race_card(const RaceCard& card, const EventDocument& doc);

// The preview as lines: "heat;box;name;action" per dog, then "line N: reason" per rejected line.
std::string race_card_preview_lines(const RaceCard& card, const EventDocument& doc);

// Writes the card's names (and clears scratched boxes) in the event document; nothing is saved.
// Returns the count of boxes that changed.
std::int32_t apply_race_card(const RaceCard& card, EventDocument& doc);

// The same into the editor's session, which then shows the last heat of the card.
std::int32_t import_race_card(const RaceCard& card, EventSession& session);

} // namespace veltro
