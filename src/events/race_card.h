#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

class EventSession;

// A race card exported from a spreadsheet: one line per dog with heat number, box number and dog
// name, separated by tabs, semicolons or commas (one separator for the whole card), an optional
// heading line first. Fields may be quoted as spreadsheets write them ("Rex, the second").
struct RaceCardEntry {
    std::int16_t heat = 0;
    std::int16_t box = 0;
    std::string name; // UTF-8
    std::int32_t line = 0;
};

struct RaceCard {
    std::vector<RaceCardEntry> entries;
    // One text per refused line ("line 4: box 7 is not in 1..6"); a card with problems imports nothing.
    std::vector<std::string> problems;
};

// True when `text` has the shape of a race card: its first line that is not empty, or the one after
// a heading, is a heat number, a box number and a name. A "Start" list never has it.
bool Looks_like_race_card(std::string_view text);

// Reads every line of a card (UTF-8 or ISO-8859-1, any line ending). Heats must be 1..100, boxes
// 1..6, each box named once, and every name one the event file can hold.
RaceCard Parse_race_card(std::string_view text);

// What the import will write, heat by heat, for the operator to confirm.
std::string Race_card_preview(const RaceCard& card);

// Writes the card's names into the session's event document (nothing is saved to disk) and shows
// the last heat written. Returns the count of names written.
std::int32_t Import_race_card(const RaceCard& card, EventSession& session);

} // namespace veltro
