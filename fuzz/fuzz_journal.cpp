// Recording journals as the next open finds them after a crash or a damaged disk: the entries read,
// the frames checksums decoded, the history of the results worked out, and a header block judged
// against them.
#include "recording/header_journal.h"
#include "recording/result_history.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const veltro::JournalContents journal =
            veltro::decode_journal(std::string_view(reinterpret_cast<const char*>(data), size));
        for (const veltro::ResultChange& change : veltro::result_history(journal)) {
            (void)veltro::result_change_line(change).size();
        }
        (void)veltro::recorded_frame_crcs(journal, 64).size();
        // The block on disk holds the first bytes of the input: a torn header beside its journal.
        auto block = std::make_unique<veltro::px3::HeaderBlock>();
        block->fill(0);
        std::copy_n(data, std::min(size, block->size()), block->data());
        (void)veltro::judge_header_block(*block, &journal).state;
    } catch (const veltro::VeltroError&) {
    }
    return 0;
}
