// The reading side of the recording object: opening a recording for review and reading its sample
// records. Nothing in a file is trusted: sizes and counts are checked before they are used.
#include "picture/bitmap_text.h"
#include "picture/jpeg_codec.h"
#include "recording/video_file_handler.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/text.h"
#include "support/value_or.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>

namespace veltro {

namespace {

// Reads exactly `size` bytes at `offset`; false at the end of the file or on a read failure.
bool read_exact(File& file, std::uint8_t* data, std::size_t size, std::int64_t offset) {
    try {
        return file.read_at(offset, data, size) == size;
    } catch (const std::system_error&) {
        return false;
    }
}

} // namespace

void cls_VideoFile_handler::reset_reader() {
    num_frames_ = 0;
    num_fields_ = 0;
    sample_size_ = 0;
    rgb_x_ = 0;
    rgb_y_ = 0;
    fourcc_.clear();
    top_delim_y_ = 0;
    samplesize_error_ = false;
    frame_corrupted_ = false;
    frame_damaged_ = false;
    read_error_ = false;
    journal_failure_told_ = false;
    frames_missing_ = 0;
    current_frame_ = 0;
    decoded_frame_ = 0;
    fields_ = px3::RecordFields{};
    checksum_ = 0;
    rotated_ = false;
    current_field_ = 0;
    displayed_field_ = 0;
    effective_time_ = 0;
    picture_ = &frame_;
    undecoded_ = false;
}

void cls_VideoFile_handler::Open_File(const std::string& path) {
    Close_File();
    reset_reader();
    File_name(path);

    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && st.st_size < 100) {
        the_operator().message("Corrupt file, (Invalid file length)", MsgIcon::Exclamation);
        return;
    }
    // Only heat recordings are read; the older types (AVI, DV, SDV, PX1, PX2, PX4) belong to other
    // products and get the same answer as unknown ones.
    if (suffix_ != "px3") {
        the_operator().message("cls_AVI_handler can't open this file type! " + path, MsgIcon::Exclamation);
        return;
    }
    read_only_ = is_read_only_file(path);
    UniqueFd fd(::open(path.c_str(), (read_only_ ? O_RDONLY : O_RDWR) | O_CLOEXEC));
    if (!fd && exists && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // Writable by its bits but not by this user (another owner, a read-only disk): it can
        // still be reviewed, only not changed.
        read_only_ = true;
        fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    }
    if (!fd) {
        const int e = errno;
        if (e == EACCES || e == EPERM) {
            the_operator().message("Permission denied!", MsgIcon::Exclamation);
        } else {
            the_operator().message("Windows error when trying to open file: " + path + "\n" +
                                       "Windows says: " + std::strerror(e) +
                                       " ,error number = " + std::to_string(e),
                                   MsgIcon::Exclamation);
        }
        return;
    }
    file_ = std::make_unique<PosixFile>(std::move(fd));
    writable_ = !read_only_;
    open_recording();
}

void cls_VideoFile_handler::Open_File(std::unique_ptr<File> file, const std::string& name,
                                      std::unique_ptr<File> journal) {
    if (!file) {
        throw VeltroError(err::kObjectVariableNotSet, "No file given for " + name);
    }
    Close_File();
    reset_reader();
    File_name(name);
    std::int64_t length = 0;
    try {
        length = file->size();
    } catch (const std::system_error&) {
    }
    if (length < 100) {
        the_operator().message("Corrupt file, (Invalid file length)", MsgIcon::Exclamation);
        return;
    }
    if (suffix_ != "px3") {
        the_operator().message("cls_AVI_handler can't open this file type! " + name, MsgIcon::Exclamation);
        return;
    }
    file_ = std::move(file);
    read_only_ = false;
    writable_ = true;
    if (journal) {
        journal_source_ = JournalSource::Given;
        journal_ = std::make_unique<HeaderJournal>(std::move(journal), journal_path(name));
        journal_writable_ = true;
    } else {
        journal_source_ = JournalSource::None;
    }
    open_recording();
}

