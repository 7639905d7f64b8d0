// The manifest of an evidence pack travels with copies of the pack and may be edited: reading it must
// never fail, and no file it names may lie outside the pack.
#include "app/evidence_pack.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const veltro::Evidence_manifest manifest =
        veltro::Parse_manifest(std::string(reinterpret_cast<const char*>(data), size));
    for (const veltro::Manifest_entry& entry : manifest.files) {
        if (entry.name.empty() || entry.name.find('/') != std::string::npos || entry.name == "." ||
            entry.name == ".." || entry.sha256.size() != 64)
            std::abort();
    }
    return 0;
}
