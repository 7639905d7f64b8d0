#include "events/race_card.h"

#include "events/card_text.h"
#include "events/event_document.h"
#include "events/event_session.h"
#include "support/text.h"
#include "timing/heat_values.h"

#include <algorithm>
#include <csv.h>
#include <set>

namespace veltro {
namespace {

struct Row {
    std::int32_t line = 0;     // where the row begins
    std::int32_t end_line = 0; // where it ends: later when a quoted cell runs over lines
    std::vector<std::string> cells;
};

// Collects libcsv's fields and rows, each row with the line it began on.
struct Collector {
    std::vector<Row> rows;
    Row current;
    std::int32_t line = 0;
    bool open = false;

    static void field(void* data, std::size_t size, void* self) {
        auto* c = static_cast<Collector*>(self);
        c->current.cells.push_back(data ? std::string(static_cast<const char*>(data), size) : std::string());
    }
    static void row_end(int, void* self) {
        auto* c = static_cast<Collector*>(self);
        c->current.end_line = c->line;
        c->rows.push_back(std::move(c->current));
        c->current = {};
        c->open = false;
    }
};

std::vector<std::string_view> physical_lines(std::string_view text) {
    const char end = text.find('\n') == std::string_view::npos ? '\r' : '\n';
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t at = text.find(end);
        const std::size_t size = at == std::string_view::npos ? text.size() : at + 1;
        lines.push_back(text.substr(0, size));
        text.remove_prefix(size);
    }
    return lines;
}

// Rows of the text split at `sep`. Lines are fed one at a time so that every row knows the line it
// began on, even when a quoted field runs over several lines.
std::vector<Row> rows_of(std::string_view text, char sep) {
    csv_parser p{};
    csv_init(&p, 0);
    csv_set_delim(&p, static_cast<unsigned char>(sep));
    // Blanks only: a tab may be the separator itself.
    csv_set_space_func(&p, [](unsigned char c) { return c == ' ' ? 1 : 0; });
    Collector c;
    for (const std::string_view line : physical_lines(text)) {
        ++c.line;
        if (!c.open && !trim(line).empty()) {
            c.current.line = c.line;
            c.open = true;
        }
        csv_parse(&p, line.data(), line.size(), Collector::field, Collector::row_end, &c);
    }
    csv_fini(&p, Collector::field, Collector::row_end, &c);
    csv_free(&p);
    // A row of nothing but empty cells is a blank line of the spreadsheet.
    std::erase_if(c.rows, [](const Row& r) {
        return std::all_of(r.cells.begin(), r.cells.end(),
                           [](const std::string& s) { return trim(s).empty(); });
    });
    return c.rows;
}

// The separator that gives the most rows of three or more cells among the first ones.
char separator_of(std::string_view text) {
    char best = ',';
    std::size_t best_count = 0;
    const std::string_view head = text.substr(0, std::min<std::size_t>(text.size(), 4096));
    for (const char sep : {'\t', ';', ','}) {
        const std::vector<Row> rows = rows_of(head, sep);
        const auto count = static_cast<std::size_t>(
            std::count_if(rows.begin(), rows.end(), [](const Row& r) { return r.cells.size() >= 3; }));
        if (count > best_count) {
            best = sep;
            best_count = count;
        }
    }
    return best;
}

// The heading words spreadsheets use, lower case, without dots, '#' and surrounding blanks.
int heading_kind(const std::string& cell) {
    std::string word;
    for (const char c : to_lower_ascii(trim(cell)))
        if (c != '.' && c != '#' && c != ':')
            word += c;
    word = trim(word);
    static const std::set<std::string> heats = {"heat",    "heat no",     "heat number", "heat nr", "race",
                                                "race no", "race number", "race nr",     "heatno",  "raceno"};
    static const std::set<std::string> boxes = {"box",         "box no", "box number", "trap",   "trap no",
                                                "trap number", "boxno",  "trapno",     "box nr", "trap nr"};
    static const std::set<std::string> names = {"name",       "dog",        "dog name",  "dogs name",
                                                "dog's name", "dogname",    "greyhound", "runner",
                                                "hound",      "runner name"};
    if (heats.contains(word))
        return 1;
    if (boxes.contains(word))
        return 2;
    if (names.contains(word))
        return 3;
    return 0;
}

// The heading's columns, when the row is a heading with all three.
std::optional<CardColumns> heading_columns(const Row& row) {
    int found[4] = {-1, -1, -1, -1};
    for (std::size_t i = 0; i < row.cells.size(); ++i)
        if (const int kind = heading_kind(row.cells[i]); kind != 0 && found[kind] < 0)
            found[kind] = static_cast<int>(i);
    if (found[1] < 0 || found[2] < 0 || found[3] < 0)
        return std::nullopt;
    return CardColumns{found[1], found[2], found[3]};
}

std::string cell(const Row& row, int column) {
    const auto i = static_cast<std::size_t>(column);
    return i < row.cells.size() ? row.cells[i] : std::string();
}

// A whole number in first..last, or nothing.
std::optional<std::int16_t> number_in(const std::string& text, int first, int last) {
    const std::string t = trim(text);
    if (t.empty() || t.size() > 4 ||
        !std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int value = std::stoi(t);
    if (value < first || value > last)
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

bool formula_like(const std::string& raw) {
    const std::string t = trim(raw);
    for (const std::string* s : {&raw, &t})
        if (!s->empty() && std::string_view("=+-@\t\r").find(s->front()) != std::string_view::npos)
            return true;
    return false;
}

std::string shortened(const std::string& name) {
    return name.size() <= 40 ? name : name.substr(0, 40) + "...";
}

// One data row: an entry, or the reason it is refused.
void take_row(const Row& row, const CardColumns& cols, std::set<std::pair<int, int>>& named, RaceCard& card) {
    const std::string heat_text = trim(cell(row, cols.heat));
    const std::string box_text = trim(cell(row, cols.box));
    const std::string raw = cell(row, cols.name);
    auto reject = [&](const std::string& reason) { card.rejected.push_back({row.line, reason}); };
    const std::optional<std::int16_t> heat = number_in(heat_text, 1, kEventHeats);
    const std::optional<std::int16_t> box = number_in(box_text, 1, kTimedBoxes);
    const std::string name = trim(fold_punctuation(raw));
    if (!heat)
        return reject("heat \"" + shortened(heat_text) + "\" is not a number in 1..100");
    if (!box)
        return reject("box \"" + shortened(box_text) + "\" is not a number in 1..6");
    if (!named.insert({*heat, *box}).second)
        return reject("heat " + std::to_string(*heat) + " box " + std::to_string(*box) + " is named twice");
    // Said with the line it ends on: a quote left open takes every line up to the next quote.
    if (row.end_line > row.line || name.find_first_of("\r\n") != std::string::npos)
        return reject("a quoted cell runs on to line " + std::to_string(row.end_line) +
                      " (a line break in a name, or a quote not closed)");
    if (name.size() > kMaxCardName)
        return reject("the name is " + std::to_string(name.size()) +
                      " bytes long; a recording keeps at most " + std::to_string(kMaxCardName));
    if (!EventDocument::can_hold(name))
        return reject("\"" + shortened(name) + "\" " + EventDocument::cannot_hold_reason());
    if (formula_like(raw))
        card.warnings.push_back("line " + std::to_string(row.line) + ": the name \"" + shortened(name) +
                                "\" begins like a spreadsheet formula");
    card.entries.push_back({*heat, *box, name, row.line});
}

} // namespace

bool looks_like_race_card(std::string_view bytes) {
    const std::optional<CardText> text = decode_card_text(bytes);
    if (!text)
        return true; // refused by the card's own reading, which says why
    for (const std::string_view line : physical_lines(text->utf8))
        if (!trim(line).empty())
            return line.find("Start") == std::string_view::npos;
    return true;
}

std::optional<RaceCard> parse_race_card(std::string_view bytes, const std::optional<CardColumns>& columns) {
    const std::optional<CardText> text = decode_card_text(bytes);
    if (!text)
        return std::nullopt;
    RaceCard card;
    card.encoding = text->encoding;
    card.separator = separator_of(text->utf8);
    const std::vector<Row> rows = rows_of(text->utf8, card.separator);
    // Title lines may stand above the heading; a heading further down than a few rows is no heading.
    std::size_t first = 0;
    for (std::size_t i = 0; i < rows.size() && i < 5; ++i) {
        if (const std::optional<CardColumns> found = heading_columns(rows[i])) {
            card.has_heading = true;
            card.columns = *found;
            card.column_texts = rows[i].cells;
            first = i + 1;
            break;
        }
    }
    if (!card.has_heading && !rows.empty())
        card.column_texts = rows.front().cells;
    if (columns)
        card.columns = *columns;
    std::set<std::pair<int, int>> named;
    for (std::size_t i = first; i < rows.size(); ++i)
        take_row(rows[i], card.columns, named, card);
    return card;
}

const char* card_action_text(CardAction action) {
    switch (action) {
    case CardAction::New:
        return "new";
    case CardAction::Changed:
        return "changed";
    case CardAction::Cleared:
        return "cleared";
    case CardAction::Unchanged:
        break;
    }
    return "unchanged";
}

std::vector<CardPreviewRow> preview_race_card(const RaceCard& card, const EventDocument& doc) {
    std::vector<CardPreviewRow> rows;
    for (const RaceCardEntry& e : card.entries) {
        CardPreviewRow r{e.heat, e.box, e.name, doc.dog_name(e.heat, e.box), CardAction::Unchanged, e.line};
        if (r.old_name != r.name)
            r.action = r.name.empty()       ? CardAction::Cleared
                       : r.old_name.empty() ? CardAction::New
                                            : CardAction::Changed;
        rows.push_back(std::move(r));
    }
    return rows;
}

std::string race_card_preview_lines(const RaceCard& card, const EventDocument& doc) {
    std::string out;
    for (const CardPreviewRow& r : preview_race_card(card, doc))
        out += std::to_string(r.heat) + ";" + std::to_string(r.box) + ";" + r.name + ";" +
               card_action_text(r.action) + "\n";
    for (const RejectedLine& r : card.rejected)
        out += "line " + std::to_string(r.line) + ": " + r.reason + "\n";
    return out;
}

std::int32_t apply_race_card(const RaceCard& card, EventDocument& doc) {
    std::int32_t changed = 0;
    for (const RaceCardEntry& e : card.entries) {
        if (doc.dog_name(e.heat, e.box) == e.name)
            continue;
        doc.dog_name(e.heat, e.box, e.name);
        ++changed;
    }
    return changed;
}

std::int32_t import_race_card(const RaceCard& card, EventSession& session) {
    const std::int32_t count = apply_race_card(card, session.document());
    if (!card.entries.empty()) {
        session.current_heat(card.entries.back().heat);
        session.Load_Heat_Data();
    }
    return count;
}

} // namespace veltro