void cls_VideoFile_handler::open_recording() {
    // Open_RGB_File
    Read_PX3_Headers();
    if (header_->Has_XML()) {
        const Cls_XML_header& h = *header_;
        sample_size_ = value_or([&] { return h.RGB_Sample_Size(); }, 0);
        num_frames_ = value_or([&] { return h.G_Frames_no(); }, 0);
        rgb_x_ = value_or([&] { return h.RGB_X(); }, 0);
        rgb_y_ = value_or([&] { return h.RGB_Y(); }, 0);
        interlaced_ = value_or([&] { return h.RGB_interlaced(); }, false);
        fourcc_ = value_or([&] { return h.RGB_fourcc(); }, "");
        rotated_ = value_or([&] { return h.RGB_Rotated(); }, false);
        Read_Top_Delimiter();
    }
    if (num_frames_ < 0) {
        num_frames_ = 0;
    }
    if (num_frames_ > 0 && !px3::sample_size_ok(sample_size_)) {
        // Records of that size cannot exist: no frame can be located.
        num_frames_ = 0;
        samplesize_error_ = true;
    }
    if (num_frames_ > 0) {
        // A file cut short (a full disk, a copy that stopped) shows the frames that are really there.
        std::int64_t length = 0;
        try {
            length = file_->size();
        } catch (const std::system_error&) {
        }
        const std::int64_t present = px3::records_present(length, sample_size_);
        if (present < num_frames_) {
            frames_missing_ = static_cast<std::int16_t>(num_frames_ - present);
            the_operator().message("This recording is cut short: " + std::to_string(frames_missing_) +
                                       " of " + std::to_string(num_frames_) + " frames are missing.",
                                   MsgIcon::Exclamation);
            num_frames_ = static_cast<std::int16_t>(present);
        }
    }
    if (header_->Has_XML() && frames_missing_ == 0 && !samplesize_error_) {
        tell_uncounted_records();
    }
    if (num_frames_ > 0) {
        read_record_.assign(static_cast<std::size_t>(sample_size_), 0);
        next_record_.assign(static_cast<std::size_t>(sample_size_), 0);
    }
    if (interlaced_) {
        // Field numbers are Integers: the fields of frames beyond 16383 cannot be addressed.
        num_fields_ = static_cast<std::int16_t>(std::min<std::int32_t>(2 * num_frames_, 32767));
        frame_duration_ = 40;
        field_duration_ = 20;
    } else {
        num_fields_ = num_frames_;
        frame_duration_ = 20;
        field_duration_ = 10;
    }
    // Frame 1, frame 2 and the last frame: checks the file from end to end.
    if (num_frames_ > 0) {
        for (const std::int32_t frame : {1, 2, static_cast<int>(num_frames_)}) {
            if (frame > num_frames_) {
                continue;
            }
            try {
                Read_RGB_sample(frame, false);
            } catch (const VeltroError&) {
                break;
            }
        }
    }
}

// A pass cut short (a full disk, the program's end) leaves whole records behind the counted frames.
// The review shows the frames of the last pass that finished; the operator hears why the rest are
// missing and how to add them.
void cls_VideoFile_handler::tell_uncounted_records() {
    std::int64_t length = 0;
    try {
        length = file_->size();
    } catch (const std::system_error&) {
        return;
    }
    const std::int64_t counted_end =
        num_frames_ > 0 ? px3::frame_offset(num_frames_ + 1, sample_size_) : px3::kHeaderBlockSize;
    if (length <= counted_end) {
        return;
    }
    const UncountedRecords found = find_uncounted_records(*file_, *header_);
    if (found.records > 0) {
        the_operator().message("This recording holds " + std::to_string(found.records) + " frames past the " +
                                   std::to_string(found.counted) +
                                   " its header counts: the capture pass that wrote them did not finish (a "
                                   "full disk, or the program ended). They are not shown; px3tool recover "
                                   "adds them.",
                               MsgIcon::Exclamation);
    }
}

void cls_VideoFile_handler::Read_PX3_Headers() {
    // A text that is missing or longer than its field makes this a recording without header.
    const std::string damage = load_header_block();
    if (!damage.empty()) {
        const std::string told = "The header of " + file_name_ + " is damaged (" + damage +
                                 ") and has no journal to restore it from: " +
                                 (header_->Has_XML() ? "the heat's times shown may be wrong."
                                                     : "the heat's times and frames cannot be read.");
        the_operator().message(told, MsgIcon::Exclamation);
        log_event(told);
    }
}

void cls_VideoFile_handler::Read_Top_Delimiter() {
    const std::string text = value_or([&] { return header_->Hdr_spare1(); }, "0000");
    top_delim_y_ = is_decimal_number(text) ? value_or([&] { return parse_integer(text); }, 0) : 0;
}

std::int64_t cls_VideoFile_handler::RGB_video_adress(std::int32_t frame) const {
    return px3::frame_offset(frame, sample_size_) + 1;
}

std::int16_t cls_VideoFile_handler::mill_per_Frame() const {
    const std::string fps = value_or([&] { return header_->RGB_fps(); }, "0");
    const std::int32_t rate = is_decimal_number(fps) ? value_or([&] { return parse_long(fps); }, 0) : 0;
    // 40 up to 30 frames a second, above it the measured rate's own period: 20 at 50, 10 at 100, 5 at
    // 200; half of it when shown field by field.
    const std::int64_t per_frame = interlaced_at_rate(rate) ? 40 : div_round_half_even(1000, rate);
    return static_cast<std::int16_t>(deinterlaced_ ? per_frame : div_round_half_even(per_frame, 2));
}

