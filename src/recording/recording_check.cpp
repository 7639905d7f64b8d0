#include "recording/recording_check.h"

#include "picture/dib_section.h"
#include "picture/jpeg_codec.h"
#include "recording/header_journal.h"
#include "recording/px3_layout.h"
#include "recording/xml_header.h"
#include "support/byte_order.h"
#include "support/value_or.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

namespace veltro {

namespace {

// The problems of the header block compared with the journal; "" when it holds the last header.
std::string journal_problem(const HeaderJudgement& j) {
    const std::string restores = "opening the recording restores journal entry ";
    switch (j.state) {
    case HeaderState::Current:
    case HeaderState::Unjudged:
    case HeaderState::Unjournalled:
        return {};
    case HeaderState::Behind:
        return "header text is that of journal entry " + std::to_string(j.matched->sequence) +
               ", not of the last one (" + std::to_string(j.last->sequence) + "); " + restores +
               std::to_string(j.last->sequence);
    case HeaderState::Damaged:
        if (!j.last) {
            return j.parses
                       ? "header text does not match its checksum, and there is no journal to restore it "
                         "from: its times may be wrong"
                       : std::string();
        }
        return (j.parses ? "header text matches no journal entry: a rewrite was cut short; "
                         : "the journal holds the last header: ") +
               restores + std::to_string(j.last->sequence);
    case HeaderState::Foreign:
        return j.seal == HeaderSeal::Broken
                   ? "header text matches no journal entry nor its checksum: another program changed it"
                   : "header text matches no journal entry and has no checksum: another program wrote it";
    }
    return {};
}

// The structure of record n of size s in `record`: one line per problem into `problems`.
void check_record(std::int32_t n, const std::vector<std::uint8_t>& record, std::int32_t s, std::int32_t width,
                  std::int32_t height, const std::string& fourcc, cDIBSection& picture,
                  std::vector<std::string>& problems) {
    const std::int32_t d = s - px3::kRecordOverhead;
    const std::string at = "frame " + std::to_string(n) + ": ";
    if (!px3::has_record_magic(record.data())) {
        problems.push_back(at + "record does not begin with \"RGBS\"");
        return;
    }
    if (std::memcmp(record.data() + 40, "RGBE", 4) != 0) {
        problems.push_back(at + "no \"RGBE\" at record offset 40");
    }
    if (std::memcmp(record.data() + px3::kDataOffset + d, "RGBF", 4) != 0) {
        problems.push_back(at + "no \"RGBF\" at the end of the record");
    }
    const auto fields = px3::get_record_fields(record.data());
    if (fields.data_count != d) {
        problems.push_back(at + "data count " + std::to_string(fields.data_count) + " differs from " +
                           std::to_string(d));
    }
    if (fields.jpeg_size <= 0 || fields.jpeg_size > d) {
        problems.push_back(at + "JPEG size " + std::to_string(fields.jpeg_size) + " is outside 1.." +
                           std::to_string(d));
        return;
    }
    if (fourcc != "IJL" && fourcc != "JPEG") {
        return;
    }
    const std::uint8_t* jpg = record.data() + px3::kDataOffset;
    const auto jpeg_header = read_jpg_header(jpg, fields.jpeg_size);
    if (!jpeg_header) {
        problems.push_back(at + "JPEG header cannot be read");
        return;
    }
    if (jpeg_header->width != width || jpeg_header->height != height) {
        problems.push_back(at + "JPEG picture is " + std::to_string(jpeg_header->width) + " x " +
                           std::to_string(jpeg_header->height) + ", the recording's frames are " +
                           std::to_string(width) + " x " + std::to_string(height));
        return;
    }
    if (!DIB_From_JPG(picture, jpg, fields.jpeg_size)) {
        problems.push_back(at + "JPEG data does not decode");
    }
}

} // namespace

RecordingCheck check_recording(const std::string& path) {
    std::error_code ec;
    // Folders and other things that are no file are refused here: they open, but cannot be read.
    (void)std::filesystem::file_size(path, ec);
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (ec || !fd) {
        RecordingCheck result;
        result.problems.push_back("cannot be read");
        return result;
    }
    PosixFile file(std::move(fd));
    UniqueFd journal_fd(::open(journal_path(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!journal_fd) {
        return check_recording(file);
    }
    PosixFile journal(std::move(journal_fd));
    return check_recording(file, &journal);
}

RecordingCheck check_recording(File& file, File* journal_file) {
    RecordingCheck result;
    std::optional<JournalContents> journal;
    if (journal_file) {
        try {
            std::string bytes(static_cast<std::size_t>(journal_file->size()), '\0');
            bytes.resize(journal_file->read_at(0, bytes.data(), bytes.size()));
            journal = decode_journal(bytes);
        } catch (const std::system_error&) {
            result.problems.push_back("journal cannot be read");
        }
    }
    std::int64_t size = 0;
    try {
        size = file.size();
    } catch (const std::system_error&) {
        result.problems.push_back("cannot be read");
        return result;
    }
    if (size < px3::kHeaderBlockSize) {
        result.problems.push_back("file of " + std::to_string(size) +
                                  " bytes is shorter than the 32016-byte header block");
        return result;
    }
    auto block = std::make_unique<px3::HeaderBlock>();
    if (!read_fully(file, 0, block->data(), block->size())) {
        result.problems.push_back("cannot be read");
        return result;
    }
    const auto contents = px3::decode_header_block(block->data(), block->size());
    if (!contents.magic_ok) {
        result.problems.push_back("header block does not begin with \"PXV3\"");
    }
    if (contents.header_size != px3::kHeaderBlockSize) {
        result.problems.push_back("header block size field is " + std::to_string(contents.header_size) +
                                  ", not 32016");
    }
    if (std::memcmp(block->data() + px3::kEndMagicOffset, "PXVX", 4) != 0) {
        result.problems.push_back("header block does not end with \"PXVX\"");
    }
    const HeaderJudgement judged = judge_header_block(*block, journal ? &*journal : nullptr);
    const std::string against_journal = journal_problem(judged);
    if (!contents.text_ok) {
        result.problems.push_back("header text length " + std::to_string(contents.text_length) +
                                  " is outside 0..32000");
    }
    Cls_XML_header header;
    header.XML_string(contents.text_ok ? contents.text : std::string());
    if (contents.text_ok && !header.Has_XML()) {
        result.problems.push_back("recording header does not parse");
    }
    if (!against_journal.empty()) {
        result.problems.push_back(against_journal);
    }
    if (judged.state == HeaderState::Unjournalled) {
        result.notes.push_back("the last change of the header (its checksum is whole) is not in the journal: "
                               "the journal could not be written then");
    }
    if (!header.Has_XML()) {
        return result;
    }
    const std::int32_t frames = value_or([&] { return std::int32_t{header.G_Frames_no()}; }, -1);
    const std::int32_t s = value_or([&] { return header.RGB_Sample_Size(); }, -1);
    const std::int32_t width = value_or([&] { return std::int32_t{header.RGB_X()}; }, 0);
    const std::int32_t height = value_or([&] { return std::int32_t{header.RGB_Y()}; }, 0);
    const std::string fourcc = value_or([&] { return header.RGB_fourcc(); }, std::string());
    if (frames < 0) {
        result.problems.push_back("frame count is missing or not a number");
        return result;
    }
    result.frames = frames;
    result.behind = find_uncounted_records(file, header);
    if (frames == 0) {
        return result;
    }
    if (s <= px3::kRecordOverhead) {
        result.problems.push_back("sample size " + std::to_string(s) + " cannot hold a record");
        return result;
    }
    if (s > px3::kMaxSampleSize) {
        // Not allocated: the size comes from the file.
        result.problems.push_back("sample size " + std::to_string(s) + " is beyond " +
                                  std::to_string(px3::kMaxSampleSize) + " bytes");
        return result;
    }
    const std::int64_t needed = px3::frame_offset(frames + 1, s);
    if (size < needed) {
        result.problems.push_back("file of " + std::to_string(size) + " bytes ends inside frame " +
                                  std::to_string((size - px3::kHeaderBlockSize) / s + 1) + " of " +
                                  std::to_string(frames) + " (needs " + std::to_string(needed) + " bytes)");
    }
    std::vector<std::uint8_t> record(static_cast<std::size_t>(s));
    cDIBSection picture;
    const auto recorded =
        journal ? recorded_frame_crcs(*journal, frames) : std::vector<std::optional<std::uint32_t>>();
    for (std::int32_t n = 1; n <= frames && px3::frame_offset(n + 1, s) <= size; ++n) {
        if (!read_fully(file, px3::frame_offset(n, s), record.data(), record.size())) {
            result.problems.push_back("cannot be read");
            return result;
        }
        const std::size_t before = result.problems.size();
        check_record(n, record, s, width, height, fourcc, picture, result.problems);
        // A record already named damaged gets no second line.
        const std::optional<std::uint32_t> crc =
            recorded.empty() ? std::nullopt : recorded[static_cast<std::size_t>(n - 1)];
        if (result.problems.size() == before && crc && crc32_of(record.data(), record.size()) != *crc) {
            result.problems.push_back("frame " + std::to_string(n) +
                                      ": damaged, its bytes changed since it was recorded");
        }
    }
    return result;
}

} // namespace veltro
