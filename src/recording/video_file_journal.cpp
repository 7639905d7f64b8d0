// The recording object and its journal: every header text and the checksums of every append pass go
// into "<recording>.journal" before the recording changes, and a header block that a crash tore is
// restored from there when the recording is opened.
#include "recording/video_file_handler.h"
#include "support/files.h"
#include "support/operator.h"
#include "support/value_or.h"
#include "support/veltro_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace veltro {

namespace {

// "14:03:07 (change 12)": when the entry was made, as the operator reads it.
std::string entry_words(const JournalEntry& entry) {
    return entry.time.substr(11, 8) + " (change " + std::to_string(entry.sequence) + ")";
}

} // namespace

HeaderJournal* cls_VideoFile_handler::journal(bool for_writing) {
    if (journal_source_ == JournalSource::None) {
        return nullptr;
    }
    if (journal_source_ == JournalSource::Given || (journal_ && (journal_writable_ || !for_writing))) {
        return journal_.get();
    }
    const std::string path = journal_path(file_name_);
    if (for_writing && (read_only_ || is_read_only_file(path))) {
        throw VeltroError(err::kPermissionDenied, path + " is read only");
    }
    UniqueFd fd(
        ::open(path.c_str(), for_writing ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0666));
    if (!fd) {
        const int e = errno;
        if (!for_writing && e == ENOENT) {
            return nullptr;
        }
        throw VeltroError(error_number_for_errno(e), "Cannot open " + path + ": " + std::strerror(e));
    }
    auto file = std::make_unique<PosixFile>(std::move(fd));
    std::int64_t size = -1;
    try {
        size = file->size();
    } catch (const std::system_error&) {
        // Then it is not known to be new; reading it will say what is wrong.
    }
    if (for_writing && size == 0) {
        // A journal just made (for a recording from before journals) must not vanish with its folder
        // entry in a power cut.
        const std::string folder = std::filesystem::path(path).parent_path().string();
        UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir) {
            ::fsync(dir.get());
        }
    }
    journal_ = std::make_unique<HeaderJournal>(std::move(file), path);
    journal_writable_ = for_writing;
    return journal_.get();
}

void cls_VideoFile_handler::append_to_journal(JournalKind kind, std::string_view payload) {
    try {
        if (HeaderJournal* j = journal(true)) {
            j->append(kind, payload, journal_time(journal_clock_ ? journal_clock_() : local_now()));
        }
    } catch (const VeltroError& e) {
        journal_failed(e.description());
    }
}

void cls_VideoFile_handler::start_journal(const std::string& text) {
    journal_failure_told_ = false;
    const std::string path = journal_path(file_name_);
    const std::string entry = encode_journal_entry(
        1, journal_time(journal_clock_ ? journal_clock_() : local_now()), JournalKind::Header, text);
    try {
        save_file_atomically(path, entry);
    } catch (const VeltroError& e) {
        // The journal of an earlier recording of this name must not pass for this one's.
        ::unlink(path.c_str());
        journal_failed(e.description());
    }
}

void cls_VideoFile_handler::journal_failed(const std::string& why) {
    log_event(why + "; the change of " + file_name_ + " is not in its journal");
    if (!journal_failure_told_) {
        journal_failure_told_ = true;
        the_operator().message("The journal of " + file_name_ + " cannot be written (" + why +
                                   "). Changes are still stored in the recording, but a header damaged by "
                                   "a crash cannot be restored from its journal.",
                               MsgIcon::Exclamation);
    }
}

void cls_VideoFile_handler::journal_pass() {
    if (!pass_crcs_.empty()) {
        append_to_journal(JournalKind::Frames, encode_frames_payload({pass_first_frame_, pass_crcs_}));
    }
}

namespace {

bool clean(const HeaderJudgement& j) {
    return j.state == HeaderState::Current || j.state == HeaderState::Unjudged ||
           j.state == HeaderState::Unjournalled;
}

} // namespace

