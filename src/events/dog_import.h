#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>

namespace veltro {

class EventSession;

// What the editor window does while an import runs; both optional.
struct DogImportHooks {
    // A "Start" line moved the current heat: show it (selector, frame caption, redraw).
    std::function<void()> heat_changed;
    // A name was stored and the heat fields reloaded: redraw, then pause so the operator sees it.
    std::function<void()> name_stored;
};

// Reads dog names from a text into the session's event document.
//
// A line containing "Start" begins a heat whose number is in the line's characters 6 to 8
// ("Start1", "Start 12", "Start100"); every other line is the next box of that heat, and a line
// that is empty after trimming leaves its box as it is. At the end the operator is told the count
// (" Dogs imported!"). A name line outside a heat 1..100 stops with "Invalid import file format!".
// A heat text that is not a number, a name for a box the heat does not have, or a name the event
// file cannot hold (EventDocument::can_hold) fails with a VeltroError. Names stored before a stop or failure
// stay; nothing is saved to disk. Lines may end in LF, CR LF or CR, and be UTF-8 or ISO-8859-1. Returns the
// count of names stored.
std::int32_t Import_Dogs(std::istream& in, EventSession& session, const DogImportHooks& hooks = {});

// The same over a file; a file that cannot be opened fails with error 53.
std::int32_t import_dogs_file(const std::string& path, EventSession& session,
                              const DogImportHooks& hooks = {});

// The folder the import dialog starts in: the setting importdir, whose default ("c:") is the user's
// home folder; and storing the chosen file's folder, with its trailing separator.
std::string import_folder();
void store_import_folder(const std::string& chosen_file);

} // namespace veltro
