#include "recording/result_history.h"

#include "recording/xml_header.h"
#include "support/files.h"
#include "support/value_or.h"
#include "timing/heat_values.h"
#include "timing/time_text.h"

#include <array>
#include <fstream>
#include <memory>

namespace veltro {

namespace {

struct BoxResult {
    std::string dog;
    std::int32_t finish = 0;
    std::int32_t split = 0;
    bool dead_heat = false;
    bool operator==(const BoxResult&) const = default;
};
struct HeatResult {
    std::array<BoxResult, kBoxes> boxes;
    std::string official;
    bool operator==(const HeatResult&) const = default;
};

HeatResult result_of(const Cls_XML_header& h) {
    HeatResult r;
    for (std::int16_t box = 1; box <= kBoxes; ++box) {
        BoxResult& b = r.boxes[static_cast<std::size_t>(box - 1)];
        b.dog = value_or([&] { return h.Velt_Dog_name(box); }, std::string());
        b.finish = value_or([&] { return h.Velt_Heat_time(box, false); }, 0);
        b.split = value_or([&] { return h.Velt_Heat_time(box, true); }, 0);
        b.dead_heat = value_or([&] { return h.Velt_dead_heat(box); }, false);
    }
    r.official = h.velt_official();
    return r;
}

// A new header names every dog "dog name" until one is given.
std::string name_text(const std::string& name) {
    return name.empty() || name == "dog name" ? "(none)" : "\"" + name + "\"";
}

void compare(const HeatResult& before, const HeatResult& after, const std::string& when,
             std::vector<ResultChange>& out) {
    for (std::size_t i = 0; i < before.boxes.size(); ++i) {
        const BoxResult& a = before.boxes[i];
        const BoxResult& b = after.boxes[i];
        const std::string box = "box " + std::to_string(i + 1) + " ";
        if (a.dog != b.dog) {
            out.push_back({when, box + "dog name " + name_text(a.dog) + " -> " + name_text(b.dog), {}});
        }
        if (a.finish != b.finish) {
            out.push_back(
                {when,
                 box + "finish time " + history_time_text(a.finish) + " -> " + history_time_text(b.finish),
                 {}});
        }
        if (a.split != b.split) {
            out.push_back(
                {when,
                 box + "split time " + history_time_text(a.split) + " -> " + history_time_text(b.split),
                 {}});
        }
        if (a.dead_heat != b.dead_heat) {
            out.push_back({when, box + (b.dead_heat ? "dead heat set" : "dead heat cleared"), {}});
        }
    }
    if (before.official.empty() && !after.official.empty()) {
        out.push_back({when, "result declared official", {}});
    } else if (!before.official.empty() && after.official.empty()) {
        out.push_back({when, "official withdrawn", {}});
    }
}

// The header entries of the journal, parsed; those that do not parse are left out.
struct ParsedHeader {
    const JournalEntry* entry;
    HeatResult result;
    std::string by, change;
};
std::vector<ParsedHeader> parsed_headers(const std::vector<const JournalEntry*>& entries) {
    std::vector<ParsedHeader> out;
    for (const JournalEntry* e : entries) {
        Cls_XML_header header;
        header.XML_string(e->payload);
        if (header.Has_XML()) {
            out.push_back({e, result_of(header), header.velt_changed_by(), header.velt_change()});
        }
    }
    return out;
}

} // namespace

std::string history_time_text(std::int32_t time) {
    switch (time) {
    case 0:
    case no_time::kNotAssigned:
        return "none";
    case no_time::kDidNotFinish:
        return "did not finish";
    case no_time::kDisqualified:
        return "disqualified";
    case no_time::kNoRank:
        return "no rank";
    default:
        return Display_Mill_Time(time, true);
    }
}

std::vector<ResultChange> result_history(const JournalContents& journal,
                                         const std::optional<JournalEntry>& unjournalled) {
    std::vector<const JournalEntry*> entries;
    for (const JournalEntry& e : journal.entries) {
        if (e.kind == JournalKind::Header) {
            entries.push_back(&e);
        }
    }
    if (unjournalled) {
        entries.push_back(&*unjournalled);
    }
    const std::vector<ParsedHeader> headers = parsed_headers(entries);
    std::vector<ResultChange> changes;
    for (std::size_t i = 1; i < headers.size(); ++i) {
        const ParsedHeader& h = headers[i];
        const std::size_t before = changes.size();
        compare(headers[i - 1].result, h.result, h.entry->time.substr(11, 8), changes);
        for (std::size_t c = before; c < changes.size(); ++c) {
            changes[c].by = h.by;
            if (!h.change.empty()) {
                changes[c].what += " (" + h.change + ")";
            }
            if (unjournalled && h.entry == &*unjournalled) {
                changes[c].what += " (stored without its journal entry)";
            }
        }
    }
    return changes;
}

const JournalEntry* undo_target(const JournalContents& journal) {
    std::vector<const JournalEntry*> entries;
    for (const JournalEntry& e : journal.entries) {
        if (e.kind == JournalKind::Header) {
            entries.push_back(&e);
        }
    }
    const std::vector<ParsedHeader> headers = parsed_headers(entries);
    int undone = 0; // undos met on the way back whose change is still to be passed
    for (std::size_t i = headers.size(); i-- > 1;) {
        HeatResult before = headers[i - 1].result, after = headers[i].result;
        // The official mark is no change of the result: declaring and withdrawing are not undone.
        before.official = after.official;
        if (before == after) {
            continue;
        }
        if (headers[i].change == "undo") {
            ++undone;
        } else if (undone > 0) {
            --undone;
        } else {
            return headers[i - 1].entry;
        }
    }
    return nullptr;
}

std::optional<JournalEntry> unjournalled_header(const std::string& recording,
                                                const JournalContents& journal) {
    auto block = std::make_unique<px3::HeaderBlock>();
    std::ifstream in(recording, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(block->data()), static_cast<std::streamsize>(block->size()))) {
        return std::nullopt;
    }
    const HeaderJudgement judged = judge_header_block(*block, &journal);
    if (judged.state != HeaderState::Unjournalled) {
        return std::nullopt;
    }
    JournalEntry entry;
    entry.payload = px3::decode_header_block(block->data(), block->size()).text;
    Cls_XML_header header;
    header.XML_string(entry.payload);
    const auto time = journal_time_of_update(value_or([&] { return header.Update_Time(); }, std::string()));
    if (!time) {
        return std::nullopt;
    }
    entry.time = *time;
    return entry;
}

std::string result_change_line(const ResultChange& change) {
    return change.time_of_day + "  " + change.what + (change.by.empty() ? "" : "  by " + change.by);
}

std::string result_history_text(const std::string& recording) {
    const std::string journal = journal_path(recording);
    const std::optional<std::string> bytes = read_whole_file(journal);
    if (!bytes) {
        return "History of " + recording + "\n\nNo journal: " + journal + " cannot be read.\n";
    }
    const JournalContents contents = decode_journal(*bytes);
    std::string text = "History of " + recording + "\n\n";
    const std::vector<ResultChange> changes =
        result_history(contents, unjournalled_header(recording, contents));
    for (const ResultChange& change : changes) {
        text += result_change_line(change) + "\n";
    }
    if (changes.empty()) {
        text += "No result has been changed yet.\n";
    }
    if (contents.skipped_bytes > 0) {
        text += "\n" + std::to_string(contents.skipped_bytes) + " bytes of " + journal +
                " belong to no complete entry (a write cut short).\n";
    }
    return text;
}

} // namespace veltro
