#pragma once

#include "timing/heat_values.h"

#include <array>
#include <cstdint>
#include <string>

namespace veltro {

class EventSession;

// What the main window's heat frame and dog frame show for a heat of the event file.
struct HeatData {
    // False without a valid event file: the heat-name and event labels show "Test" and nothing else
    // is filled.
    bool from_event_file = false;
    std::string event_file_label; // the file-name part of the event file's path
    std::string event_name;       // also the tool tip
    std::string heat_number;
    std::string heat_name; // also the tool tip
    std::string day;
    std::string heat_length; // the length followed by " m"
    std::array<std::string, kTimedBoxes> dog_names;
};

// Display_Heat_Data: the texts for `heat` (the heat up-down control's value).
HeatData Display_Heat_Data(const EventSession& session, std::int16_t heat);

// The heat up-down control changed to `heat`. While no recording is open for review and an event
// file is in use, the heat number is stored as Heat_ID and true is returned: the window then shows
// the dog frame and runs Display_Heat_Data. Otherwise nothing happens.
bool heat_up_down_changed(const EventSession& session, bool review_open, std::int16_t heat);

} // namespace veltro
