#pragma once

#include "recording/uncounted_records.h"
#include "support/file_io.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// A recording checked byte by byte against the file layout, independently of the reader: magics,
// sizes, the header text, every counted record and every frame's JPEG stream; with its journal
// ("<recording>.journal") also the header text against the last one journalled and every record
// against the checksum journalled when it was written.
struct RecordingCheck {
    std::int32_t frames = 0;           // frames the header counts
    std::vector<std::string> problems; // one line per problem; empty for a sound file
    std::vector<std::string> notes;    // what is worth knowing about a sound file
    // Whole records behind the counted frames, left by a pass that did not finish: not a fault of
    // the frames counted, but frames that px3tool recover can add.
    UncountedRecords behind;
};
RecordingCheck check_recording(const std::string& path);
// The same for a recording already open in `file`, with its journal when `journal` is given.
RecordingCheck check_recording(File& file, File* journal = nullptr);

} // namespace veltro
