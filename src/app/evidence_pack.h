#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltro {

// The evidence of one heat for the stewards, in a folder of its own: the finish picture of each box
// with the goal line, box and time drawn on it ("box3_finish.png"), the results ("results.txt", the
// clipboard text, and "results.csv"), the history of the results when the heat has a journal
// ("history.txt"), the frame timestamp report ("timestamp_report.csv"), and the manifest
// "MANIFEST.sha256": the SHA-256 of every file in sha256sum's form, so `sha256sum -c` checks it too,
// and of the recording itself on a comment line ("# recording <sha256>  <file name>").
inline constexpr const char* kManifestName = "MANIFEST.sha256";

struct Evidence_pack {
    std::string folder;
    std::vector<std::string> files; // written, the manifest last
    std::vector<std::string> notes; // finish pictures that could not be drawn, and why
};

// Writes the pack of `recording` into `folder`, which must not exist yet (or be empty); its parent
// must. The files are written into a temporary folder beside it that is renamed at the end, so a
// pack is there whole or not at all. Fails with a VeltroError saying why.
Evidence_pack Write_evidence_pack(const std::string& recording, const std::string& folder,
                                  std::int64_t us_per_length);

// "<recording's name without .px3> evidence" in `parent`, or with " 2", " 3", ... when taken.
std::string Free_evidence_folder(const std::string& parent, const std::string& recording);

// What a manifest says: the recording's sum (empty when it has none), the files with their sums, and
// one line per line that cannot be read or names a file outside the pack (which is never followed).
struct Manifest_entry {
    std::string sha256;
    std::string name;
};
struct Evidence_manifest {
    std::string recording_sha256;
    std::vector<Manifest_entry> files;
    std::vector<std::string> problems;
};
Evidence_manifest Parse_manifest(const std::string& text);

// A pack checked against its manifest: every file listed has the SHA-256 given, none is missing
// and no file was added; with `recording`, that file has the recording's SHA-256 too.
struct Evidence_check {
    std::size_t files_checked = 0;
    std::vector<std::string> problems; // empty: the pack is as it was written
};
Evidence_check Check_evidence_pack(const std::string& folder, const std::string& recording = {});

} // namespace veltro
