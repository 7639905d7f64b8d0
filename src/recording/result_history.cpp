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
};
using HeatResult = std::array<BoxResult, kBoxes>;

HeatResult result_of(const Cls_XML_header& h) {
    HeatResult r;
    for (std::int16_t box = 1; box <= kBoxes; ++box) {
        BoxResult& b = r[static_cast<std::size_t>(box - 1)];
        b.dog = value_or([&] { return h.Velt_Dog_name(box); }, std::string());
        b.finish = value_or([&] { return h.Velt_Heat_time(box, false); }, 0);
        b.split = value_or([&] { return h.Velt_Heat_time(box, true); }, 0);
        b.dead_heat = value_or([&] { return h.Velt_dead_heat(box); }, false);
    }
    return r;
}

void compare(const HeatResult& before, const HeatResult& after, const std::string& when,
             std::vector<ResultChange>& out) {
    for (std::size_t i = 0; i < before.size(); ++i) {
        const BoxResult& a = before[i];
        const BoxResult& b = after[i];
        const std::string box = "box " + std::to_string(i + 1) + " ";
        if (a.dog != b.dog) {
            out.push_back({when, box + "dog name \"" + a.dog + "\" -> \"" + b.dog + "\""});
        }
        if (a.finish != b.finish) {
            out.push_back({when, box + "finish time " + History_time_text(a.finish) + " -> " +
                                     History_time_text(b.finish)});
        }
        if (a.split != b.split) {
            out.push_back({when, box + "split time " + History_time_text(a.split) + " -> " +
                                     History_time_text(b.split)});
        }
        if (a.dead_heat != b.dead_heat) {
            out.push_back({when, box + (b.dead_heat ? "dead heat set" : "dead heat cleared")});
        }
    }
}

} // namespace

std::string History_time_text(std::int32_t time) {
    switch (time) {
    case 0:
    case no_time::NotAssigned:
        return "none";
    case no_time::DidNotFinish:
        return "did not finish";
    case no_time::Disqualified:
        return "disqualified";
    case no_time::NoRank:
        return "no rank";
    default:
        return Display_Mill_Time(time, true);
    }
}

std::vector<ResultChange> Result_History(const JournalContents& journal,
                                         const std::optional<JournalEntry>& unjournalled) {
    std::vector<ResultChange> changes;
    std::unique_ptr<HeatResult> previous;
    std::vector<const JournalEntry*> headers;
    for (const JournalEntry& e : journal.entries) {
        if (e.kind == JournalKind::Header) {
            headers.push_back(&e);
        }
    }
    if (unjournalled) {
        headers.push_back(&*unjournalled);
    }
    for (const JournalEntry* e : headers) {
        Cls_XML_header header;
        header.XML_string(e->payload);
        if (!header.Has_XML()) {
            continue;
        }
        auto now = std::make_unique<HeatResult>(result_of(header));
        const std::size_t before = changes.size();
        if (previous) {
            compare(*previous, *now, e->time.substr(11, 8), changes);
        }
        if (unjournalled && e == &*unjournalled) {
            for (std::size_t i = before; i < changes.size(); ++i) {
                changes[i].what += " (stored without its journal entry)";
            }
        }
        previous = std::move(now);
    }
    return changes;
}

std::optional<JournalEntry> Unjournalled_header(const std::string& recording,
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

std::string Result_change_line(const ResultChange& change) {
    return change.time_of_day + "  " + change.what;
}

std::string Result_History_Text(const std::string& recording) {
    const std::string journal = journal_path(recording);
    const std::optional<std::string> bytes = read_whole_file(journal);
    if (!bytes) {
        return "History of " + recording + "\n\nNo journal: " + journal + " cannot be read.\n";
    }
    const JournalContents contents = decode_journal(*bytes);
    std::string text = "History of " + recording + "\n\n";
    const std::vector<ResultChange> changes =
        Result_History(contents, Unjournalled_header(recording, contents));
    for (const ResultChange& change : changes) {
        text += Result_change_line(change) + "\n";
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
