// Event files come from anywhere through the open dialog: the loader must turn any bytes into
// either a document or a VeltroError, and what it keeps, with what the editor types into it, must
// write out and read back.
#include "event_xpath.h"
#include "events/event_document.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace veltro;

// The document finds its heats and boxes without XPath: it must find what XPath finds.
void check_lookups(const EventDocument& doc) {
    for (const std::int16_t heat : {1, 2, 50, 100}) {
        if (text_or_none([&] { return doc.heat_name(heat); }) !=
                xpath_text(doc, EventDocument::heat_path(heat, "heat_name")) ||
            text_or_none([&] { return doc.heat_time(heat); }) !=
                xpath_text(doc, EventDocument::heat_path(heat, "heat_time")))
            std::abort();
        for (const std::int16_t box : {1, 2, 8})
            if (text_or_none([&] { return doc.dog_name(heat, box); }) !=
                xpath_text(doc, EventDocument::dog_name_path(heat, box)))
                std::abort();
    }
}

void write(const std::function<void()>& f) {
    text_or_none([&] { return f(), std::string(); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    veltro::EventDocument doc;
    try {
        doc.load(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const veltro::VeltroError&) {
        if (!doc.empty() || !doc.serialise().empty())
            std::abort(); // a failed load must leave nothing that could be saved
        return 0;
    }
    text_or_none([&] { return doc.event_name(); });
    text_or_none([&] { return doc.event_day(); });
    text_or_none([&] { return doc.heat_length(100); });
    check_lookups(doc);
    write([&] { doc.dog_name(1, 1, "Fr\xC3\xB6ken"); });
    write([&] { doc.heat_name(2, "A & <B>"); });
    write([&] { doc.event_name("E"); });
    check_lookups(doc);

    // The editor stores only what the file can hold; such a text must come back exactly.
    const std::string typed(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 40));
    const bool holdable = veltro::EventDocument::can_hold(typed);
    bool stored = false;
    if (holdable)
        write([&] {
            doc.dog_name(3, 6, typed);
            stored = true;
        });

    const std::string saved = doc.serialise();
    veltro::EventDocument again;
    try {
        again.load(saved);
    } catch (const veltro::VeltroError&) {
        std::abort(); // we wrote something we cannot read back
    }
    if (stored && again.dog_name(3, 6) != typed)
        std::abort();
    return 0;
}
