// px3tool history: the changes of a heat's results, from the journal beside its recording.
#include "px3tool_commands.h"
#include "recording/header_journal.h"
#include "recording/result_history.h"
#include "support/files.h"
#include "support/veltro_error.h"

#include <iostream>
#include <sys/stat.h>

namespace px3tool {

int history(const Args& in) {
    Args args = in;
    const std::string out = take_option(args, "-o");
    if (args.size() != 1) {
        throw UsageError{"history takes one FILE"};
    }
    const std::string journal = veltro::journal_path(args[0]);
    const auto bytes = veltro::read_whole_file(journal);
    if (!bytes) {
        struct stat st {};
        throw veltro::VeltroError(veltro::err::kFileNotFound,
                                  ::stat(args[0].c_str(), &st) == 0
                                      ? args[0] + " has no journal (" + journal + " cannot be read)"
                                      : "cannot open " + args[0]);
    }
    const veltro::JournalContents contents = veltro::decode_journal(*bytes);
    if (contents.skipped_bytes > 0) {
        std::cerr << "px3tool history: " << contents.skipped_bytes << " bytes of " << journal
                  << " belong to no complete entry (a write cut short)\n";
    }
    std::string text;
    for (const veltro::ResultChange& change :
         veltro::result_history(contents, veltro::unjournalled_header(args[0], contents))) {
        text += veltro::result_change_line(change) + '\n';
    }
    write_output(out, text);
    return 0;
}

} // namespace px3tool
