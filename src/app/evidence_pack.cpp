#include "app/evidence_pack.h"

#include "app/finish_pictures.h"
#include "picture/picture_files.h"
#include "recording/header_journal.h"
#include "recording/result_history.h"
#include "recording/timestamp_report.h"
#include "recording/video_file_handler.h"
#include "support/digest.h"
#include "support/files.h"
#include "support/operator.h"
#include "support/text.h"
#include "support/veltro_error.h"
#include "timing/published_results.h"

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <unistd.h>

namespace veltro {
namespace fs = std::filesystem;
namespace {

using Pack_files = std::vector<std::pair<std::string, std::string>>; // name, bytes

constexpr const char* kRecordingLine = "# recording ";

void open_for_pack(cls_VideoFile_handler& rec, const std::string& path) {
    QuietOperator quiet;
    rec.Open_File(path);
    if (!rec.File_open()) {
        std::string why;
        for (const std::string& m : quiet.messages)
            why += (why.empty() ? "" : "; ") + trim(m);
        throw VeltroError(err::FileNotFound, "cannot open " + path + (why.empty() ? "" : ": " + why));
    }
    if (!rec.Has_XML())
        throw VeltroError(err::TypeMismatch, path + " has no readable recording header");
}

Pack_files pack_files(const std::string& recording, std::int64_t us_per_length,
                      std::vector<std::string>& notes) {
    cls_VideoFile_handler rec;
    open_for_pack(rec, recording);
    Published_heat heat = Publish_heat(rec, Recorded_box_delay(rec), us_per_length);
    heat.recording = fs::path(recording).filename().string();
    Pack_files files;
    for (const Finish_picture& p : Finish_pictures(rec, heat)) {
        if (!p.problem.empty()) {
            notes.push_back("box " + std::to_string(p.row->box) + ": " + p.problem);
            continue;
        }
        files.emplace_back("box" + std::to_string(p.row->box) + "_finish.png", png_bytes(p.picture));
    }
    files.emplace_back("results.txt", heat.text);
    files.emplace_back("results.csv", Results_csv(heat));
    if (fs::exists(journal_path(recording)))
        files.emplace_back("history.txt", Result_History_Text(recording));
    files.emplace_back("timestamp_report.csv", Timestamp_Report_Text(rec));
    return files;
}

std::string manifest(const Pack_files& files, const std::string& recording, const std::string& recording_sum,
                     const std::vector<std::string>& notes) {
    std::string out = "# Veltro evidence pack, made " + now_iso_datetime() + "\n";
    out += kRecordingLine + recording_sum + "  " + fs::path(recording).filename().string() + "\n";
    for (const std::string& note : notes)
        out += "# no finish picture for " + note + "\n";
    for (const auto& [name, bytes] : files)
        out += sha256_hex(bytes) + "  " + name + "\n";
    return out;
}

bool is_hex_sum(const std::string& text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

Evidence_pack Write_evidence_pack(const std::string& recording, const std::string& folder,
                                  std::int64_t us_per_length) {
    fs::path target = fs::absolute(folder).lexically_normal();
    if (!target.has_filename()) // "pack/"
        target = target.parent_path();
    std::error_code ec;
    if (fs::exists(target, ec) && !(fs::is_directory(target, ec) && fs::is_empty(target, ec)))
        throw VeltroError(err::PathFileAccess,
                          folder + " already exists; an evidence pack goes into a new folder");
    if (!fs::is_directory(target.parent_path(), ec))
        throw VeltroError(err::PathNotFound,
                          "The folder " + target.parent_path().string() + " does not exist");

    Evidence_pack pack;
    pack.folder = target.string();
    const Pack_files files = pack_files(recording, us_per_length, pack.notes);
    const std::optional<std::string> recording_sum = sha256_file_hex(recording);
    if (!recording_sum)
        throw VeltroError(err::PathFileAccess, "cannot read " + recording);

    std::string temp =
        (target.parent_path() / ("." + target.filename().string() + ".partial-XXXXXX")).string();
    if (!::mkdtemp(temp.data()))
        throw VeltroError(err::PermissionDenied, "cannot make a folder in " + target.parent_path().string());
    try {
        for (const auto& [name, bytes] : files) {
            save_file_atomically((fs::path(temp) / name).string(), bytes);
            pack.files.push_back(name);
        }
        save_file_atomically((fs::path(temp) / kManifestName).string(),
                             manifest(files, recording, *recording_sum, pack.notes));
        pack.files.push_back(kManifestName);
        fs::rename(temp, target);
    } catch (const fs::filesystem_error& e) {
        fs::remove_all(temp, ec);
        throw VeltroError(err::PathFileAccess,
                          "cannot put the pack in " + folder + ": " + e.code().message());
    } catch (...) {
        fs::remove_all(temp, ec);
        throw;
    }
    return pack;
}

std::string Free_evidence_folder(const std::string& parent, const std::string& recording) {
    const std::string base =
        (fs::path(parent) / (fs::path(recording).stem().string() + " evidence")).string();
    std::string name = base;
    for (int n = 2; fs::exists(name); ++n)
        name = base + " " + std::to_string(n);
    return name;
}

Evidence_manifest Parse_manifest(const std::string& text) {
    Evidence_manifest manifest;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (line.rfind(kRecordingLine, 0) == 0) {
            manifest.recording_sha256 = line.substr(std::string(kRecordingLine).size(), 64);
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        const std::string sum = line.substr(0, 64);
        const std::string name = line.size() > 66 ? line.substr(66) : std::string();
        if (!is_hex_sum(sum) || line.compare(64, 2, "  ") != 0 || name.empty()) {
            manifest.problems.push_back("line " + std::to_string(number) + " of the manifest cannot be read");
            continue;
        }
        // A manifest names files of its own folder only, never a path elsewhere.
        if (name.find('/') != std::string::npos || name == "." || name == "..") {
            manifest.problems.push_back("line " + std::to_string(number) + " names a file outside the pack");
            continue;
        }
        manifest.files.push_back({sum, name});
    }
    return manifest;
}

Evidence_check Check_evidence_pack(const std::string& folder, const std::string& recording) {
    Evidence_check check;
    const std::optional<std::string> text = read_whole_file((fs::path(folder) / kManifestName).string());
    if (!text) {
        check.problems.push_back(std::string(kManifestName) + " is missing or cannot be read");
        return check;
    }
    const Evidence_manifest manifest = Parse_manifest(*text);
    check.problems = manifest.problems;
    std::set<std::string> listed{kManifestName};
    for (const Manifest_entry& entry : manifest.files) {
        listed.insert(entry.name);
        const std::optional<std::string> actual = sha256_file_hex((fs::path(folder) / entry.name).string());
        ++check.files_checked;
        if (!actual)
            check.problems.push_back(entry.name + " is missing");
        else if (*actual != entry.sha256)
            check.problems.push_back(entry.name + " has changed since the pack was made");
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
