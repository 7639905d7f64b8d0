// px3tool card: the race card import of the event editor, for scripts: the same preview, and with
// --apply the names written into the event file.
#include "events/event_document.h"
#include "events/race_card.h"
#include "px3tool_commands.h"
#include "support/files.h"
#include "support/veltro_error.h"

#include <filesystem>
#include <iostream>

namespace px3tool {

namespace {

// The event file to compare with: the file when it exists (it must be a whole event file), else a
// new skeleton.
veltro::EventDocument event_of(const std::string& path) {
    veltro::EventDocument doc;
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) {
        doc.Create_Veltro_Race_File();
        return doc;
    }
    const std::optional<std::string> bytes = veltro::read_whole_file(path);
    if (!bytes)
        throw veltro::VeltroError(veltro::err::kPermissionDenied, "Could not read the event file " + path);
    doc.load(*bytes, path);
    if (const std::string missing = doc.first_missing_node(); !missing.empty())
        throw veltro::VeltroError(veltro::err::kObjectVariableNotSet,
                                  path + " is not a complete event file: it has no " + missing);
    return doc;
}

} // namespace

int card(const Args& in) {
    Args args = in;
    const std::string event_path = take_option(args, "--event");
    const bool apply = take_flag(args, "--apply");
    if (args.size() != 1)
        throw UsageError{"card takes CARD"};
    if (apply && event_path.empty())
        throw UsageError{"--apply needs --event EVENT.xml"};
    std::error_code ec;
    const std::optional<std::string> bytes =
        std::filesystem::is_regular_file(args[0], ec) ? veltro::read_whole_file(args[0]) : std::nullopt;
    const std::optional<veltro::RaceCard> card = bytes ? veltro::parse_race_card(*bytes) : std::nullopt;
    if (!card) {
        std::cerr << "px3tool card: " << args[0]
                  << (bytes ? ": not text in UTF-8, UTF-16 or Windows-1252\n" : ": cannot be read\n");
        return 2;
    }
    veltro::EventDocument doc = event_of(event_path);
    std::cout << veltro::race_card_preview_lines(*card, doc);
    for (const std::string& warning : card->warnings)
        std::cerr << "warning: " << warning << '\n';
    if (!std::cout.flush())
        throw veltro::VeltroError(veltro::err::kDiskFull, "Could not write the preview");
    if (!card->rejected.empty()) {
        if (apply)
            std::cerr << "px3tool card: nothing written to " << event_path << ": " << card->rejected.size()
                      << " lines rejected\n";
        return 1;
    }
    if (apply) {
        veltro::apply_race_card(*card, doc);
        veltro::save_file_atomically(event_path, doc.serialise());
    }
    return 0;
}

} // namespace px3tool
