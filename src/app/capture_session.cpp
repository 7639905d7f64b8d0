#include "app/capture_session.h"

#include "picture/dib_section.h"
#include "recording/capture_spool.h"
#include "recording/px3_layout.h"
#include "recording/video_file_handler.h"
#include "support/clocks.h"
#include "support/trace.h"
#include "support/veltro_error.h"

#include <chrono>

namespace veltro {

CaptureSession::CaptureSession(cls_VideoFile_handler& recording, const Clock& clock)
    : recording_(recording), clock_(clock) {}

CaptureSession::~CaptureSession() {
    // Frames still waiting for compression reach the spool, which recovery finds at the next start;
    // frames of a final pass that failed get one more try.
    try {
        if (pass_) {
            pass_->finish();
        } else if (spool_) {
            append_spool({});
        }
    } catch (const VeltroError& e) {
        Trace("*Capture session closed: ", e.what());
    }
}

void CaptureSession::begin() {
    if (pass_) {
        return;
    }
    const Cls_XML_header& header = recording_.XML_header();
    const std::int32_t counted = header.G_Frames_no() > 0 ? header.G_Frames_no() : 0;
    // A recording that holds frames has its record size; every later frame must fit it.
    const std::int32_t fixed = counted > 0 ? header.RGB_Sample_Size() - px3::kRecordOverhead : 0;
    if (!spool_) {
        SpoolHead head;
        head.width = recording_.Cropped_X();
        head.height = recording_.Cropped_Y();
        head.start_quality = recording_.Start_Quality();
        head.data_size = fixed;
        head.base_frames = counted;
        spool_ = std::make_unique<SpoolWriter>(spool_path(recording_.File_name()), head);
    }
    CapturePassOptions options;
    options.width = recording_.Cropped_X();
    options.height = recording_.Cropped_Y();
    options.start_quality = recording_.Start_Quality();
    options.fixed_data_size = fixed;
    options.max_frames = px3::kMaxFrames - counted - spool_->count();
    pass_ = std::make_unique<CapturePass>(options, *spool_, clock_);
}

CapturePass::Stored CaptureSession::store(const cDIBSection& picture, std::int32_t capture_mill,
                                          std::int32_t capture_local, std::int32_t capture_delta) {
    if (!pass_) {
        return CapturePass::Stored::Full;
    }
    return pass_->store(picture.DIBSectionBitsPtr(), static_cast<std::size_t>(picture.SizeImage()),
                        capture_mill, capture_delta, capture_local);
}

std::int32_t CaptureSession::end(const std::function<void(int)>& progress) {
    if (!pass_) {
        return 0;
    }
    // Wall time, also when a manual clock drives the capture.
    const auto ended = std::chrono::steady_clock::now();
    std::unique_ptr<CapturePass> pass = std::move(pass_);
    std::string failure;
    try {
        pass->finish();
    } catch (const VeltroError& e) {
        // The frames before the failure are in the spool and still go into the recording.
        failure = e.what();
    }
    pass.reset();
    const std::int32_t appended = append_spool(progress);
    last_end_ms_ =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - ended)
            .count();
    Trace("appended ", appended, " frames in ", last_end_ms_, " ms");
    if (!failure.empty()) {
        throw VeltroError(err::PathFileAccess, "Capture stopped storing frames: " + failure + ". The " +
                                                   std::to_string(appended) +
                                                   " frames before it are in the recording.");
    }
    return appended;
}

std::int32_t CaptureSession::append_spool(const std::function<void(int)>& progress) {
    if (!spool_ || spool_->count() == 0) {
        if (spool_) {
            spool_->remove();
            spool_.reset();
        }
        return 0;
    }
    // Heat values set since the header was last written (the measured rate) reach the file first:
    // the pass reads the header back from it.
    recording_.Close_File();
    recording_.Write_XML_header();
    const std::int32_t before = recording_.XML_header().G_Frames_no();
    recording_.Append_Compressed_Pass(*spool_, progress);
    const std::int32_t appended = recording_.XML_header().G_Frames_no() - before;
    spool_->remove();
    spool_.reset();
    return appended;
}

std::int32_t CaptureSession::frames() const {
    return pass_ ? pass_->counters().stored : 0;
}

CapturePassCounters CaptureSession::counters() const {
    return pass_ ? pass_->counters() : CapturePassCounters{};
}

std::string CaptureSession::settle() {
    // A heat that ends while capture is on keeps the frames captured so far.
    if (pass_) {
        try {
            end({});
        } catch (const VeltroError& e) {
            if (!spool_) {
                return e.what();
            }
        }
    }
    if (!spool_) {
        return {};
    }
    const std::string path = spool_->path();
    const std::int32_t waiting = spool_->count();
    try {
        append_spool({});
        return {};
    } catch (const VeltroError& e) {
        // The spool stays with the session: the next capture end, the next "Initiate file" or the
        // program's end tries again. Frames the disk did not take live only in its memory.
        std::string told = std::to_string(waiting) +
                           " frames could not be added to the recording: " + e.description() +
                           ". They are kept in " + path;
        if (!spool_->failure().empty()) {
            told += " and, as the disk did not take them all, in memory until the program ends";
        }
        return told + "; they are added at the next try, or when the program starts next.";
    }
}

std::string Compression_Text(const CapturePassCounters& c) {
    if (c.stored == 0) {
        return "Compression: no capture on";
    }
    std::string text = "Compression: " + std::to_string(c.written) + " of " + std::to_string(c.stored) +
                       " frames spooled, " + std::to_string(c.waits) + " waits for a free buffer";
    if (c.waits > 0) {
        text += " (" + std::to_string(c.wait_us / 1000) + " ms)";
    }
    return text;
}

} // namespace veltro
