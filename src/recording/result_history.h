#pragma once

#include "recording/header_journal.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// One change of a heat's results, as the operator reads it.
struct ResultChange {
    std::string time_of_day; // "hh:nn:ss", when the change was journalled
    std::string what;        // "box 2 finish time 23,45 -> 23,46"
    std::string by;          // the operator named with the change; "" when none was
};

// The changes of the results from each header entry of the journal to the next, in order: for each
// box its dog name, finish time (no-time codes included), split time and dead-heat mark. Entries
// that do not parse are passed over; frames entries and the other header values are not results.
// With `unjournalled`, that header is the last change, dated by its own update time and marked as
// stored without its journal entry.
std::vector<ResultChange> result_history(const JournalContents& journal,
                                         const std::optional<JournalEntry>& unjournalled = std::nullopt);

// The header stored in `recording` when it is a whole change that its journal lacks (the journal
// could not be written then), as an entry dated by the header's update time; std::nullopt otherwise.
std::optional<JournalEntry> unjournalled_header(const std::string& recording, const JournalContents& journal);

// The header whose result an undo brings back: the one before the last change of the result that no
// later undo has taken back, skipping pairs of a change and its undo (so undoing again goes further
// back). Headers that do not parse and writes that changed no result are passed over; nullptr when
// there is nothing left to undo.
const JournalEntry* undo_target(const JournalContents& journal);

// "14:03:07  box 2 finish time 23,45 -> 23,46", with "  by Anna" when the change names its operator

std::string result_change_line(const ResultChange& change);

// A box time as the history shows it: "none" when none is assigned, "did not finish", "disqualified",
// "no rank", else its display form ("23,45").
std::string history_time_text(std::int32_t time);

// The history of the results of `recording` as the review shows it: a heading, then one line per
// change; a recording without a journal, or with no change yet, says so.
std::string result_history_text(const std::string& recording);

} // namespace veltro
