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
// and of the recording itself on a comment line ("# recording <sha256>  <file name>"). Texts on
// comment lines (the recording's name, the notes) are escaped as sha256sum escapes names ("\\",
// "\n", "\r"), so no name can add a line. The manifest's own SHA-256 is what the stewards keep:
// with it every byte of the manifest is covered.
inline constexpr const char* kManifestName = "MANIFEST.sha256";

struct EvidencePack {
    std::string folder;
    std::vector<std::string> files; // written, the manifest last
    std::vector<std::string> notes; // finish pictures that could not be drawn, and why
    std::string manifest_sha256;    // the SHA-256 of MANIFEST.sha256
};

// Writes the pack of `recording` into `folder`, which must not exist yet (or be empty); its parent
// must. The files are written into a temporary folder beside it that is renamed at the end, so a
// pack is there whole or not at all (what a killed run left, ".DIR.partial-XXXXXX", is removed by
// the next one). The folder is made 0755, its files 0644. Fails with a VeltroError saying why.
EvidencePack write_evidence_pack(const std::string& recording, const std::string& folder,
                                 std::int64_t us_per_length);

// "<recording's name without .px3> evidence" in `parent`, or with " 2", " 3", ... when taken.
std::string free_evidence_folder(const std::string& parent, const std::string& recording);

// What a manifest says: the recording's sum and name (empty when it has none), the notes, the files
// with their sums, and one line per line that is not one a pack's manifest has (a file outside the
// pack, which is never followed, a file no pack holds, a line repeated, a heading edited, bytes
// after the last line).
struct ManifestEntry {
    std::string sha256;
    std::string name;
};
struct EvidenceManifest {
    std::string recording_sha256;
    std::string recording_name;
    std::vector<std::string> notes;
    std::vector<ManifestEntry> files;
    std::vector<std::string> problems;
};
EvidenceManifest parse_manifest(const std::string& text);

// The manifest's text for a pack made at `made_at` of the recording named `recording_name`.
std::string manifest_text(const std::string& made_at, const std::string& recording_name,
                          const std::string& recording_sha256, const std::vector<std::string>& notes,
                          const std::vector<ManifestEntry>& files);

// A pack checked against its manifest: every file listed is a plain file (no link) with the SHA-256
// given, none is missing and none was added; with `recording`, that file has the recording's
// SHA-256 too; with `manifest_sha256` (64 hexadecimal digits), the manifest is the one the pack was
// made with, to its last byte.
struct EvidenceCheck {
    std::size_t files_checked = 0;
    std::vector<std::string> problems; // empty: the pack is as it was written
};
EvidenceCheck check_evidence_pack(const std::string& folder, const std::string& recording = {},
                                  const std::string& manifest_sha256 = {});

} // namespace veltro
