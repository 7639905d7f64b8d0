#include "events/race_card.h"

#include "events/event_document.h"
#include "events/event_session.h"
#include "support/numbers.h"
#include "support/text.h"
#include "support/utf8_text.h"
#include "support/veltro_error.h"
#include "timing/heat_values.h"

#include <algorithm>
#include <limits>
#include <map>
#include <set>

namespace veltro {
namespace {

std::vector<std::string> split_lines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

// Splits one line at `sep`, honouring double quotes ("" inside quotes is one quote).
std::vector<std::string> split_fields(const std::string& line, char sep) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"' && trim(fields.back()).empty()) {
            fields.back().clear();
            quoted = true;
        } else if (c == sep) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

bool is_blank(const std::string& line) {
    return trim(line).empty();
}

bool is_entry(const std::vector<std::string>& f) {
    return f.size() >= 3 && is_decimal_number(f[0]) && is_decimal_number(f[1]);
}

// The separator of the card: the first of tab, semicolon, comma that splits the first line into
// at least three fields.
char separator_of(const std::string& line) {
    for (char sep : {'\t', ';', ','})
        if (split_fields(line, sep).size() >= 3)
            return sep;
    return '\0';
}

struct Shape {
    char sep = '\0';
    std::size_t first_entry = 0; // index of the first data line
};

// Finds the separator and the first data line, or sep '\0' when the text is no card.
Shape shape_of(const std::vector<std::string>& lines) {
    std::size_t i = 0;
    while (i < lines.size() && is_blank(lines[i]))
        ++i;
    if (i == lines.size())
        return {};
    const char sep = separator_of(lines[i]);
    if (sep == '\0')
        return {};
    if (is_entry(split_fields(lines[i], sep)))
        return {sep, i};
    // A heading: the next line that is not empty must be an entry.
    std::size_t j = i + 1;
    while (j < lines.size() && is_blank(lines[j]))
        ++j;
    if (j < lines.size() && is_entry(split_fields(lines[j], sep)))
        return {sep, j};
    return {};
}

// A number too big for a Long is still a number, only outside every range.
std::int64_t number_of(const std::string& text) {
    try {
        return parse_long(text);
    } catch (const VeltroError&) {
        return std::numeric_limits<std::int64_t>::max();
    }
}

std::string as_utf8(const std::string& text) {
    return is_valid_utf8(text) ? text : latin1_to_utf8(text);
}

} // namespace

bool Looks_like_race_card(std::string_view text) {
    return shape_of(split_lines(text)).sep != '\0';
}

RaceCard Parse_race_card(std::string_view text) {
    RaceCard card;
    const std::vector<std::string> lines = split_lines(text);
    const Shape shape = shape_of(lines);
    if (shape.sep == '\0') {
        card.problems.push_back("no line of heat number, box number and dog name");
        return card;
    }
    std::set<std::pair<int, int>> named;
    for (std::size_t i = shape.first_entry; i < lines.size(); ++i) {
        if (is_blank(lines[i]))
            continue;
        const std::string where = "line " + std::to_string(i + 1) + ": ";
        const std::vector<std::string> f = split_fields(as_utf8(lines[i]), shape.sep);
        if (!is_entry(f)) {
            card.problems.push_back(where + "not a heat number, box number and dog name");
            continue;
        }
        const std::int64_t heat = number_of(f[0]);
        const std::int64_t box = number_of(f[1]);
        // A name that itself held the separator was not quoted: it is still one name.
        std::string name = f[2];
        for (std::size_t k = 3; k < f.size(); ++k)
            name += shape.sep + f[k];
        name = trim(name);
        if (heat < 1 || heat > kEventHeats) {
            card.problems.push_back(where + "heat " + trim(f[0]) + " is not in 1..100");
        } else if (box < 1 || box > kTimedBoxes) {
            card.problems.push_back(where + "box " + trim(f[1]) + " is not in 1..6");
        } else if (!named.insert({heat, box}).second) {
            card.problems.push_back(where + "heat " + std::to_string(heat) + " box " + std::to_string(box) +
                                    " is named twice");
        } else if (!EventDocument::can_hold(name)) {
            card.problems.push_back(where + "\"" + name + "\" " + EventDocument::cannot_hold_reason());
        } else if (!name.empty()) {
            card.entries.push_back({static_cast<std::int16_t>(heat), static_cast<std::int16_t>(box),
                                    std::move(name), static_cast<std::int32_t>(i + 1)});
        }
    }
    return card;
}

std::string Race_card_preview(const RaceCard& card) {
    std::map<int, std::map<int, std::string>> heats;
    for (const RaceCardEntry& e : card.entries)
        heats[e.heat][e.box] = e.name;
    std::string text = std::to_string(card.entries.size()) + " dog names will be imported:";
    for (const auto& [heat, boxes] : heats) {
        text += "\r\nHeat " + std::to_string(heat) + ":";
        for (const auto& [box, name] : boxes)
            text += "  " + std::to_string(box) + " " + name;
    }
    return text;
}

std::int32_t Import_race_card(const RaceCard& card, EventSession& session) {
    std::int32_t count = 0;
    for (const RaceCardEntry& e : card.entries) {
        session.document().dog_name(e.heat, e.box, e.name);
        ++count;
    }
    if (!card.entries.empty()) {
        session.current_heat(card.entries.back().heat);
        session.Load_Heat_Data();
    }
    return count;
}

} // namespace veltro
