#pragma once

#include "timing/heat_values.h"

#include <array>
#include <cstdint>
#include <string>

namespace veltro {

class EventSession;

// The heat competitor list without its window: the heat name and the six dog names it shows, and
// what of them reaches the open recording. A field writes into the recording's header in memory only
// when its text differs from the recording's, so filling the fields with the names the recording
// already has changes nothing; `store_changes` puts the header on disk once something did change.
class HeatCompetitorList {
public:
    struct Fields {
        std::string heat_name;                          // Text_Heat_name
        std::array<std::string, kTimedBoxes> dog_names; // Text_dog_name(1..6)
    };

    HeatCompetitorList(HeatValues& rec, const EventSession& session) : rec_(rec), session_(session) {}

    const Fields& fields() const { return fields_; }
    // Set whenever a field wrote into the recording since the header was last put on disk.
    bool changed() const { return changed_; }

    // The heat the selector starts at: the open recording's heat, else `main_heat` (the main window's
    // heat number); limited to 1..100.
    std::int16_t first_heat(std::int16_t main_heat) const;

    // load_Dog_Names: clears changed and copies the recording's heat and dog names into the fields.
    // Returns false (fields empty) when no recording is open.
    bool load_Dog_Names();
    // Applying the heat selector: the event file's heat name and dog names of `heat` replace the
    // fields. Without an event file open the fields are kept: an empty skeleton must not blank the
    // recording's names; nor, with `keep_for_unnamed_heat` (the opening), a heat the event file has no
    // names for. Returns true when the fields were replaced.
    bool apply_heat(std::int16_t heat, bool keep_for_unnamed_heat = false);

    // Field changes (1..6 for dog names). The text is kept in the field; while a recording is open and
    // its value differs, it is written into the recording and changed is set. Returns true when the
    // recording changed (the main window then handles its results again). A read-only recording is
    // refused once (VeltroError 70); after that this list writes nothing into it until reloaded.
    bool dog_name_changed(std::int16_t box, const std::string& text);
    bool heat_name_changed(const std::string& text);

    // "Update current file": the six dog name fields into the recording. Refuses a read-only
    // recording every time (VeltroError 70). Returns true when the recording changed.
    bool update_current_file();

    // Puts the header on disk when changed, then clears changed. Returns true when it wrote. A write
    // that fails (VeltroError) keeps changed, so the names stay in memory for the next attempt.
    bool store_changes();

private:
    bool writable();
    bool store(std::int16_t box, const std::string& text);

    HeatValues& rec_;
    const EventSession& session_;
    Fields fields_;
    bool changed_ = false;
    bool refused_ = false;
};

} // namespace veltro