void cls_VideoFile_handler::Read_RGB_sample(std::int32_t frame, bool draw) {
    if (frame == current_frame_) {
        // The record is at hand: a failed read of another frame in between says nothing about it.
        samplesize_error_ = false;
        if (!draw || decoded_frame_ == frame) {
            return;
        }
    }
    try {
        if (!File_open()) {
            throw VeltroError(err::kObjectVariableNotSet, "No recording is open");
        }
        if (frame < 1 || frame > num_frames_) {
            throw VeltroError(err::kSubscriptOutOfRange, "Frame " + std::to_string(frame) + " is not in " +
                                                             file_name_ + " (" + std::to_string(num_frames_) +
                                                             " frames)");
        }
        const std::int64_t offset = px3::frame_offset(frame, sample_size_);
        std::uint8_t head[px3::kRecordHeaderSize];
        if (frame != current_frame_) {
            if (!read_exact(*file_, head, sizeof head, offset) || !px3::has_record_magic(head) ||
                !read_exact(*file_, next_record_.data(), next_record_.size(), offset)) {
                // A record that is missing or does not begin right is skipped; the record read before
                // stays whole. Drawn, it shows the "Corrupted video" picture, never an older one.
                samplesize_error_ = true;
                if (draw) {
                    frame_corrupted_ = true;
                    show_corrupted_frame();
                    decoded_frame_ = 0;
                }
                return;
            }
            read_record_.swap(next_record_);
            samplesize_error_ = false;
            check_recorded_bytes(frame);
            fields_ = px3::get_record_fields(read_record_.data());
            const std::int32_t data_size = sample_size_ - px3::kRecordOverhead;
            checksum_ = px3::record_checksum(read_record_.data() + px3::kDataOffset, data_size,
                                             fields_.jpeg_size, sample_size_);
            current_frame_ = frame;
            decoded_frame_ = 0;
        }
        if (draw) {
            // A record whose bytes changed since it was recorded may still decode, into a wrong picture.
            frame_corrupted_ = frame_damaged_ || !decode_into_frame();
            if (frame_corrupted_) {
                show_corrupted_frame();
            }
            decoded_frame_ = frame;
        }
    } catch (const VeltroError&) {
        read_error_ = true;
        throw;
    }
}

void cls_VideoFile_handler::check_recorded_bytes(std::int32_t frame) {
    frame_damaged_ = false;
    const auto index = static_cast<std::size_t>(frame - 1);
    if (index >= recorded_crcs_.size() || !recorded_crcs_[index]) {
        return;
    }
    frame_damaged_ = crc32_of(read_record_.data(), read_record_.size()) != *recorded_crcs_[index];
    if (frame_damaged_ && !damage_logged_[index]) {
        damage_logged_[index] = true;
        log_event("Frame " + std::to_string(frame) + " of " + file_name_ +
                  " is damaged: its bytes changed since it was recorded");
    }
}

bool cls_VideoFile_handler::decode_into_frame() {
    const std::int32_t data_size = sample_size_ - px3::kRecordOverhead;
    const std::uint8_t* data = read_record_.data() + px3::kDataOffset;
    if (fourcc_ == "IJL" || fourcc_ == "JPEG") {
        const std::int32_t size = fields_.jpeg_size;
        if (size <= 0 || size > data_size) {
            return false;
        }
        // The stream must show a picture of the recording's size: sizes in the stream are not
        // trusted for allocation.
        const auto header = read_jpg_header(data, size);
        if (!header) {
            the_operator().message("Failed to read JPG");
            return false;
        }
        if (!px3::picture_side_ok(header->width) || !px3::picture_side_ok(header->height) ||
            ((rgb_x_ > 0 || rgb_y_ > 0) && (header->width != rgb_x_ || header->height != rgb_y_))) {
            return false;
        }
        return DIB_From_JPG(frame_, data, size);
    }
    // Other codecs stored raw pixel rows.
    if (frame_.empty()) {
        return false;
    }
    std::memcpy(frame_.DIBSectionBitsPtr(), data,
                static_cast<std::size_t>(std::min(data_size, frame_.SizeImage())));
    return true;
}

// The words go into the picture itself, so every copy of it (export, print) says the frame is broken.
void cls_VideoFile_handler::show_corrupted_frame() {
    if (frame_.empty() && px3::picture_side_ok(rgb_x_) && px3::picture_side_ok(rgb_y_)) {
        frame_.Create(rgb_x_, rgb_y_);
    }
    frame_.Fill_with_RGB(16711680);
    draw_text_lines(frame_, PixelRect{10, 100, 500, 400}, {"Corrupted video", " in this frame!"}, 255, 64);
}

void cls_VideoFile_handler::Read_All_RGB_Frames() {
    for (std::int32_t i = 1; i <= num_frames_; ++i) {
        Read_RGB_sample(i, true);
    }
}

} // namespace veltro
