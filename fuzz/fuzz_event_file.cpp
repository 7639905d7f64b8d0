// Event files come from anywhere through the open dialog: the loader must turn any bytes into
// either a document or a VeltroError, and what it keeps, with what the editor types into it, must
// write out and read back.
#include "events/event_document.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

template <typename F>
void probe(F f) {
    try {
        f();
    } catch (const veltro::VeltroError&) {
    }
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
    probe([&] { doc.event_name(); });
    probe([&] { doc.event_day(); });
    probe([&] { doc.heat_name(1); });
    probe([&] { doc.heat_length(100); });
    probe([&] { doc.heat_time(50); });
    probe([&] { doc.dog_name(1, 1); });
    probe([&] { doc.dog_name(100, 8); });
    probe([&] { doc.dog_name(1, 1, "Fr\xC3\xB6ken"); });
    probe([&] { doc.heat_name(2, "A & <B>"); });

    // The editor stores only what the file can hold; such a text must come back exactly.
    const std::string typed(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 40));
    const bool holdable = veltro::EventDocument::can_hold(typed);
    bool stored = false;
    if (holdable)
        probe([&] {
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
