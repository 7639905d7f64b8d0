// The recording object: the file, the event log and the heat values. Writing, reading and rendering
// are in video_file_writer.cpp, video_file_reader.cpp and video_file_render.cpp.
#include "recording/video_file_handler.h"

#include "recording/header_seal.h"
#include "support/event_log.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/text.h"
#include "support/value_or.h"
#include "support/veltro_error.h"
#include "timing/heat_timing.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <system_error>

namespace veltro {

cls_VideoFile_handler::cls_VideoFile_handler() : header_(std::make_unique<Cls_XML_header>()) {}

cls_VideoFile_handler::~cls_VideoFile_handler() {
    close_file();
}

void cls_VideoFile_handler::File_name(const std::string& path) {
    file_name_ = path;
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of('/');
    suffix_ = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                  ? std::string()
                  : to_lower_ascii(path.substr(dot + 1));
}

bool cls_VideoFile_handler::Has_XML() const {
    return header_->Has_XML();
}

void cls_VideoFile_handler::open_file(bool for_writing) {
    if (file_ && (writable_ || !for_writing)) {
        return;
    }
    if (for_writing && is_read_only_file(file_name_)) {
        // The superuser could write it: the file's own bits decide, for every user alike.
        throw VeltroError(err::kPermissionDenied, file_name_ + " is read only");
    }
    // A recording open for reading stays open when it cannot be opened for writing.
    UniqueFd fd(::open(file_name_.c_str(), (for_writing ? O_RDWR : O_RDONLY) | O_CLOEXEC));
    if (!fd) {
        const int e = errno;
        throw VeltroError(error_number_for_errno(e), "Cannot open " + file_name_ + ": " + std::strerror(e));
    }
    auto file = std::make_unique<PosixFile>(std::move(fd));
    close_file();
    file_ = std::move(file);
    writable_ = for_writing;
}

void cls_VideoFile_handler::close_file() noexcept {
    if (pass_holds_lock_) {
        pass_holds_lock_ = false;
        release_lock();
    }
    file_.reset();
    undecoded_ = false; // nothing left to decode it from
    writable_ = false;
    journal_.reset();
    journal_writable_ = false;
    journal_source_ = JournalSource::Beside;
}

void cls_VideoFile_handler::flush_to_disk() {
    try {
        file_->sync();
    } catch (const std::system_error& e) {
        throw VeltroError(error_number_for_errno(e.code().value()),
                          "Cannot flush " + file_name_ + " to disk: " + std::strerror(e.code().value()));
    }
}

class cls_VideoFile_handler::WriterHold {
public:
    explicit WriterHold(cls_VideoFile_handler& owner) : owner_(owner) { owner_.hold_lock(); }
    ~WriterHold() { owner_.release_lock(); }
    WriterHold(const WriterHold&) = delete;
    WriterHold& operator=(const WriterHold&) = delete;

private:
    cls_VideoFile_handler& owner_;
};

bool cls_VideoFile_handler::lockable() const {
    return journal_source_ == JournalSource::Beside && !file_name_.empty();
}

void cls_VideoFile_handler::hold_lock() {
    if (writer_holds_ == 0 && lockable()) {
        writer_lock_.emplace(file_name_, RecordingLock::Mode::Exclusive);
    }
    ++writer_holds_;
}

void cls_VideoFile_handler::release_lock() noexcept {
    if (writer_holds_ > 0 && --writer_holds_ == 0) {
        writer_lock_.reset();
    }
}

// Writes the header block at offset 0 and flushes it, under the recording's lock, on top of what
// another program stored since this object read the header. The text is sealed (header_seal.h) and
// the block built completely before the file is touched, so a header that cannot be encoded leaves
// the file as it was. The text is in the journal first: a write cut short by a crash can tear the
// block, and the next open restores it from there. A block that cannot be written whole or flushed
// is replaced by the block that was there, as a block half new and half old could lose the heat's
// times or count frames that are not stored.
void cls_VideoFile_handler::write_header_block() {
    std::optional<WriterHold> hold;
    try {
        hold.emplace(*this);
    } catch (const VeltroError&) {
        // Refused: the heat in memory goes back to what is stored, as nothing was changed.
        if (!base_text_.empty()) {
            header_->XML_string(base_text_);
        }
        throw;
    }
    auto earlier = std::make_unique<px3::HeaderBlock>();
    bool have_earlier = false;
    try {
        have_earlier = file_->read_at(0, earlier->data(), earlier->size()) == earlier->size();
    } catch (const std::system_error&) {
    }
    if (have_earlier) {
        keep_changes_made_elsewhere(*earlier);
        journal_unjournalled(*earlier);
    }
    const std::string text = seal_header(header_->XML_string());
    auto block = std::make_unique<px3::HeaderBlock>();
    px3::encode_header_block(text, *block);
    append_to_journal(JournalKind::Header, text);
    try {
        write_at(block->data(), block->size(), 0, "the header");
        flush_to_disk();
    } catch (const VeltroError&) {
        if (have_earlier) {
            try {
                write_all_at(*file_, 0, earlier->data(), earlier->size());
                file_->sync();
                // The file is as it was, so is its journal: a change reported as not stored must
                // not come back at the next open.
                if (journal_) {
                    journal_->withdraw_last();
                }
            } catch (const std::system_error&) {
                // The disk takes nothing more; the error of the new block is the one to report, and
                // the journal keeps the new text to restore the block from.
            }
        }
        throw;
    }
    header_->XML_string(text);
    base_text_ = text;
}

// A change stored while its journal entry could not be written goes into the journal before the
// next one, dated when it was made, so the history neither loses nor misdates it.
void cls_VideoFile_handler::journal_unjournalled(const px3::HeaderBlock& on_disk) {
    try {
        HeaderJournal* j = journal(false);
        const JournalEntry* last = j ? j->contents().last_header() : nullptr;
        const auto stored = px3::decode_header_block(on_disk.data(), on_disk.size());
        if (!last || !stored.text_ok || stored.text == last->payload ||
            judge_header_block(on_disk, &j->contents()).state != HeaderState::Unjournalled) {
            return;
        }
        Cls_XML_header header;
        header.XML_string(stored.text);
        const auto time =
            journal_time_of_update(value_or([&] { return header.Update_Time(); }, std::string()));
        if (HeaderJournal* writable = journal(true); writable && time) {
            writable->append(JournalKind::Header, stored.text, *time);
        }
    } catch (const VeltroError&) {
        // The entry of the change that follows meets the same failure and tells of it.
    }
}

void cls_VideoFile_handler::keep_changes_made_elsewhere(const px3::HeaderBlock& on_disk) {
    const auto contents = px3::decode_header_block(on_disk.data(), on_disk.size());
    if (base_text_.empty() || !contents.text_ok || contents.text == base_text_) {
        return;
    }
    // A block torn by a crash elsewhere stands for the journal's last header.
    std::string theirs_text = contents.text;
    const JournalContents* journalled = nullptr;
    try {
        if (HeaderJournal* j = journal(false)) {
            journalled = &j->contents();
        }
    } catch (const VeltroError&) {
    }
    const HeaderJudgement judged = judge_header_block(on_disk, journalled);
    if ((judged.state == HeaderState::Damaged || judged.state == HeaderState::Behind) && judged.last) {
        theirs_text = judged.last->payload;
    } else if (!judged.parses) {
        return;
    }
    Cls_XML_header base;
    base.XML_string(base_text_);
    Cls_XML_header theirs;
    theirs.XML_string(theirs_text);
    if (theirs_text == base_text_ || !base.Has_XML() || !theirs.Has_XML()) {
        return;
    }
    std::string replaced;
    for (const std::string& name : theirs.keep_changes(base, *header_)) {
        // Every write stamps these; that both did says nothing.
        if (name != "update_date" && name != "update_program" && name != "hdr_spare5") {
            replaced += (replaced.empty() ? "" : ", ") + name;
        }
    }
    header_->XML_string(theirs.XML_string());
    changed_elsewhere_ = true;
    log_event("The header of " + file_name_ +
              " was changed elsewhere since it was read; that change is kept with this one" +
              (replaced.empty() ? std::string() : " (this one replaces it for " + replaced + ")"));
}

void cls_VideoFile_handler::take_changes_made_elsewhere() {
    if (suffix_ != "px3" || file_name_.empty()) {
        return;
    }
    const bool was_open = File_open();
    auto on_disk = std::make_unique<px3::HeaderBlock>();
    try {
        if (!was_open) {
            open_file(false);
        }
        WriterHold hold(*this); // not in the middle of another program's write
        if (file_->read_at(0, on_disk->data(), on_disk->size()) == on_disk->size()) {
            keep_changes_made_elsewhere(*on_disk);
            const auto contents = px3::decode_header_block(on_disk->data(), on_disk->size());
            if (contents.text_ok) {
                base_text_ = contents.text;
            }
        }
    } catch (const std::exception&) {
        // Unread: the next write still keeps what was changed elsewhere.
    }
    if (!was_open) {
        close_file();
    }
}

void cls_VideoFile_handler::write_at(const std::uint8_t* data, std::size_t size, std::int64_t offset,
                                     const char* what) {
    try {
        write_all_at(*file_, offset, data, size);
    } catch (const std::system_error& e) {
        const int errnum = e.code().value();
        throw VeltroError(error_number_for_errno(errnum), std::string("Cannot write ") + what + " of " +
                                                              file_name_ + ": " + std::strerror(errnum));
    }
}

void cls_VideoFile_handler::log_event(const std::string& text) {
    // The log is written in the middle of an append pass or a review step: a log that cannot be
    // written must not cost the frames still to come.
    try {
        if (event_log_) {
            event_log_(text);
        } else {
            Log_Event(text);
        }
    } catch (const VeltroError&) {
    }
}

// ---- Heat values --------------------------------------------------------------------------------

void cls_VideoFile_handler::next_change(const std::string& by, const std::string& kind) {
    next_change_by_ = by;
    next_change_ = kind;
}

std::int32_t recorded_box_delay(const cls_VideoFile_handler& rec) {
    if (const std::string stored = rec.Velt_box_delay(); is_decimal_number(stored))
        return parse_long(stored);
    return read_timing_settings().box_delay;
}

} // namespace veltro
