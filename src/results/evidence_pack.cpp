#include "results/evidence_pack.h"

#include "picture/picture_files.h"
#include "recording/header_journal.h"
#include "recording/result_history.h"
#include "recording/timestamp_report.h"
#include "recording/video_file_handler.h"
#include "review/finish_pictures.h"
#include "support/digest.h"
#include "support/files.h"
#include "support/operator.h"
#include "support/text.h"
#include "support/veltro_error.h"
#include "timing/published_results.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro {
namespace fs = std::filesystem;
namespace {

using PackFiles = std::vector<std::pair<std::string, std::string>>; // name, bytes

constexpr const char* kRecordingLine = "# recording ";

void open_for_pack(cls_VideoFile_handler& rec, const std::string& path) {
    QuietOperator quiet;
    rec.Open_File(path);
    if (!rec.File_open()) {
        std::string why;
        for (const std::string& m : quiet.messages)
            why += (why.empty() ? "" : "; ") + trim(m);
        throw VeltroError(err::kFileNotFound, "cannot open " + path + (why.empty() ? "" : ": " + why));
    }
    if (!rec.Has_XML())
        throw VeltroError(err::kTypeMismatch, path + " has no readable recording header");
}

PackFiles pack_files(const std::string& recording, std::int64_t us_per_length,
                     std::vector<std::string>& notes) {
    cls_VideoFile_handler rec;
    open_for_pack(rec, recording);
    PublishedHeat heat = publish_heat(rec, recorded_box_delay(rec), us_per_length);
    heat.recording = fs::path(recording).filename().string();
    PackFiles files;
    for (const FinishPicture& p : finish_pictures(rec, heat, goal_line_on_prints())) {
        if (!p.problem.empty()) {
            notes.push_back("box " + std::to_string(p.row->box) + ": " + p.problem);
            continue;
        }
        files.emplace_back("box" + std::to_string(p.row->box) + "_finish.png", png_bytes(captioned(p)));
    }
    files.emplace_back("results.txt", heat.text);
    files.emplace_back("results.csv", results_csv(heat));
    if (fs::exists(journal_path(recording)))
        files.emplace_back("history.txt", result_history_text(recording));
    files.emplace_back("timestamp_report.csv", timestamp_report_text(rec));
    return files;
}

constexpr const char* kHeading = "# Veltro evidence pack, made ";
constexpr const char* kNoPicture = "# no finish picture for ";

// sha256sum's escapes for names: a backslash, a line feed or a carriage return can never end a line.
std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::optional<std::string> unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r')
            return std::nullopt;
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        const char next = i + 1 < text.size() ? text[++i] : '\0';
        if (next == '\\')
            out += '\\';
        else if (next == 'n')
            out += '\n';
        else if (next == 'r')
            out += '\r';
        else
            return std::nullopt;
    }
    return out;
}

bool is_hex_sum(const std::string& text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// The names a pack's files have; a manifest that lists another is not one a pack was made with.
bool is_pack_file_name(const std::string& name) {
    static const std::set<std::string> kFixed = {"results.txt", "results.csv", "history.txt",
                                                 "timestamp_report.csv"};
    return kFixed.count(name) || (name.size() == 15 && name.starts_with("box") && name[3] >= '1' &&
                                  name[3] <= '8' && name.ends_with("_finish.png"));
}

// "<sha256>  <rest>", the form of file lines and of the recording line after its keyword.
bool split_sum(const std::string& text, std::string& sum, std::string& rest) {
    if (text.size() < 67 || text.compare(64, 2, "  ") != 0 || !is_hex_sum(text.substr(0, 64)))
        return false;
    sum = text.substr(0, 64);
    rest = text.substr(66);
    return true;
}

} // namespace

