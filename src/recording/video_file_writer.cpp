// The writing side of the recording object: a new recording's header block, the size of its sample
// records, the append pass at capture end and every later rewrite of the header.
#include "picture/jpeg_codec.h"
#include "recording/header_seal.h"
#include "recording/jpeg_fit.h"
#include "recording/video_file_handler.h"
#include "support/app_paths.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/process_facts.h"
#include "support/text.h"
#include "support/value_or.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

namespace veltro {

namespace {

std::int64_t file_length(File& file) {
    try {
        return file.size();
    } catch (const std::system_error&) {
        return 0;
    }
}

// The record size of the frames a header counts; 0 when it counts none. A header that counts frames
// of an impossible size is refused: appending by it would land on or cut the frames already stored.
std::int32_t stored_sample_size(const Cls_XML_header& header, const std::string& file) {
    if (header.G_Frames_no() <= 0) {
        return 0;
    }
    const std::int32_t size = header.RGB_Sample_Size();
    if (size <= px3::kRecordOverhead || size > px3::kMaxSampleSize) {
        throw VeltroError(err::kTypeMismatch, "The header of " + file + " gives a record size of " +
                                                  std::to_string(size) + " bytes; nothing appended");
    }
    return size;
}

} // namespace

void cls_VideoFile_handler::start_quality(std::int16_t value) {
    if (value < 1 || value > 100) {
        throw VeltroError(err::kJpeg, "JPEG quality " + std::to_string(value) + " outside 1..100");
    }
    start_quality_ = value;
}

std::int16_t cls_VideoFile_handler::Measured_fps() const {
    return parse_integer(header_->RGB_fps());
}

void cls_VideoFile_handler::Measured_fps(std::int16_t value) {
    measured_fps_ = value;
    header_->RGB_fps(std::to_string(value));
}

void cls_VideoFile_handler::Initiate_PX3_File() {
    largest_ = 0;
    smallest_ = 999999;
    data_size_ = 0;
    last_compressed_ = 0;
    reduced_count_ = 0;
    frames_appended_ = 0;
    measured_sample_size_ = 0;
    Create_PX3_header();
}

void cls_VideoFile_handler::Create_PX3_header() {
    close_file();
    process_facts().current_file_name = file_name_;
    auto header = std::make_unique<Cls_XML_header>();
    header->Create_Header();
    header->RGB_X(to_integer(cropped_x_));
    header->RGB_Y(to_integer(cropped_y_));
    header->RGB_interlaced(interlaced_);
    header->RGB_preview_on(preview_on_);
    header->RGB_JPEG_Quality(std::to_string(start_quality_));
    if (measured_fps_ > 0) {
        header->RGB_fps(std::to_string(measured_fps_));
    }
    // Pictures of the heat system are never stored turned.
    header->RGB_Rotated(false);
    header->Hdr_spare1(top_delimiter_ > 0 ? std::to_string(top_delimiter_) : "0000");
    header->RGB_fourcc(codec_ == kJpegCodecName ? "IJL" : "MJPG");
    header->RGB_JPEG_codec(codec_);

    const std::string text = seal_header(header->XML_string());
    header->XML_string(text);
    auto block = std::make_unique<px3::HeaderBlock>();
    px3::encode_header_block(text, *block);
    // A new file appears whole or not at all.
    save_file_atomically(file_name_,
                         std::string_view(reinterpret_cast<const char*>(block->data()), block->size()));
    start_journal(text);
    header_ = std::move(header);
    base_text_ = text;
    read_only_ = false;
    num_frames_ = 0;
    sample_size_ = 0;
}

void cls_VideoFile_handler::Write_PX3_header() {
    open_file(true);
    write_header_block();
}

void cls_VideoFile_handler::Write_XML_header() {
    if (suffix_ != "px3") {
        return;
    }
    header_->Update_Time(now_default_datetime());
    header_->Update_Program(process_facts().prog_id.empty() ? kProgramId : process_facts().prog_id);
    // Each write names its own operator and kind: none carries over from an earlier one.
    header_->velt_changed_by(std::exchange(next_change_by_, {}));
    header_->velt_change(std::exchange(next_change_, {}));
    const bool was_open = File_open();
    open_file(true);
    try {
        write_header_block();
    } catch (...) {
        if (!was_open) {
            close_file();
        }
        throw;
    }
    if (!was_open) {
        close_file();
    }
}

void cls_VideoFile_handler::size_record(std::int32_t data_size) {
    data_size_ = data_size;
    record_.assign(static_cast<std::size_t>(px3::sample_size_for(data_size)), 0);
}

void cls_VideoFile_handler::Calculate_Compressed_Size(std::int32_t frames, const FrameAt& frame_at) {
    // A recording that already holds frames keeps its record size: all records of a file are equal.
    const std::int32_t stored = stored_sample_size(*header_, file_name_);
    if (stored > 0) {
        size_record(stored - px3::kRecordOverhead);
        return;
    }
    // D is fixed from real frames only: a capture that ended before its first frame leaves it open.
    if (frames <= 0) {
        return;
    }
    std::int32_t largest = 0;
    if (codec_ == kJpegCodecName) {
        for (const std::int32_t index : px3::trial_frames(frames)) {
            const CVideobuff_RGB& frame = frame_at(index);
            std::int32_t size = static_cast<std::int32_t>(compressed_.size());
            if (size == 0) {
                compressed_.resize(static_cast<std::size_t>(frame.RGB_Length()) + 65536);
                size = static_cast<std::int32_t>(compressed_.size());
            }
            const std::int32_t stride = cDIBSection::bytes_per_scan_line(cropped_x_);
            if (static_cast<std::int64_t>(stride) * cropped_y_ > frame.RGB_Length()) {
                throw VeltroError(err::kSubscriptOutOfRange, "Frame " + std::to_string(index) + " holds " +
                                                                 std::to_string(frame.RGB_Length()) +
                                                                 " bytes, too few for the picture size");
            }
            jpg_from_pixels(frame.Video_Adress(), cropped_x_, cropped_y_, stride, compressed_.data(), size,
                            start_quality_);
            largest = std::max(largest, size);
        }
    }
    const std::int32_t d = px3::data_size_for(largest);
    size_record(d);
    header_->RGB_Image_size(d);
    Write_XML_header();
}

void cls_VideoFile_handler::Open_px3_for_Append() {
    open_file(true);
    try {
        hold_pass_lock();
    } catch (const VeltroError&) {
        close_file();
        throw;
    }
    const std::string damage = load_header_block();
    if (!header_->Has_XML()) {
        close_file();
        throw VeltroError(err::kTypeMismatch,
                          "The header of " + file_name_ + " is damaged (" + damage +
                              ") and has no journal to restore it from; nothing appended");
    }
    // Records go right behind the last counted frame: records of an earlier pass that was never
    // counted (fewer than 3 frames, or cut short) are invisible to readers and are replaced.
    const std::int16_t stored_frames = header_->G_Frames_no();
    std::int32_t stored_size = 0;
    try {
        stored_size = stored_sample_size(*header_, file_name_);
    } catch (const VeltroError&) {
        close_file();
        throw;
    }
    if (stored_size > 0) {
        if (data_size_ != stored_size - px3::kRecordOverhead) {
            size_record(stored_size - px3::kRecordOverhead);
        }
        append_position_ = px3::frame_offset(stored_frames + 1, stored_size);
    } else {
        append_position_ = px3::kHeaderBlockSize;
    }
    frames_appended_ = 0;
    measured_sample_size_ = 0;
    pass_crcs_.clear();
}

// One writer per recording for the whole pass, until Close_File: another program counting these
// records as left over, or appending its own behind the same frame, would spoil both passes.
void cls_VideoFile_handler::hold_pass_lock() {
    if (!pass_holds_lock_) {
        hold_lock();
        pass_holds_lock_ = true;
    }
}

void cls_VideoFile_handler::Append_RGB_Frame(std::int32_t index, const CVideobuff_RGB& frame) {
    if (!File_open() || !writable_) {
        Open_px3_for_Append();
    }
    hold_pass_lock();
    if (header_->G_Frames_no() + frames_appended_ >= px3::kMaxFrames) {
        throw VeltroError(err::kOverflow, "A recording holds at most 32767 frames");
    }
    const std::int32_t stride = cDIBSection::bytes_per_scan_line(cropped_x_);
    if (cropped_x_ <= 0 || cropped_y_ <= 0 ||
        static_cast<std::int64_t>(stride) * cropped_y_ > frame.RGB_Length()) {
        throw VeltroError(err::kSubscriptOutOfRange,
                          "Frame " + std::to_string(index) + " holds " + std::to_string(frame.RGB_Length()) +
                              " bytes, too few for a " + std::to_string(cropped_x_) + " x " +
                              std::to_string(cropped_y_) + " picture");
    }
    if (data_size_ <= 0) {
        // Nobody measured D for this recording yet: this frame is the measure.
        Calculate_Compressed_Size(1, [&frame](std::int32_t) -> const CVideobuff_RGB& { return frame; });
    }
    if (frames_appended_ == 0 && file_length(*file_) > append_position_) {
        // Records of an uncounted earlier pass go only when a new frame replaces them, so a pass
        // without frames leaves the file as it was.
        try {
            file_->truncate(append_position_);
        } catch (const std::system_error& e) {
            throw VeltroError(err::kPathFileAccess, "Cannot prepare " + file_name_ +
                                                        " for appending: " + std::strerror(e.code().value()));
        }
    }
    // Fit the frame into D bytes, lowering the quality step by step; at quality 1 it is cut.
    const FittedStream fitted = compress_to_fit(frame.Video_Adress(), cropped_x_, cropped_y_, stride,
                                                start_quality_, data_size_, compressed_);
    largest_ = std::max(largest_, fitted.largest);
    smallest_ = std::min(smallest_, fitted.smallest);
    const std::int32_t quality = fitted.quality;
    const std::int32_t size = fitted.size;
    if (fitted.reduced(start_quality_)) {
        reduced_count_ = to_integer(reduced_count_ + 1);
    }
    if (fitted.cut) {
        log_event("Frame " + std::to_string(index) + " of " + file_name_ + " does not fit " +
                  std::to_string(data_size_) + " bytes at quality 1 and is stored cut");
    }
    last_compressed_ = size;

    px3::RecordFields fields;
    fields.capture_mill = frame.Capture_Mill();
    fields.capture_delta = frame.Capture_Delta();
    fields.capture_local = frame.Capture_Local();
    fields.quality = quality;
    fields.jpeg_size = size;
    fields.data_count = data_size_;
    px3::put_record_fields(record_.data(), fields);
    std::uint8_t* data = record_.data() + px3::kDataOffset;
    std::memcpy(data, compressed_.data(), static_cast<std::size_t>(size));
    // No bytes of an earlier frame stay behind the stream.
    std::memset(data + size, 0, static_cast<std::size_t>(data_size_ - size));

    if (frames_appended_ == 0) {
        length_before_append_ = append_position_;
        pass_first_frame_ = header_->G_Frames_no() + 1;
        pass_crcs_.clear();
    }
    write_at(record_.data(), record_.size(), append_position_, "a frame");
    pass_crcs_.push_back(crc32_of(record_.data(), record_.size()));
    append_position_ += static_cast<std::int64_t>(record_.size());
    ++frames_appended_;
    if (frames_appended_ == 1 && measured_sample_size_ == 0) {
        measured_sample_size_ = static_cast<std::int32_t>(file_length(*file_) - length_before_append_);
    }
}

void cls_VideoFile_handler::fit_compressed_frame(std::int32_t index, const CompressedFrame& frame,
                                                 cDIBSection& picture, std::uint8_t* data,
                                                 std::int32_t& quality, std::int32_t& size) {
    const std::uint8_t* stream = frame.jpeg.data();
    size = static_cast<std::int32_t>(frame.jpeg.size());
    quality = frame.quality;
    largest_ = std::max(largest_, size);
    smallest_ = std::min(smallest_, size);
    bool cut = false;
    if (size > data_size_) {
        // The stream is the first try of the fitting loop of Append_RGB_Frame; the lower qualities
        // are compressed from its picture. A stream that does not show a picture of the recording's
        // size is stored cut, as the reader would show it anyway: "Corrupted video".
        const auto header = read_jpg_header(stream, size);
        const bool decoded = header &&
                             header->width == value_or([&] { return std::int32_t{header_->RGB_X()}; }, 0) &&
                             header->height == value_or([&] { return std::int32_t{header_->RGB_Y()}; }, 0) &&
                             DIB_From_JPG(picture, stream, size);
        if (!decoded) {
            cut = true;
            log_event("Frame " + std::to_string(index) + " of " + file_name_ + " has a JPEG stream of " +
                      std::to_string(size) + " bytes that does not decode, larger than " +
                      std::to_string(data_size_) + " bytes; it is stored cut");
        }
        const std::size_t room = static_cast<std::size_t>(picture.SizeImage()) + 65536;
        if (decoded && compressed_.size() < room) {
            compressed_.resize(room);
        }
        while (decoded) {
            if (quality <= 1) {
                cut = true;
                log_event("Frame " + std::to_string(index) + " of " + file_name_ + " does not fit " +
                          std::to_string(data_size_) + " bytes at quality 1 and is stored cut");
                break;
            }
            quality = px3::next_lower_quality(quality);
            size = static_cast<std::int32_t>(compressed_.size());
            JPG_From_DIB(picture, compressed_.data(), size, quality);
            stream = compressed_.data();
            largest_ = std::max(largest_, size);
            smallest_ = std::min(smallest_, size);
            if (size <= data_size_) {
                break;
            }
        }
        if (cut) {
            size = data_size_;
        }
    }
    if (quality != start_quality_ || cut) {
        reduced_count_ = to_integer(reduced_count_ + 1);
    }
    last_compressed_ = size;
    std::memcpy(data, stream, static_cast<std::size_t>(size));
    // No bytes of an earlier frame stay behind the stream.
    std::memset(data + size, 0, static_cast<std::size_t>(data_size_ - size));
}

void cls_VideoFile_handler::append_compressed_pass(const CompressedFrames& frames,
                                                   const std::function<void(int)>& progress) {
    // Records go out a few megabytes a write: one system call per record costs more than the copy.
    constexpr std::size_t kWriteBytes = 4u << 20;
    try {
        if (!File_open() || !writable_) {
            Open_px3_for_Append();
        }
        hold_pass_lock();
        const std::int32_t count = frames.count();
        if (count > 0) {
            if (header_->G_Frames_no() + frames_appended_ + count > px3::kMaxFrames) {
                throw VeltroError(err::kOverflow, "A recording holds at most 32767 frames");
            }
            if (header_->G_Frames_no() <= 0 && frames_appended_ == 0) {
                // The first pass knows every frame: D from the largest, so none is stepped down.
                const std::int32_t d = px3::data_size_for(frames.largest());
                if (px3::sample_size_for(d) > px3::kMaxSampleSize) {
                    throw VeltroError(err::kOverflow, "A frame of " + std::to_string(frames.largest()) +
                                                          " bytes is too large for a record of " +
                                                          file_name_);
                }
                size_record(d);
                header_->RGB_Image_size(d);
            } else if (data_size_ <= 0) {
                throw VeltroError(err::kInternalError, "The record size of " + file_name_ + " is not known");
            }
            if (frames_appended_ == 0) {
                if (file_length(*file_) > append_position_) {
                    // Records of an uncounted earlier pass are replaced by this one.
                    try {
                        file_->truncate(append_position_);
                    } catch (const std::system_error& e) {
                        throw VeltroError(err::kPathFileAccess,
                                          "Cannot prepare " + file_name_ +
                                              " for appending: " + std::strerror(e.code().value()));
                    }
                }
                length_before_append_ = append_position_;
                pass_first_frame_ = header_->G_Frames_no() + 1;
                pass_crcs_.clear();
            }
            const std::int32_t s = px3::sample_size_for(data_size_);
            const std::int32_t per_write = static_cast<std::int32_t>(std::clamp<std::size_t>(
                kWriteBytes / static_cast<std::size_t>(s), 1, static_cast<std::size_t>(count)));
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(per_write) *
                                             static_cast<std::size_t>(s));
            CompressedFrame frame;
            cDIBSection picture;
            std::int32_t in_buffer = 0;
            int percent = -1;
            for (std::int32_t i = 1; i <= count; ++i) {
                frames.read(i, frame);
                std::uint8_t* record =
                    buffer.data() + static_cast<std::size_t>(in_buffer) * static_cast<std::size_t>(s);
                px3::RecordFields fields;
                fields.capture_mill = frame.capture_mill;
                fields.capture_delta = frame.capture_delta;
                fields.capture_local = frame.capture_local;
                fit_compressed_frame(i, frame, picture, record + px3::kDataOffset, fields.quality,
                                     fields.jpeg_size);
                fields.data_count = data_size_;
                px3::put_record_fields(record, fields);
                pass_crcs_.push_back(crc32_of(record, static_cast<std::size_t>(s)));
                ++in_buffer;
                if (in_buffer == per_write || i == count) {
                    const std::size_t bytes =
                        static_cast<std::size_t>(in_buffer) * static_cast<std::size_t>(s);
                    write_at(buffer.data(), bytes, append_position_, "a frame");
                    append_position_ += static_cast<std::int64_t>(bytes);
                    frames_appended_ += in_buffer;
                    in_buffer = 0;
                    if (measured_sample_size_ == 0) {
                        measured_sample_size_ = s;
                    }
                }
                const int now = static_cast<int>(static_cast<std::int64_t>(i) * 100 / count);
                if (progress && now != percent) {
                    percent = now;
                    progress(now);
                }
            }
        }
        // Every frame of a capture counts, even one of a capture of one or two frames.
        close_counting(1);
    } catch (...) {
        abandon_append();
        throw;
    }
}

