// Race cards come from spreadsheets: any bytes must give entries within the event skeleton (heat
// 1..100, box 1..6, names the event file can hold) or problems, and import without failing.
#include "events/event_document.h"
#include "events/event_session.h"
#include "events/race_card.h"
#include "support/operator.h"
#include "timing/heat_values.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static veltro::QuietOperator quiet;
    static veltro::EventSession session("/nonexistent/Veltro Event Files");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!veltro::Looks_like_race_card(text))
        return 0;
    const veltro::RaceCard card = veltro::Parse_race_card(text);
    for (const veltro::RaceCardEntry& e : card.entries) {
        if (e.heat < 1 || e.heat > veltro::kEventHeats || e.box < 1 || e.box > veltro::kTimedBoxes ||
            e.name.empty() || !veltro::EventDocument::can_hold(e.name))
            std::abort();
    }
    veltro::Race_card_preview(card);
    if (card.problems.empty())
        veltro::Import_race_card(card, session);
    // What the editor stores must come back from the file as it went in.
    if (!card.entries.empty()) {
        const veltro::RaceCardEntry& e = card.entries.front();
        veltro::EventDocument again;
        again.load(session.document().serialise());
        if (card.problems.empty() && again.dog_name(e.heat, e.box) != session.Reg_Dog_Name(e.heat, e.box))
            std::abort();
    }
    return 0;
}
