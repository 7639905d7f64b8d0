#include "recording/header_journal.h"

#include "recording/xml_header.h"
#include "support/files.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <zlib.h>

namespace veltro {

namespace {

constexpr std::string_view kMagic = "VJ1 ";
// No header text or pass needs more: a larger length is damage, not an entry.
constexpr std::size_t kMaxPayload = 4u << 20;

const char* kind_word(JournalKind kind) {
    return kind == JournalKind::Header ? "header" : "frames";
}

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal number of at most 10 digits that fits `limit`.
std::optional<std::uint64_t> decimal(std::string_view s, std::uint64_t limit) {
    if (!all_digits(s) || s.size() > 10) {
        return std::nullopt;
    }
    std::uint64_t v = 0;
    for (const char c : s) {
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return v <= limit ? std::optional<std::uint64_t>(v) : std::nullopt;
}

std::optional<std::uint32_t> hex8(std::string_view s) {
    if (s.size() != 8) {
        return std::nullopt;
    }
    std::uint32_t v = 0;
    for (const char c : s) {
        int d = 0;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else {
            return std::nullopt;
        }
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    return v;
}

std::string hex8_text(std::uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

// "yyyy-mm-dd" and "hh:nn:ss.zzz", digits where the pattern has '9'.
bool matches(std::string_view s, std::string_view pattern) {
    if (s.size() != pattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (pattern[i] == '9' ? !(s[i] >= '0' && s[i] <= '9') : s[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

std::vector<std::string_view> split_spaces(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at <= line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

// The entry at `at`, and where the next one begins; std::nullopt when there is no complete one.
std::optional<std::pair<JournalEntry, std::size_t>> entry_at(std::string_view bytes, std::size_t at) {
    // The head line is short: a missing line end within 100 bytes is damage.
    const std::size_t eol = bytes.find('\n', at);
    if (eol == std::string_view::npos || eol - at > 100) {
        return std::nullopt;
    }
    const auto words = split_spaces(bytes.substr(at, eol - at));
    if (words.size() != 7 || words[0] != "VJ1" || !matches(words[2], "9999-99-99") ||
        !matches(words[3], "99:99:99.999") || (words[4] != "header" && words[4] != "frames")) {
        return std::nullopt;
    }
    const auto sequence = decimal(words[1], 0xFFFFFFFFu);
    const auto length = decimal(words[5], kMaxPayload);
    const auto crc = hex8(words[6]);
    if (!sequence || !length || !crc) {
        return std::nullopt;
    }
    const std::size_t payload_at = eol + 1;
    if (bytes.size() - payload_at < *length + 1 || bytes[payload_at + *length] != '\n') {
        return std::nullopt;
    }
    const std::string_view payload = bytes.substr(payload_at, *length);
    if (words[4] == "header" && payload.size() > static_cast<std::size_t>(px3::kTextFieldSize)) {
        return std::nullopt;
    }
    if (crc32_of(payload.data(), payload.size()) != *crc) {
        return std::nullopt;
    }
    JournalEntry e;
    e.sequence = static_cast<std::uint32_t>(*sequence);
    e.time = std::string(words[2]) + " " + std::string(words[3]);
    e.kind = words[4] == "header" ? JournalKind::Header : JournalKind::Frames;
    e.payload = std::string(payload);
    e.crc = *crc;
    return std::make_pair(std::move(e), payload_at + *length + 1);
}

std::unique_ptr<px3::HeaderBlock> block_of(const std::string& text) {
    auto block = std::make_unique<px3::HeaderBlock>();
    px3::encode_header_block(text, *block);
    return block;
}

// True when every byte of `block` is that byte of `newer`, of `older` or zero: what a rewrite of
// `older` by `newer` that was cut short leaves on the disk, whole sectors or a cut inside one.
bool mix_of(const px3::HeaderBlock& block, const px3::HeaderBlock& newer, const px3::HeaderBlock* older) {
    for (std::size_t at = 0; at < block.size(); ++at) {
        const std::uint8_t b = block[at];
        if (b != 0 && b != newer[at] && (!older || b != (*older)[at])) {
            return false;
        }
    }
    return true;
}

} // namespace

const JournalEntry* JournalContents::last_header() const {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->kind == JournalKind::Header) {
            return &*it;
        }
    }
    return nullptr;
}

const JournalEntry* JournalContents::header_before(const JournalEntry& entry) const {
    const JournalEntry* found = nullptr;
    for (const JournalEntry& e : entries) {
        if (&e == &entry) {
            return found;
        }
        if (e.kind == JournalKind::Header) {
            found = &e;
        }
    }
    return nullptr;
}

std::string journal_path(const std::string& recording) {
    return recording + ".journal";
}

std::uint32_t crc32_of(const void* data, std::size_t size) {
    auto crc = crc32(0L, Z_NULL, 0);
    const auto* bytes = static_cast<const Bytef*>(data);
    while (size > 0) {
        const auto n = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        crc = crc32(crc, bytes, n);
        bytes += n;
        size -= n;
    }
    return static_cast<std::uint32_t>(crc);
}

std::string journal_time(const LocalTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", (t.tm.tm_year + 1900) % 10000,
                  (t.tm.tm_mon + 1) % 100, t.tm.tm_mday % 100, t.tm.tm_hour % 100, t.tm.tm_min % 100,
                  t.tm.tm_sec % 100, t.millisecond % 1000);
    return buf;
}

std::optional<std::string> journal_time_of_update(std::string_view update_date) {
    if (!matches(update_date, "9999-99-99 99:99:99")) {
        return std::nullopt;
    }
    return std::string(update_date) + ".000";
}

std::string encode_journal_entry(std::uint32_t sequence, const std::string& time, JournalKind kind,
                                 std::string_view payload) {
    std::string entry = "VJ1 " + std::to_string(sequence) + " " + time + " " + kind_word(kind) + " " +
                        std::to_string(payload.size()) + " " +
                        hex8_text(crc32_of(payload.data(), payload.size())) + "\n";
    entry.reserve(entry.size() + payload.size() + 1);
    entry.append(payload);
    entry += '\n';
    return entry;
}

JournalContents decode_journal(std::string_view bytes) {
    JournalContents c;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (auto entry = entry_at(bytes, at)) {
            c.entries.push_back(std::move(entry->first));
            at = entry->second;
            continue;
        }
        const std::size_t next = bytes.find(kMagic, at + 1);
        const std::size_t skip_to = next == std::string_view::npos ? bytes.size() : next;
        c.skipped_bytes += static_cast<std::int64_t>(skip_to - at);
        at = skip_to;
    }
    return c;
}

std::string encode_frames_payload(const FramesRecord& frames) {
    std::string out =
        "first " + std::to_string(frames.first) + " count " + std::to_string(frames.crcs.size()) + "\n";
    out.reserve(out.size() + 9 * frames.crcs.size());
    for (const std::uint32_t crc : frames.crcs) {
        out += hex8_text(crc);
        out += '\n';
    }
    return out;
}

std::optional<FramesRecord> decode_frames_payload(std::string_view payload) {
    const std::size_t eol = payload.find('\n');
    if (eol == std::string_view::npos) {
        return std::nullopt;
    }
    const auto words = split_spaces(payload.substr(0, eol));
    if (words.size() != 4 || words[0] != "first" || words[2] != "count") {
        return std::nullopt;
    }
    const auto first = decimal(words[1], px3::kMaxFrames);
    const auto count = decimal(words[3], px3::kMaxFrames);
    if (!first || !count || *first < 1 || payload.size() != eol + 1 + 9 * *count) {
        return std::nullopt;
    }
    FramesRecord frames;
    frames.first = static_cast<std::int32_t>(*first);
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t at = eol + 1 + 9 * i;
        const auto crc = hex8(payload.substr(at, 8));
        if (!crc || payload[at + 8] != '\n') {
            return std::nullopt;
        }
        frames.crcs.push_back(*crc);
    }
    return frames;
}

std::vector<std::optional<std::uint32_t>> recorded_frame_crcs(const JournalContents& journal,
                                                              std::int32_t frames) {
    std::vector<std::optional<std::uint32_t>> crcs(static_cast<std::size_t>(std::max(frames, 0)));
    for (const JournalEntry& e : journal.entries) {
        if (e.kind != JournalKind::Frames) {
            continue;
        }
        const auto pass = decode_frames_payload(e.payload);
        if (!pass) {
            continue;
        }
        for (std::size_t i = 0; i < pass->crcs.size(); ++i) {
            const std::size_t index = static_cast<std::size_t>(pass->first - 1) + i;
            if (index < crcs.size()) {
                crcs[index] = pass->crcs[i];
            }
        }
    }
    return crcs;
}

HeaderJournal::HeaderJournal(std::unique_ptr<File> file, std::string name)
    : file_(std::move(file)), name_(std::move(name)) {}

const JournalContents& HeaderJournal::contents() {
    try {
        const std::int64_t size = file_->size();
        if (size == read_size_) {
            return contents_;
        }
        std::string bytes(static_cast<std::size_t>(size), '\0');
        const std::size_t n = file_->read_at(0, bytes.data(), bytes.size());
        bytes.resize(n);
        contents_ = decode_journal(bytes);
        read_size_ = static_cast<std::int64_t>(n);
    } catch (const std::system_error& e) {
        read_size_ = -1;
        const int errnum = e.code().value();
        throw VeltroError(error_number_for_errno(errnum),
                          "Cannot read " + name_ + ": " + std::strerror(errnum));
    }
    return contents_;
}

void HeaderJournal::append(JournalKind kind, std::string_view payload, const std::string& time) {
    last_start_ = -1;
    const JournalContents& now = contents();
    std::uint32_t sequence = 1;
    for (const JournalEntry& e : now.entries) {
        sequence = std::max(sequence, e.sequence + 1);
    }
    const std::string entry = encode_journal_entry(sequence, time, kind, payload);
    const std::int64_t end = read_size_;
    try {
        write_all_at(*file_, end, entry.data(), entry.size());
        file_->sync_data();
    } catch (const std::system_error& e) {
        try {
            file_->truncate(end);
        } catch (const std::system_error&) {
            // Reading skips a torn entry anyway.
        }
        read_size_ = -1;
        const int errnum = e.code().value();
        throw VeltroError(error_number_for_errno(errnum),
                          "Cannot write " + name_ + ": " + std::strerror(errnum));
    }
    JournalEntry added;
    added.sequence = sequence;
    added.time = time;
    added.kind = kind;
    added.payload = std::string(payload);
    added.crc = crc32_of(payload.data(), payload.size());
    contents_.entries.push_back(std::move(added));
    read_size_ = end + static_cast<std::int64_t>(entry.size());
    last_start_ = end;
}

bool HeaderJournal::withdraw_last() noexcept {
    if (last_start_ < 0 || contents_.entries.empty()) {
        return false;
    }
    try {
        file_->truncate(last_start_);
        file_->sync_data();
    } catch (const std::system_error&) {
        read_size_ = -1;
        last_start_ = -1;
        return false;
    }
    contents_.entries.pop_back();
    read_size_ = last_start_;
    last_start_ = -1;
    return true;
}

HeaderJudgement judge_header_block(const px3::HeaderBlock& block, const JournalContents* journal) {
    HeaderJudgement j;
    const auto contents = px3::decode_header_block(block.data(), block.size());
    if (!contents.magic_ok) {
        j.damage = "its block does not begin with \"PXV3\"";
    } else if (!contents.text_ok) {
        j.damage = "its text length " + std::to_string(contents.text_length) + " is outside 0..32000";
    } else if (contents.text.find('\0') != std::string::npos) {
        // No header text holds a zero byte; zeros inside the given length are a write cut short,
        // though the parser reads up to them without complaint.
        j.damage = "its text holds zero bytes";
    } else {
        Cls_XML_header parsed;
        parsed.XML_string(contents.text);
        j.parses = parsed.Has_XML();
        j.seal = header_seal(contents.text);
        if (!j.parses) {
            j.damage = "its text does not parse";
        } else if (j.seal == HeaderSeal::Broken) {
            j.damage = "its text does not match its checksum";
        }
    }
    j.last = journal ? journal->last_header() : nullptr;
    if (!j.last) {
        j.state = j.parses && j.seal != HeaderSeal::Broken ? HeaderState::Unjudged : HeaderState::Damaged;
        return j;
    }
    if (!j.parses) {
        j.state = HeaderState::Damaged;
        return j;
    }
    if (contents.text == j.last->payload) {
        j.state = HeaderState::Current;
        return j;
    }
    for (const JournalEntry& e : journal->entries) {
        if (&e != j.last && e.kind == JournalKind::Header && e.payload == contents.text) {
            j.state = HeaderState::Behind;
            j.matched = &e;
            return j;
        }
    }
    if (j.seal == HeaderSeal::Sound) {
        // A tear does not keep a seal whole: this is a change whose journal entry could not be
        // written.
        j.state = HeaderState::Unjournalled;
        return j;
    }
    // Whatever a rewrite cut short leaves is made of the bytes of the last two headers; anything else
    // was written by another program.
    const JournalEntry* before = journal->header_before(*j.last);
    const auto newer = block_of(j.last->payload);
    const auto older = before ? block_of(before->payload) : nullptr;
    if (mix_of(block, *newer, older.get())) {
        j.state = HeaderState::Damaged;
        j.damage = "it is partly the header before the last change";
    } else {
        j.state = HeaderState::Foreign;
    }
    return j;
}

} // namespace veltro
