// The recording object: the file, the event log and the heat values. Writing, reading and rendering
// are in video_file_writer.cpp, video_file_reader.cpp and video_file_render.cpp.
#include "recording/video_file_handler.h"

#include "support/event_log.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/text.h"
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
        throw VeltroError(err::PermissionDenied, file_name_ + " is read only");
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
    file_.reset();
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

// Writes the header block at offset 0 and flushes it. The block is built completely before the file
// is touched, so a header that cannot be encoded leaves the file as it was. The text is in the journal
// first: a write cut short by a crash can tear the block, and the next open restores it from there.
// A block that cannot be written whole or flushed is replaced by the block that was there, as a block
// half new and half old could lose the heat's times or count frames that are not stored.
void cls_VideoFile_handler::write_header_block() {
    const std::string text = header_->XML_string();
    auto block = std::make_unique<px3::HeaderBlock>();
    px3::encode_header_block(text, *block);
    append_to_journal(JournalKind::Header, text);
    auto earlier = std::make_unique<px3::HeaderBlock>();
    bool have_earlier = false;
    try {
        have_earlier = file_->read_at(0, earlier->data(), earlier->size()) == earlier->size();
    } catch (const std::system_error&) {
    }
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

std::int32_t cls_VideoFile_handler::Velt_Heat_time(std::int16_t box, bool split) const {
    return header_->Velt_Heat_time(box, split);
}
void cls_VideoFile_handler::Velt_Heat_time(std::int16_t box, bool split, std::int32_t value) {
    header_->Velt_Heat_time(box, split, value);
}
std::int16_t cls_VideoFile_handler::Velt_heat_frame(std::int16_t box) const {
    return header_->Velt_heat_frame(box);
}
void cls_VideoFile_handler::Velt_heat_frame(std::int16_t box, std::int16_t value) {
    header_->Velt_heat_frame(box, value);
}
std::int16_t cls_VideoFile_handler::Velt_split_frame(std::int16_t box) const {
    return header_->Velt_split_frame(box);
}
void cls_VideoFile_handler::Velt_split_frame(std::int16_t box, std::int16_t value) {
    header_->Velt_split_frame(box, value);
}
std::int32_t cls_VideoFile_handler::Velt_Heat_Click_Time(std::int16_t box) const {
    return header_->Velt_Heat_Click_Time(box);
}
void cls_VideoFile_handler::Velt_Heat_Click_Time(std::int16_t box, std::int32_t value) {
    header_->Velt_Heat_Click_Time(box, value);
}
bool cls_VideoFile_handler::Velt_dead_heat(std::int16_t box) const {
    return header_->Velt_dead_heat(box);
}
void cls_VideoFile_handler::Velt_dead_heat(std::int16_t box, bool value) {
    header_->Velt_dead_heat(box, value);
}
std::string cls_VideoFile_handler::Velt_Dog_name(std::int16_t box) const {
    return header_->Velt_Dog_name(box);
}
void cls_VideoFile_handler::Velt_Dog_name(std::int16_t box, const std::string& value) {
    header_->Velt_Dog_name(box, value);
}
std::string cls_VideoFile_handler::Velt_start_PC_mill() const {
    return header_->Velt_heat_start_PC_mill();
}
void cls_VideoFile_handler::Velt_start_PC_mill(const std::string& value) {
    header_->Velt_heat_start_PC_mill(value);
}
void cls_VideoFile_handler::Velt_start_PC_mill(std::uint32_t counter) {
    header_->Velt_heat_start_PC_mill(std::to_string(static_cast<std::int32_t>(counter)));
}
std::string cls_VideoFile_handler::Velt_event() const {
    return header_->Velt_event();
}
void cls_VideoFile_handler::Velt_event(const std::string& value) {
    header_->Velt_event(value);
}
std::string cls_VideoFile_handler::Velt_Heat_ID() const {
    return header_->Velt_Heat_ID();
}
void cls_VideoFile_handler::Velt_Heat_ID(const std::string& value) {
    header_->Velt_Heat_ID(value);
}
std::string cls_VideoFile_handler::Velt_Heat_Name() const {
    return header_->Velt_Heat_Name();
}
void cls_VideoFile_handler::Velt_Heat_Name(const std::string& value) {
    header_->Velt_Heat_Name(value);
}
std::string cls_VideoFile_handler::Velt_Heat_Length() const {
    return header_->Velt_Heat_Length();
}
std::string cls_VideoFile_handler::Velt_Goal_Finish() const {
    return header_->Velt_Goal_Finish();
}
void cls_VideoFile_handler::Velt_Goal_Finish(const std::string& value) {
    header_->Velt_Goal_Finish(value);
}
std::string cls_VideoFile_handler::Velt_Goal_Split() const {
    return header_->Velt_Goal_Split();
}
void cls_VideoFile_handler::Velt_Goal_Split(const std::string& value) {
    header_->Velt_Goal_Split(value);
}
std::string cls_VideoFile_handler::Velt_box_delay() const {
    return header_->Velt_box_delay();
}
void cls_VideoFile_handler::Velt_box_delay(const std::string& value) {
    header_->Velt_box_delay(value);
}
std::string cls_VideoFile_handler::Velt_Goal_compensation() const {
    return header_->Goal_Compensation();
}
void cls_VideoFile_handler::Velt_Goal_compensation(const std::string& value) {
    header_->Goal_Compensation(value);
}
std::string cls_VideoFile_handler::Velt_Split_compensation() const {
    return header_->Split_Compensation();
}
void cls_VideoFile_handler::Velt_Split_compensation(const std::string& value) {
    header_->Split_Compensation(value);
}
std::string cls_VideoFile_handler::Velt_start_DateTime() const {
    return header_->Velt_start_DateTime();
}
void cls_VideoFile_handler::Velt_start_DateTime(const std::string& value) {
    header_->Velt_start_DateTime(value);
}
std::int32_t cls_VideoFile_handler::Velt_heat_start_local() const {
    return header_->Velt_heat_start_Local_mill();
}
void cls_VideoFile_handler::Velt_heat_start_local(std::int32_t value) {
    header_->Velt_heat_start_Local_mill(value);
}
std::string cls_VideoFile_handler::Phidget_serial() const {
    return header_->Phidget_serial();
}
void cls_VideoFile_handler::Phidget_serial(const std::string& value) {
    header_->Phidget_serial(value);
}
std::string cls_VideoFile_handler::Creation_date() const {
    return header_->Creation_date();
}
std::string cls_VideoFile_handler::Last_Capture_time() const {
    return header_->Last_Capture_time();
}
std::string cls_VideoFile_handler::Computer_name() const {
    return header_->Comp_Name();
}
std::string cls_VideoFile_handler::OS_version() const {
    return header_->OS_version();
}
std::int16_t cls_VideoFile_handler::Height() const {
    return header_->RGB_Y();
}
std::int16_t cls_VideoFile_handler::Width() const {
    return header_->RGB_X();
}

std::int32_t Recorded_box_delay(const cls_VideoFile_handler& rec) {
    if (const std::string stored = rec.Velt_box_delay(); is_decimal_number(stored))
        return parse_long(stored);
    return read_timing_settings().box_delay;
}

} // namespace veltro
