#include "events/heat_competitors.h"

#include "events/event_document.h"
#include "events/event_session.h"
#include "support/operator_name.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <charconv>

namespace veltro {

namespace {

std::int16_t clamp_heat(long heat) {
    return static_cast<std::int16_t>(std::clamp<long>(heat, 1, kEventHeats));
}

} // namespace

std::int16_t HeatCompetitorList::first_heat(std::int16_t main_heat) const {
    if (rec_.File_open()) {
        const std::string id = rec_.Velt_Heat_ID();
        long heat = 0;
        const auto [end, ec] = std::from_chars(id.data(), id.data() + id.size(), heat);
        if (ec == std::errc() && end == id.data() + id.size() && heat >= 1 && heat <= kEventHeats)
            return static_cast<std::int16_t>(heat);
    }
    return clamp_heat(main_heat);
}

bool HeatCompetitorList::load_Dog_Names() {
    changed_ = false;
    refused_ = false;
    fields_ = Fields{};
    if (!rec_.File_open())
        return false;
    for (std::int16_t box = 1; box <= kTimedBoxes; ++box)
        fields_.dog_names[static_cast<std::size_t>(box - 1)] = rec_.Velt_Dog_name(box);
    fields_.heat_name = rec_.Velt_Heat_Name();
    return true;
}

bool HeatCompetitorList::apply_heat(std::int16_t heat, bool keep_for_unnamed_heat) {
    if (!session_.file_open())
        return false;
    Fields from_event;
    bool named = false;
    for (std::int16_t box = 1; box <= kTimedBoxes; ++box) {
        std::string& name = from_event.dog_names[static_cast<std::size_t>(box - 1)];
        name = session_.Reg_Dog_Name(heat, box);
        named = named || !name.empty();
    }
    from_event.heat_name = session_.Heat_Name(heat);
    if (keep_for_unnamed_heat && !named && from_event.heat_name.empty())
        return false;
    fields_ = from_event;
    return true;
}

bool HeatCompetitorList::writable() {
    if (!rec_.File_open() || refused_)
        return false;
    if (rec_.Read_only()) {
        refused_ = true;
        throw VeltroError(err::kPermissionDenied, "Permission denied: the recording is read only");
    }
    if (!rec_.velt_official().empty()) {
        refused_ = true;
        throw VeltroError(err::kPermissionDenied, kOfficialRefusal);
    }
    return true;
}

bool HeatCompetitorList::store(std::int16_t box, const std::string& text) {
    if (rec_.Velt_Dog_name(box) == text)
        return false;
    rec_.Velt_Dog_name(box, text);
    changed_ = true;
    return true;
}

bool HeatCompetitorList::dog_name_changed(std::int16_t box, const std::string& text) {
    if (box < 1 || box > kTimedBoxes)
        throw VeltroError(err::kSubscriptOutOfRange, "Subscript out of range: box " + std::to_string(box));
    fields_.dog_names[static_cast<std::size_t>(box - 1)] = text;
    if (!rec_.File_open() || rec_.Velt_Dog_name(box) == text || !writable())
        return false;
    return store(box, text);
}

bool HeatCompetitorList::heat_name_changed(const std::string& text) {
    fields_.heat_name = text;
    if (!rec_.File_open() || rec_.Velt_Heat_Name() == text || !writable())
        return false;
    rec_.Velt_Heat_Name(text);
    changed_ = true;
    return true;
}

bool HeatCompetitorList::update_current_file() {
    if (!rec_.File_open())
        return false;
    if (rec_.Read_only())
        throw VeltroError(err::kPermissionDenied, "Permission denied: the recording is read only");
    if (!rec_.velt_official().empty())
        throw VeltroError(err::kPermissionDenied, kOfficialRefusal);
    // The list's names go in over a name another program stored meanwhile, not under it.
    rec_.take_changes_made_elsewhere();
    bool any = false;
    for (std::int16_t box = 1; box <= kTimedBoxes; ++box)
        any = store(box, fields_.dog_names[static_cast<std::size_t>(box - 1)]) || any;
    return any;
}

bool HeatCompetitorList::store_changes() {
    if (!changed_)
        return false;
    // With the recording closed its header is gone from memory: there is nothing left to write.
    if (!rec_.File_open()) {
        changed_ = false;
        return false;
    }
    rec_.next_change(session_operator_name(), {});
    rec_.Write_XML_header();
    changed_ = false;
    return true;
}

} // namespace veltro