EvidencePack write_evidence_pack(const std::string& recording, const std::string& folder,
                                 std::int64_t us_per_length) {
    fs::path target = fs::absolute(folder).lexically_normal();
    if (!target.has_filename()) // "pack/"
        target = target.parent_path();
    std::error_code ec;
    if (fs::exists(target, ec) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec)))
        throw VeltroError(err::kPathFileAccess,
                          folder + " already exists; an evidence pack goes into a new folder");
    if (!fs::is_directory(target.parent_path(), ec))
        throw VeltroError(err::kPathNotFound,
                          "The folder " + target.parent_path().string() + " does not exist");

    EvidencePack pack;
    pack.folder = target.string();
    const PackFiles files = pack_files(recording, us_per_length, pack.notes);
    const std::optional<std::string> recording_sum = sha256_file_hex(recording);
    if (!recording_sum)
        throw VeltroError(err::kPathFileAccess, "cannot read " + recording);

    std::string temp =
        (target.parent_path() / ("." + target.filename().string() + ".partial-XXXXXX")).string();
    remove_leftovers(target.parent_path().string(), "." + target.filename().string() + ".partial-");
    if (!::mkdtemp(temp.data()))
        throw VeltroError(err::kPermissionDenied, "cannot make a folder in " + target.parent_path().string());
    // Held until the rename, so that the leftover sweep of another run passes the folder by.
    const int lock = ::open(temp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock >= 0)
        ::flock(lock, LOCK_EX | LOCK_NB);
    struct Unlock {
        int fd;
        ~Unlock() {
            if (fd >= 0)
                ::close(fd);
        }
    } unlock{lock};
    try {
        // A pack is for others to read: not mkdtemp's 0700.
        fs::permissions(temp, fs::perms(0755));
        for (const auto& [name, bytes] : files) {
            save_file_atomically((fs::path(temp) / name).string(), bytes);
            pack.files.push_back(name);
        }
        std::vector<ManifestEntry> sums;
        for (const auto& [name, bytes] : files)
            sums.push_back({sha256_hex(bytes), name});
        const std::string manifest = manifest_text(
            now_iso_datetime(), fs::path(recording).filename().string(), *recording_sum, pack.notes, sums);
        save_file_atomically((fs::path(temp) / kManifestName).string(), manifest);
        pack.manifest_sha256 = sha256_hex(manifest);
        pack.files.push_back(kManifestName);
        fs::rename(temp, target);
    } catch (const fs::filesystem_error& e) {
        fs::remove_all(temp, ec);
        throw VeltroError(err::kPathFileAccess,
                          "cannot put the pack in " + folder + ": " + e.code().message());
    } catch (...) {
        fs::remove_all(temp, ec);
        throw;
    }
    return pack;
}

std::string free_evidence_folder(const std::string& parent, const std::string& recording) {
    const std::string base =
        (fs::path(parent) / (fs::path(recording).stem().string() + " evidence")).string();
    std::string name = base;
    for (int n = 2; fs::exists(name); ++n)
        name = base + " " + std::to_string(n);
    return name;
}

std::string manifest_text(const std::string& made_at, const std::string& recording_name,
                          const std::string& recording_sha256, const std::vector<std::string>& notes,
                          const std::vector<ManifestEntry>& files) {
    std::string out = kHeading + escaped(made_at) + "\n";
    out += kRecordingLine + recording_sha256 + "  " + escaped(recording_name) + "\n";
    for (const std::string& note : notes)
        out += kNoPicture + escaped(note) + "\n";
    for (const ManifestEntry& file : files)
        out += file.sha256 + "  " + file.name + "\n";
    return out;
}

namespace {

// One line of a manifest into `manifest`; a problem text when it is not a line a pack has.
std::string read_manifest_line(const std::string& line, int number, EvidenceManifest& manifest,
                               std::set<std::string>& seen) {
    std::string sum, rest;
    if (line.starts_with(kHeading))
        return number == 1 && unescaped(line.substr(std::strlen(kHeading))) ? "" : "cannot be read";
    if (line.starts_with(kRecordingLine)) {
        const auto name =
            split_sum(line.substr(std::strlen(kRecordingLine)), sum, rest) ? unescaped(rest) : std::nullopt;
        if (!name || name->empty())
            return "cannot be read";
        if (!manifest.recording_sha256.empty())
            return "repeats the recording line";
        manifest.recording_sha256 = sum;
        manifest.recording_name = *name;
        return "";
    }
    if (line.starts_with(kNoPicture)) {
        const auto note = unescaped(line.substr(std::strlen(kNoPicture)));
        if (!note)
            return "cannot be read";
        manifest.notes.push_back(*note);
        return "";
    }
    if (!split_sum(line, sum, rest))
        return "cannot be read";
    // A manifest names files of its own folder only, never a path elsewhere.
    if (rest.find('/') != std::string::npos || rest == "." || rest == "..")
        return "names a file outside the pack";
    if (!is_pack_file_name(rest))
        return "names a file no pack holds";
    if (!seen.insert(rest).second)
        return "lists " + rest + " a second time";
    manifest.files.push_back({sum, rest});
    return "";
}

} // namespace