UncountedRecords cls_VideoFile_handler::count_uncounted_records() {
    Open_px3_for_Append();
    UncountedRecords found;
    try {
        found = find_uncounted_records(*file_, *header_);
        if (!found.problem.empty() || found.records == 0) {
            abandon_append();
            return found;
        }
        if (found.torn > 0) {
            try {
                file_->truncate(found.end);
            } catch (const std::system_error& e) {
                throw VeltroError(err::kPathFileAccess, "Cannot cut the torn record off " + file_name_ +
                                                            ": " + std::strerror(e.code().value()));
            }
        }
        size_record(found.sample_size - px3::kRecordOverhead);
        if (header_->G_Frames_no() <= 0) {
            header_->RGB_Image_size(data_size_);
        }
        frames_appended_ = found.records;
        measured_sample_size_ = found.sample_size;
        largest_ = found.largest;
        smallest_ = found.smallest;
        close_counting(1);
    } catch (...) {
        abandon_append();
        throw;
    }
    return found;
}

void cls_VideoFile_handler::Close_File() {
    close_counting(3);
}

void cls_VideoFile_handler::close_counting(std::int32_t at_least) {
    if (!File_open()) {
        frames_appended_ = 0;
        pass_crcs_.clear();
        return;
    }
    // The header in memory goes back to what the file holds when the one that counts the pass
    // cannot be stored: a later header write would otherwise count records the next pass appends
    // again.
    std::string stored_header;
    try {
        if (suffix_ == "px3" && writable_ && frames_appended_ >= at_least) {
            stored_header = header_->XML_string();
            // The records reach the disk before the header that counts them, and their checksums
            // reach the journal before it.
            flush_to_disk();
            journal_pass();
            header_->Frames_no(to_integer(header_->G_Frames_no() + frames_appended_));
            if (measured_sample_size_ > 0) {
                header_->L_RGB_Sample_Size(measured_sample_size_);
            }
            header_->Segments_no(to_integer(header_->Segments_no() + 1));
            if (largest_ > header_->RGB_Compressed_max_Size()) {
                header_->RGB_Compressed_max_Size(largest_);
            }
            if (smallest_ < header_->RGB_Compressed_min_Size()) {
                header_->RGB_Compressed_min_Size(smallest_);
            }
            write_header_block();
            num_frames_ = header_->G_Frames_no();
            sample_size_ = header_->RGB_Sample_Size();
        }
    } catch (...) {
        if (!stored_header.empty()) {
            header_->XML_string(stored_header);
        }
        frames_appended_ = 0;
        pass_crcs_.clear();
        close_file();
        throw;
    }
    frames_appended_ = 0;
    pass_crcs_.clear();
    close_file();
}

void cls_VideoFile_handler::abandon_append() noexcept {
    frames_appended_ = 0;
    pass_crcs_.clear();
    close_file();
}

} // namespace veltro
