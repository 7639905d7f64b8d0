#pragma once

#include "events/event_document.h"
#include "support/veltro_error.h"
#include "timing/heat_values.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace veltro {

// The folder of the event files: the data folder + "/Veltro Event Files", created when missing.
std::string default_event_folder();

// The name of a new event file before it is made valid: the event name, a blank, the day.
std::string event_file_stem(const std::string& event_name, const std::string& day);

// The file-name part of a path (after its last '/').
std::string file_name_part(const std::string& path);

// What the event editor's fields show, kept here so that every rule about them holds without a
// window; the editor window shows these texts and writes typed text back.
struct EventEditorFields {
    std::string event_name;                         // Text_event_name
    std::string day;                                // Text_day
    std::string file_label;                         // the event-file-name label's caption
    std::string file_label_tip;                     // its tool tip
    std::string heat_name;                          // Text_heatName
    std::string heat_start_time;                    // Text_heat_start_time
    std::string heat_length;                        // Text_heatLength
    std::array<std::string, kTimedBoxes> dog_names; // Text_dog_name(1..6)
};

// One open event: the event document, the file it belongs to, and the flags the main window and
// the editor go by. Core only: every message goes through the Operator, every window reaction
// through the hooks below.
class EventSession {
public:
    // Starts with no event file and an in-memory skeleton.
    explicit EventSession(std::string event_folder);

    // --- Hooks (all optional) ---
    // The main window shows (or, without a valid event, hides) its heat data.
    std::function<void()> show_heat_data;
    // A run-time failure that the procedure reports and then goes on from (the error handler).
    std::function<void(const VeltroError&, const std::string& location)> report_error;

    // --- State ---
    const std::string& current_event_file() const { return current_event_file_; }
    const std::string& event_folder() const { return event_folder_; }
    // True while the current event file has passed validation.
    bool event_valid() const { return event_valid_; }
    // True while an event file is open for editing.
    bool file_open() const { return file_open_; }
    // The heat the editor shows, 1..100; another value fails with error 9.
    std::int16_t current_heat() const { return current_heat_; }
    void current_heat(std::int16_t heat);

    EventDocument& document() { return doc_; }
    const EventDocument& document() const { return doc_; }
    EventEditorFields& fields() { return fields_; }
    const EventEditorFields& fields() const { return fields_; }

    // --- File operations ---
    // Menu "Create new Event file": a new event file from the event name and day fields.
    void create_new_event_file();
    // A fresh skeleton, saved to the current event file.
    void Create_Event_XML_File();
    // Saves the document to the current event file: refuses a read-only file with a message;
    // otherwise replaces the file atomically, so a failed save (VeltroError) leaves the old file.
    void XML_to_File();
    // Loads the current event file (when it exists) and fills the event name, day and file label.
    // A file that is not XML, or lacks a node of the skeleton, fails (VeltroError): the event is then
    // not valid and the document is empty, which is never saved.
    void Parse_XML_file();
    // True when the file has a length above zero. False clears the event-valid flag; a missing file
    // is also reported through report_error.
    bool Validate_XML_file(const std::string& path);
    // Sets the event-valid flag and validates the current event file, telling the operator when
    // it is not valid.
    void Open_Event_File();
    // The editor's start-up: opens the event file remembered in the settings, if any. A file that
    // cannot be loaded is reported (report_error, "Parse_XML_file") and leaves no valid event.
    void editor_start_up();
    // Menu "Open event file" with the path chosen in the dialog (empty: cancelled, nothing happens).
    void open_another_event_file(const std::string& path);
    // Menu "Close event file".
    void close_event_file();
    // The main window's "No Event File": forgets the current event file, in the settings too, and
    // closes it for editing (the caller saves what was typed first).
    void no_event_file();

    // --- Editor field rules ---
    // Copies the current heat into the heat fields (an empty stored length keeps the field).
    void Load_Heat_Data();
    // The file-name label: the file-name part of the current event file, or "No event file".
    void Update_Event_file_name();

    // --- Queries (main window, speaker card) ---
    std::string Event_name() const;
    std::string Get_day() const;
    std::string Heat_Name(std::int16_t heat) const;
    std::string Heat_Length(std::int16_t heat) const;
    std::string Reg_Dog_Name(std::int16_t heat, std::int16_t box) const;

    // --- Editor writers: do nothing (and return false) while no event file is open ---
    bool write_event_name(const std::string& value);
    bool write_event_day(const std::string& value);
    bool write_heat_name(const std::string& value);
    bool write_heat_time(const std::string& value);
    bool write_heat_length(const std::string& value);
    bool write_dog_name(std::int16_t box, const std::string& value);

    // --- Dog-name import support ---
    // Checks the current event file before an import; tells the operator when there is none.
    bool import_possible();

private:
    void report(const VeltroError& e, const std::string& procedure);
    bool file_exists(const std::string& path) const;

    std::string event_folder_;
    std::string current_event_file_;
    bool event_valid_ = false;
    bool file_open_ = false;
    std::int16_t current_heat_ = 1;
    EventDocument doc_;
    EventEditorFields fields_;
    // The event name and day the open file had when it was opened or made.
    std::string opened_name_;
    std::string opened_day_;
};

} // namespace veltro
