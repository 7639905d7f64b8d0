#pragma once

#include "capture/capture_component.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// The logic of the source-selection window: the list of sources and formats, the saved choice, and
// the texts it produces.

struct SourceRow {
    std::int16_t source_number = 0; // n of "video:n"
    std::string friendly_name;
    std::int16_t format_number = 0; // p of "getAMT" p
    std::string description;        // Process_AMT of the format
};

// Every source "video:1" to "video:10" up to the first that does not exist, and each of its formats
// whose description differs from the row added just before it for the same source.
std::vector<SourceRow> Do_Enum(CaptureComponent& component);

// The row of the saved friendly name and format number (decimal text); none when either is absent.
std::optional<std::size_t> Do_Select(const std::vector<SourceRow>& rows,
                                     const std::string& saved_friendlyname,
                                     const std::string& saved_videoproperty);

// A row click: writes ("capturesettings", "friendlyname") and ("capturesettings", "videoproperty").
void save_source_choice(const SourceRow& row);

// "List contents to ClipBoard": a heading line with the date and time, program version and computer
// name, then one line per row, the fields joined by two spaces; lines end in CR LF.
std::string source_list_text(const std::vector<SourceRow>& rows, const std::string& date_time,
                             const std::string& program_version, const std::string& computer_name);

} // namespace veltro
