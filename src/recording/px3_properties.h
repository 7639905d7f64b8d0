#pragma once

#include <string>

namespace veltro {

class cls_VideoFile_handler;

// The properties of the open recording as "name = value" lines (LF between lines), under the names
// the recording object gives them: the file, its frames and picture format, and the heat values of
// its header with one line per box. A value the header cannot give reads "(not readable)".
std::string px3_properties_text(const cls_VideoFile_handler& recording);

} // namespace veltro
