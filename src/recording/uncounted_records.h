#pragma once

#include "support/file_io.h"

#include <cstdint>
#include <string>

namespace veltro {

class Cls_XML_header;

// Whole sample records behind the frames a recording's header counts: what an append pass leaves
// when it ends before its header write (a full disk, a process killed). Readers do not show them;
// they can be counted when every one of them is sound.
struct UncountedRecords {
    std::int32_t counted = 0;     // frames the header counts
    std::int32_t sample_size = 0; // S of the records behind them: the header's, or the first record's
    std::int32_t records = 0;     // whole records behind the counted frames, all sound
    std::int64_t end = 0;         // file offset right after the last of them
    std::int64_t torn = 0;        // bytes behind them that make no whole record
    std::int32_t largest = 0;     // largest and smallest JPEG stream among them
    std::int32_t smallest = 0;
    // Why the whole records behind the counted frames cannot be counted (then `records` is 0);
    // empty when they can, or when there are none.
    std::string problem;
};

// Looks behind the frames `header` (the header of `file`) counts. Reads only; never throws for what
// is in the file.
UncountedRecords find_uncounted_records(File& file, const Cls_XML_header& header);

// The text for the operator and px3tool verify: "12 complete records past the 250 frames the header
// counts: run px3tool recover".
std::string uncounted_records_text(const UncountedRecords& found);

// What counting a recording's uncounted records did.
struct RecordsRecovery {
    std::int32_t frames = 0; // records now counted
    std::string message;     // one line for the operator
};

// Counts the sound whole records behind the counted frames of `recording` in its header, as the pass
// that wrote them would have; bytes of a torn record after them are cut off. A recording with none,
// or whose records are not all sound, is left as it is, and the message says why.
RecordsRecovery recover_uncounted_records(const std::string& recording);

} // namespace veltro
