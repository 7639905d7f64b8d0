#include "capture/source_selection.h"

#include "capture/format_description.h"
#include "support/numbers.h"
#include "support/settings.h"

#include <cstdio>

namespace veltro {

std::vector<SourceRow> Do_Enum(CaptureComponent& component) {
    std::vector<SourceRow> rows;
    for (std::int16_t n = 1; n <= 10; ++n) {
        if (!component.SelectSource("video:" + std::to_string(n))) {
            break;
        }
        const std::string name = component.GetProperty("sourceFriendlyName");
        component.GetProperty("sourceDescription");
        const std::string count_text = component.GetProperty("numprops");
        const std::int32_t count =
            is_decimal_number(count_text) ? std::min<std::int32_t>(parse_long(count_text), 100) : 0;
        std::string previous;
        for (std::int32_t p = 0; p < count; ++p) {
            char index[8];
            std::snprintf(index, sizeof index, "%02d", static_cast<int>(p));
            const std::string description =
                Process_AMT(component.get_format_record(std::string("getAMT") + index));
            if (description != previous) {
                rows.push_back({n, name, static_cast<std::int16_t>(p), description});
            }
            previous = description;
        }
    }
    return rows;
}

std::optional<std::size_t> Do_Select(const std::vector<SourceRow>& rows,
                                     const std::string& saved_friendlyname,
                                     const std::string& saved_videoproperty) {
    std::optional<std::size_t> chosen;
    if (!is_decimal_number(saved_videoproperty)) {
        return chosen;
    }
    const std::int32_t saved_format = parse_long(saved_videoproperty);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].friendly_name == saved_friendlyname && rows[i].format_number == saved_format) {
            chosen = i;
        }
    }
    return chosen;
}

void save_source_choice(const SourceRow& row) {
    Write_Setting(keys::friendlyname, row.friendly_name);
    Write_Setting(keys::videoproperty, std::to_string(row.format_number));
}

std::string source_list_text(const std::vector<SourceRow>& rows, const std::string& date_time,
                             const std::string& program_version, const std::string& computer_name) {
    std::string text = "Video source enumeration at " + date_time + "\r\n";
    text += "Program version " + program_version + " Computer name " + computer_name + "\r\n";
    for (const auto& r : rows) {
        text += std::to_string(r.source_number) + "  " + r.friendly_name + "  " +
                std::to_string(r.format_number) + "  " + r.description + "\r\n";
    }
    return text;
}

} // namespace veltro