HeaderJudgement cls_VideoFile_handler::judge_block(px3::HeaderBlock& block, const JournalContents*& contents,
                                                   std::optional<RecordingLock>& lock) {
    const auto read = [&]() -> HeaderJudgement {
        block.fill(0);
        // What a file cut short lacks reads as zeros.
        file_->read_at(0, block.data(), block.size());
        contents = nullptr;
        try {
            if (HeaderJournal* j = journal(false)) {
                contents = &j->contents();
            }
        } catch (const VeltroError& e) {
            log_event(e.description() + "; " + file_name_ + " is read without its journal");
        }
        return judge_header_block(block, contents);
    };
    HeaderJudgement judged = read();
    if (clean(judged) || writer_holds_ > 0 || !lockable()) {
        return judged;
    }
    // Torn, behind its journal or foreign: perhaps a write of another program in progress. Its lock
    // says when that write is over; then the block is judged again.
    const bool restorable = writable_ && !read_only_;
    try {
        lock.emplace(file_name_, restorable ? RecordingLock::Mode::Exclusive : RecordingLock::Mode::Shared);
    } catch (const VeltroError& e) {
        log_event(e.description());
        return judged;
    }
    return read();
}

std::string cls_VideoFile_handler::load_header_block() {
    recorded_crcs_.clear();
    damage_logged_.clear();
    auto block = std::make_unique<px3::HeaderBlock>();
    const JournalContents* contents = nullptr;
    std::optional<RecordingLock> lock;
    HeaderJudgement judged;
    try {
        judged = judge_block(*block, contents, lock);
    } catch (const std::system_error& e) {
        header_->XML_string(std::string());
        base_text_.clear();
        return std::string("it cannot be read: ") + std::strerror(e.code().value());
    }
    std::string damage;
    if ((judged.state == HeaderState::Damaged || judged.state == HeaderState::Behind) && judged.last) {
        // Written only by the holder of the lock: another writer's block may be on its way.
        restore_header(judged, writer_holds_ > 0 || !lockable() || lock.has_value());
        if (!header_->Has_XML()) {
            damage = "the last header of its journal does not parse either";
        }
    } else {
        const auto on_disk = px3::decode_header_block(block->data(), block->size());
        header_->XML_string(on_disk.text_ok ? on_disk.text : std::string());
        if (judged.state == HeaderState::Foreign) {
            const std::string told = "The header of " + file_name_ +
                                     " matches no entry of its journal: another program changed it. The "
                                     "heat is shown as that program left it.";
            the_operator().message(told, MsgIcon::Exclamation);
            log_event(told);
        } else {
            damage = judged.damage;
        }
        if (judged.state == HeaderState::Unjournalled) {
            log_event("The last change to the header of " + file_name_ +
                      " is not in its journal (it could not be written then); the header is whole");
        }
    }
    base_text_ = header_->Has_XML() ? header_->loaded_text() : std::string();
    if (contents) {
        recorded_crcs_ = recorded_frame_crcs(*contents, value_or([&] { return header_->G_Frames_no(); }, 0));
        damage_logged_.assign(recorded_crcs_.size(), false);
    }
    return damage;
}

// The last complete entry is the header as it was meant to be.
void cls_VideoFile_handler::restore_header(const HeaderJudgement& judged, bool may_write) {
    const JournalEntry& last = *judged.last;
    const std::string what = judged.state == HeaderState::Behind
                                 ? "The last change to the header of " + file_name_ +
                                       " was cut short before it reached the recording."
                                 : "The header of " + file_name_ +
                                       " was damaged by a write that was cut short (" + judged.damage + ").";
    header_->XML_string(last.payload);
    std::string told;
    if (!writable_ || read_only_) {
        told = what + " The file is read only, so it is not repaired; the heat is shown as it was at " +
               entry_words(last) + " in its journal.";
    } else if (!may_write) {
        told = what +
               " Another program is changing it, so it is not repaired now; the heat is shown as it "
               "was at " +
               entry_words(last) + " in its journal.";
    } else {
        try {
            auto good = std::make_unique<px3::HeaderBlock>();
            px3::encode_header_block(last.payload, *good);
            write_at(good->data(), good->size(), 0, "the header");
            flush_to_disk();
            told = what + " It has been restored from its journal: the heat is as it was at " +
                   entry_words(last) + ".";
        } catch (const VeltroError& e) {
            told = what + " It could not be restored (" + e.description() +
                   "); the heat is shown as it was at " + entry_words(last) + " in its journal.";
        }
    }
    the_operator().message(told, MsgIcon::Exclamation);
    log_event(told);
}

} // namespace veltro
