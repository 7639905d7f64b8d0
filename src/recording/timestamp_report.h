#pragma once

#include <string>

namespace veltro {

class cls_VideoFile_handler;

// Module_timestamp_report: one semicolon-separated line per frame of the open recording with its
// capture times, lines ending in CR LF:
//   "\" Timestamp report for file: NAME\""
//   "Frame;Capture_mill;Capture_delta;Capture_local;"
//   "001;123456;040; 12:34:56,78" ... (delta since the previous frame, 0 above one second)
// A frame whose record cannot be read gets the line "003;Frame could not be read;;".
std::string timestamp_report_text(cls_VideoFile_handler& recording);

// The report's file name in `folder`: "frame_report" + the date and time now (':', '-', ',' made
// '_') + ".csv".
std::string timestamp_report_path(const std::string& folder);

// Writes the report (replacing a file of the same name) and tells the operator "Timestamp report
// written at; " + the path, which it returns.
std::string write_timestamp_report(cls_VideoFile_handler& recording, const std::string& path);

} // namespace veltro
