// Rendering of the recording object: the field or frame on show, turned when the recording says its
// pictures are stored rotated, and the time of the picture since the start of the clip.
#include "recording/frame_render.h"
#include "recording/header_journal.h"
#include "recording/video_file_handler.h"
#include "support/operator.h"

#include <string>

namespace veltro {

namespace {

// The picture to show for `source`: itself, or turned into `rotation` when the recording stores its
// pictures rotated. nullptr when the turn fails; the operator is told and the shown picture stays.
const cDIBSection* to_show(const cDIBSection& source, bool rotated, cDIBSection& rotation, const char* who) {
    if (!rotated) {
        return &source;
    }
    // The turned picture needs a target of the turned size; it is made (again) when that differs.
    const bool sized = (rotation.Width() == source.Height() && rotation.Height() == source.Width()) ||
                       rotation.Create(source.Height(), source.Width());
    if (!sized || !Rotate90(source, rotation)) {
        the_operator().message(std::string(who) + " rotate size mismatch!");
        return nullptr;
    }
    return &rotation;
}

} // namespace

void cls_VideoFile_handler::Draw_RGB_Field(std::int32_t field) {
    undecoded_ = false;
    if (read_error_) {
        return;
    }
    const std::int32_t frame = (field + 1) / 2;
    Read_RGB_sample(frame, true);
    if (read_error_ || frame_.empty()) {
        return;
    }
    displayed_field_ = field % 2 != 0 ? 1 : 2;
    current_field_ = field;
    if (field_.Width() != frame_.Width() || field_.Height() != frame_.Height()) {
        const bool had_size = !field_.empty();
        field_.Create(frame_.Width(), frame_.Height());
        if (had_size) {
            log_event("Deinterlace, size mismatch for file = " + file_name_);
        }
    }
    if (field_.SizeImage() != frame_.SizeImage()) {
        the_operator().message(" Draw_RFB_field deinterlaceFrame2 size mismatch!");
        return;
    }
    deinterlaceFrame2(frame_, field_, displayed_field_ == 1 ? 2 : 1);
    Draw_Current_Field();
    const std::int32_t start = start_number_ == 0 ? 1 : start_number_;
    effective_time_ = static_cast<float>((current_field_ - start) * field_duration_);
}

void cls_VideoFile_handler::Draw_Current_Field() {
    if (const cDIBSection* shown = to_show(field_, rotated_, rotation_, "Draw_Current_Field")) {
        picture_ = shown;
    }
}

void cls_VideoFile_handler::Draw_RGB_frame(std::int32_t frame) {
    undecoded_ = false;
    Read_RGB_sample(frame, true);
    displayed_field_ = 99;
    Draw_Current_RGB_frame();
    const std::int32_t start = start_number_ == 0 ? 1 : start_number_;
    effective_time_ = static_cast<float>((current_frame_ - start) * frame_duration_);
}

void cls_VideoFile_handler::Draw_Current_RGB_frame() {
    if (const cDIBSection* shown = to_show(frame_, rotated_, rotation_, "Draw_Current_RGB_frame")) {
        picture_ = shown;
    }
}

bool cls_VideoFile_handler::show_decoded(std::int32_t position, bool field, std::uint32_t record_crc) {
    if (read_error_) {
        return false;
    }
    const std::int32_t frame = field ? (position + 1) / 2 : position;
    Read_RGB_sample(frame, false);
    // A record that changed since it was recorded shows the "Corrupted video" picture, which only a
    // draw makes.
    if (samplesize_error_ || frame_damaged_ || current_frame_ != frame ||
        crc32_of(read_record_.data(), read_record_.size()) != record_crc) {
        return false;
    }
    const std::int32_t start = start_number_ == 0 ? 1 : start_number_;
    if (field) {
        displayed_field_ = position % 2 != 0 ? 1 : 2;
        current_field_ = position;
        effective_time_ = static_cast<float>((current_field_ - start) * field_duration_);
    } else {
        displayed_field_ = 99;
        effective_time_ = static_cast<float>((current_frame_ - start) * frame_duration_);
    }
    frame_corrupted_ = false;
    undecoded_ = true;
    return true;
}

const cDIBSection& cls_VideoFile_handler::picture() {
    if (undecoded_) {
        if (displayed_field_ == 99) {
            Draw_RGB_frame(current_frame_);
        } else {
            Draw_RGB_Field(current_field_);
        }
    }
    return *picture_;
}

} // namespace veltro
