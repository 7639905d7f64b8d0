// Race cards come from spreadsheets: any bytes must give entries within the event skeleton (heat
// 1..100, box 1..6, names the event file can hold, none longer than a recording keeps) or rejected
// lines, and apply without failing; what is applied must come back from the saved file.
#include "events/event_document.h"
#include "events/race_card.h"
#include "timing/heat_values.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<veltro::RaceCard> card = veltro::parse_race_card(bytes);
    if (!card)
        return 0;
    for (const veltro::RaceCardEntry& e : card->entries) {
        if (e.heat < 1 || e.heat > veltro::kEventHeats || e.box < 1 || e.box > veltro::kTimedBoxes ||
            e.name.size() > veltro::kMaxCardName || !veltro::EventDocument::can_hold(e.name))
            std::abort();
    }
    // The operator's choice of columns may point anywhere in the rows.
    veltro::parse_race_card(bytes, veltro::CardColumns{3, 0, 1});
    // One skeleton for every run: building and reading 800 boxes would dwarf the parser.
    static veltro::EventDocument doc = [] {
        veltro::EventDocument d;
        d.Create_Veltro_Race_File();
        return d;
    }();
    veltro::race_card_preview_lines(*card, doc);
    if (veltro::apply_race_card(*card, doc) == 0)
        return 0;
    veltro::EventDocument again;
    again.load(doc.serialise());
    for (const veltro::RaceCardEntry& e : card->entries)
        if (again.dog_name(e.heat, e.box) != doc.dog_name(e.heat, e.box))
            std::abort();
    return 0;
}