EvidenceManifest parse_manifest(const std::string& text) {
    EvidenceManifest manifest;
    std::set<std::string> seen;
    std::size_t start = 0;
    int number = 1;
    for (; start < text.size(); ++number) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            manifest.problems.push_back("line " + std::to_string(number) +
                                        " of the manifest has no end: it was cut short or added to");
            break;
        }
        const std::string problem =
            read_manifest_line(text.substr(start, end - start), number, manifest, seen);
        if (problem == "cannot be read")
            manifest.problems.push_back("line " + std::to_string(number) + " of the manifest cannot be read");
        else if (!problem.empty())
            manifest.problems.push_back("line " + std::to_string(number) + " " + problem);
        start = end + 1;
    }
    if (manifest.recording_sha256.empty())
        manifest.problems.push_back("the manifest has no recording line");
    for (const char* needed : {"results.txt", "results.csv", "timestamp_report.csv"})
        if (!seen.count(needed))
            manifest.problems.push_back(std::string("the manifest does not list ") + needed);
    return manifest;
}

namespace {

// The SHA-256 of a plain file of the pack, or why there is none: a link to an identical copy is not
// the file the pack was made with.
std::string file_problem(const fs::path& path, const std::string& sha256) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return path.filename().string() + " is missing";
    if (!S_ISREG(st.st_mode))
        return path.filename().string() + " is not a plain file (a link or a folder in its place)";
    const std::optional<std::string> actual = sha256_file_hex(path.string());
    if (!actual)
        return "cannot read " + path.filename().string();
    return *actual == sha256 ? "" : path.filename().string() + " has changed since the pack was made";
}

} // namespace

EvidenceCheck check_evidence_pack(const std::string& folder, const std::string& recording,
                                  const std::string& manifest_sha256) {
    EvidenceCheck check;
    const fs::path manifest_path = fs::path(folder) / kManifestName;
    struct stat st {};
    const std::optional<std::string> text = ::lstat(manifest_path.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                                                ? read_whole_file(manifest_path.string())
                                                : std::nullopt;
    if (!text) {
        check.problems.push_back(std::string(kManifestName) +
                                 " is missing, not a plain file, or cannot be read");
        return check;
    }
    if (!manifest_sha256.empty() && sha256_hex(*text) != to_lower_ascii(manifest_sha256))
        check.problems.push_back(std::string(kManifestName) +
                                 " is not the manifest the pack was made with: its SHA-256 differs");
    const EvidenceManifest manifest = parse_manifest(*text);
    check.problems.insert(check.problems.end(), manifest.problems.begin(), manifest.problems.end());
    std::set<std::string> listed{kManifestName};
    for (const ManifestEntry& entry : manifest.files) {
        listed.insert(entry.name);
        ++check.files_checked;
        if (std::string problem = file_problem(fs::path(folder) / entry.name, entry.sha256); !problem.empty())
            check.problems.push_back(std::move(problem));
    }
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!listed.count(it->path().filename().string()))
            check.problems.push_back(it->path().filename().string() + " is not in the manifest");
    }
    if (!recording.empty()) {
        const std::optional<std::string> actual = sha256_file_hex(recording);
        if (!actual)
            check.problems.push_back("cannot read " + recording);
        else if (*actual != manifest.recording_sha256)
            check.problems.push_back(recording + " is not the recording this pack was made from, or has "
                                                 "changed since");
    }
    return check;
}

} // namespace veltro
