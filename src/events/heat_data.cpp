#include "events/heat_data.h"

#include "events/event_session.h"
#include "support/settings.h"

namespace veltro {

namespace {

bool event_in_use(const EventSession& session) {
    return session.event_valid() && !session.current_event_file().empty();
}

} // namespace

HeatData Display_Heat_Data(const EventSession& session, std::int16_t heat) {
    HeatData d;
    if (!event_in_use(session)) {
        d.event_name = "Test";
        d.heat_name = "Test";
        return d;
    }
    d.from_event_file = true;
    d.event_file_label = file_name_part(session.current_event_file());
    d.event_name = session.Event_name();
    d.heat_number = std::to_string(heat);
    d.heat_name = session.Heat_Name(heat);
    for (std::int16_t box = 1; box <= kTimedBoxes; ++box) {
        d.dog_names[static_cast<std::size_t>(box - 1)] = session.Reg_Dog_Name(heat, box);
    }
    d.day = session.Get_day();
    d.heat_length = session.Heat_Length(heat) + " m";
    return d;
}

bool heat_up_down_changed(const EventSession& session, bool review_open, std::int16_t heat) {
    if (review_open || !event_in_use(session)) {
        return false;
    }
    Write_Setting(keys::heat_id, std::to_string(heat));
    return true;
}

} // namespace veltro
