// The manifest of an evidence pack travels with copies of the pack and may be edited: reading it must
// never fail, and no file it names may lie outside the pack. A recording's name is chosen by whoever
// names the file: written into a manifest, it must read back as itself and add no line.
#include "results/evidence_pack.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void read_any_text(const std::string& text) {
    const veltro::EvidenceManifest manifest = veltro::parse_manifest(text);
    for (const veltro::ManifestEntry& entry : manifest.files) {
        if (entry.name.empty() || entry.name.find('/') != std::string::npos || entry.name == "." ||
            entry.name == ".." || entry.sha256.size() != 64)
            std::abort();
    }
}

void write_a_name(const std::string& name) {
    if (name.empty())
        return;
    const std::string sum(64, 'a');
    const std::vector<veltro::ManifestEntry> files = {
        {sum, "box1_finish.png"}, {sum, "results.txt"}, {sum, "results.csv"}, {sum, "timestamp_report.csv"}};
    const std::string note = "box 2: " + name;
    const veltro::EvidenceManifest read =
        veltro::parse_manifest(veltro::manifest_text("2026-12-07 19:02:11", name, sum, {note}, files));
    if (!read.problems.empty() || read.recording_name != name || read.recording_sha256 != sum ||
        read.notes != std::vector<std::string>{note} || read.files.size() != files.size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    read_any_text(text);
    write_a_name(text);
    return 0;
}
