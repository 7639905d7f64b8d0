#pragma once

#include <string>
#include <string_view>

namespace veltro {

// The event log: data folder + "/Veltro_eventlog.txt".
std::string event_log_path();

// Appends one line to the event log: the local date and time ("yyyy-mm-dd hh:nn:ss") immediately
// followed by `text`. A failure to write is a VeltroError, for the caller's trap to report.
void Log_Event(const std::string& text);
// The same for a caller that must go on whatever the disk does: a failure only goes to the trace.
void log_event_quietly(const std::string& text);

// Appends `data` to the file at `path` (created when missing) in one piece: when the write fails
// part-way, the file is cut back to its old length and a VeltroError names the path and the reason.
void append_to_file(const std::string& path, std::string_view data);

} // namespace veltro
