#pragma once

#include "recording/header_seal.h"
#include "recording/px3_layout.h"
#include "support/clocks.h"
#include "support/file_io.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// The journal beside a recording ("<recording>.journal"): every header text the recording ever had,
// appended and flushed before the header block is rewritten in place, and the CRC-32 of every record
// of every append pass. It is the heat's history, and what a header torn by a crash is restored from.
//
// The file is a sequence of entries, each appended with one write and flushed:
//
//   VJ1 <sequence> <yyyy-mm-dd> <hh:nn:ss.zzz> <kind> <length> <crc>\n<payload>\n
//
// `sequence` counts from 1, the date and time are the computer's local wall-clock time, `kind` is
// "header" (payload: the ISO-8859-1 header text) or "frames" (payload: "first <n> count <c>\n" and
// one line of 8 hex digits per record, the CRC-32 of its whole bytes), `length` is the payload's
// size in bytes and `crc` its CRC-32 in 8 lowercase hex digits. An entry that is cut short or whose
// payload does not match its CRC (the one being appended when the computer stopped) is skipped:
// reading goes on at the next "VJ1 " behind it.
enum class JournalKind { Header, Frames };

struct JournalEntry {
    std::uint32_t sequence = 0;
    std::string time; // "yyyy-mm-dd hh:nn:ss.zzz"
    JournalKind kind = JournalKind::Header;
    std::string payload;
    std::uint32_t crc = 0; // of the payload
};

struct JournalContents {
    std::vector<JournalEntry> entries; // the complete entries, in file order
    std::int64_t skipped_bytes = 0;    // bytes that belong to no complete entry
    // The last complete header entry; nullptr when there is none.
    const JournalEntry* last_header() const;
    // The header entry before `entry` (one of `entries`); nullptr when there is none.
    const JournalEntry* header_before(const JournalEntry& entry) const;
};

// "<recording>.journal"
std::string journal_path(const std::string& recording);
// The CRC-32 of `size` bytes.
std::uint32_t crc32_of(const void* data, std::size_t size);
// The time of an entry made at `t`.
std::string journal_time(const LocalTime& t);
// The journal time of a header whose update_date is `update_date` ("yyyy-mm-dd hh:nn:ss", as the
// writer stamps it); std::nullopt for a text of another form.
std::optional<std::string> journal_time_of_update(std::string_view update_date);
// One entry as it is appended.
std::string encode_journal_entry(std::uint32_t sequence, const std::string& time, JournalKind kind,
                                 std::string_view payload);
// Reads every complete entry of a journal held in `bytes`.
JournalContents decode_journal(std::string_view bytes);

// The records of one append pass: the frame number of the first and the CRC-32 of each.
struct FramesRecord {
    std::int32_t first = 0;
    std::vector<std::uint32_t> crcs;
};
std::string encode_frames_payload(const FramesRecord& frames);
// std::nullopt for a payload of another form.
std::optional<FramesRecord> decode_frames_payload(std::string_view payload);
// The CRC-32 the journal knows for each frame 1..frames (index frame - 1): a later pass over the
// same frame numbers replaces an earlier one (its frames were never counted). std::nullopt for a
// frame the journal holds nothing for.
std::vector<std::optional<std::uint32_t>> recorded_frame_crcs(const JournalContents& journal,
                                                              std::int32_t frames);

// The journal file of one recording. Read failures and write failures are VeltroErrors naming `name`.
class HeaderJournal {
public:
    HeaderJournal(std::unique_ptr<File> file, std::string name);

    const std::string& name() const { return name_; }
    // The complete entries; read again when the file changed size since the last look.
    const JournalContents& contents();
    // Appends one entry with the next sequence number in one write, then flushes it to the disk.
    // A failure cuts the file back to its old length where it can.
    void append(JournalKind kind, std::string_view payload, const std::string& time);
    // Takes back the entry appended last, when what it records could not be stored after all.
    // False when the file cannot be cut back: the entry stays.
    bool withdraw_last() noexcept;

private:
    std::unique_ptr<File> file_;
    std::string name_;
    JournalContents contents_;
    std::int64_t read_size_ = -1;  // the file size contents_ was read at
    std::int64_t last_start_ = -1; // where the entry appended last begins; -1 when none can be withdrawn
};

// What the header block on disk is, compared with the journal.
enum class HeaderState {
    Current,      // its text is the one of the last complete header entry
    Unjudged,     // the journal holds no header entry: the block is taken as it is (when it is whole)
    Damaged,      // it does not parse, or mixes the last two headers byte by byte (a rewrite cut
                  // short), or without a journal does not match its seal
    Behind,       // its text is the one of an earlier entry: the last rewrite never reached it
    Unjournalled, // it matches its seal but no entry: a change stored when its entry could not be
    Foreign,      // it parses, matches no entry and is no mix, and has no seal or does not match it:
                  // another program wrote it
};
struct HeaderJudgement {
    HeaderState state = HeaderState::Unjudged;
    bool parses = false;
    HeaderSeal seal = HeaderSeal::Unsealed;
    std::string damage;                    // why it is not whole ("" when it is)
    const JournalEntry* last = nullptr;    // the entry to restore from (Damaged, Behind)
    const JournalEntry* matched = nullptr; // the earlier entry it equals (Behind)
};
// `block` holds the header block as read (zeros where the file ended); `journal` may be nullptr.
HeaderJudgement judge_header_block(const px3::HeaderBlock& block, const JournalContents* journal);

} // namespace veltro
