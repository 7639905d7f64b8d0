#include "app/capture_session.h"

#include "capture/capture_hdmi.h"
#include "picture/dib_section.h"
#include "recording/capture_spool.h"
#include "recording/preroll_ring.h"
#include "recording/px3_layout.h"
#include "recording/video_file_handler.h"
#include "support/clocks.h"
#include "support/trace.h"
#include "support/veltro_error.h"

#include <chrono>

namespace veltro {

// A spool and the recording it belongs to.
struct CaptureSession::Held {
    std::string recording;
    std::unique_ptr<SpoolWriter> spool;
};

namespace {

// The pictures between captures: a few raw buffers, two workers (an MJPEG camera's windows are
// decoded there too), and less memory than a capture may take.
CapturePassOptions preroll_options(std::int32_t width, std::int32_t height, std::int16_t quality) {
    CapturePassOptions o;
    o.width = width;
    o.height = height;
    o.start_quality = quality;
    o.raw_buffers = 4;
    o.max_raw_bytes = std::size_t{128} << 20;
    o.workers = 2;
    return o;
}

} // namespace

CaptureSession::CaptureSession(cls_VideoFile_handler& recording, cls_Capture_HDMI& capture,
                               const Clock& clock)
    : recording_(recording), capture_(capture), clock_(clock) {}

CaptureSession::~CaptureSession() {
    try {
        if (const std::string told = close(); !told.empty()) {
            Trace("*Capture session closed: ", told);
        }
    } catch (const VeltroError& e) {
        Trace("*Capture session closed: ", e.what());
    }
}

std::string CaptureSession::close() {
    if (closed_) {
        return {};
    }
    // Frames still waiting for compression reach the spool, which recovery finds at the next start;
    // frames of a final pass that failed get one more try, each into its own recording.
    std::string told = settle();
    camera_stopped();
    closed_ = true;
    return told;
}

void CaptureSession::camera_started(std::int32_t width, std::int32_t height, std::int16_t quality,
                                    const PrerollSettings& preroll) {
    camera_stopped();
    if (preroll.length_ms > 0) {
        ring_ = std::make_unique<PrerollRing>(preroll.length_ms);
        preroll_ = std::make_unique<CapturePass>(pass_options(preroll_options(width, height, quality)),
                                                 *ring_, clock_);
    }
    keep_before_edge_ms_ = preroll.keep_before_edge ? preroll.length_ms : 0;
    capture_.store_target([this](const cDIBSection& picture, std::uint32_t mill, std::int32_t local,
                                 std::int32_t delta) { frame(picture, mill, local, delta); });
    capture_.jpeg_store_target([this](const JpegWindowFrame& jpeg, std::uint32_t mill, std::int32_t local,
                                      std::int32_t delta) { jpeg_frame(jpeg, mill, local, delta); });
}

CapturePassOptions CaptureSession::pass_options(CapturePassOptions options) {
    options.corrupt_frame = [&capture = capture_](std::int32_t mill, const std::string& why) {
        capture.late_corrupt_frame(static_cast<std::uint32_t>(mill), why);
    };
    return options;
}

void CaptureSession::camera_stopped() {
    capture_.store_target(nullptr);
    capture_.jpeg_store_target(nullptr);
    preroll_.reset();
    ring_.reset();
}

template <class Store>
void CaptureSession::store_frame(std::uint32_t mill, const Store& store) {
    try {
        if (storing_ != nullptr && elapsed_ms(from_mill_, mill) >= 0) {
            const CapturePass::Stored stored = store(*storing_);
            if (stored == CapturePass::Stored::Last || stored == CapturePass::Stored::Full) {
                // The recording cannot count one more: what follows goes to the ring again.
                storing_ = nullptr;
                full_ = true;
            }
            return;
        }
        if (preroll_) {
            store(*preroll_);
        }
    } catch (const VeltroError& e) {
        Trace("*Frame not stored: ", e.what());
    }
}

void CaptureSession::frame(const cDIBSection& picture, std::uint32_t mill, std::int32_t local,
                           std::int32_t delta) {
    store_frame(mill, [&](CapturePass& pass) {
        return pass.store(picture.DIBSectionBitsPtr(), static_cast<std::size_t>(picture.SizeImage()),
                          static_cast<std::int32_t>(mill), delta, local);
    });
}

void CaptureSession::jpeg_frame(const JpegWindowFrame& jpeg, std::uint32_t mill, std::int32_t local,
                                std::int32_t delta) {
    store_frame(mill, [&](CapturePass& pass) {
        return pass.store_jpeg(jpeg, static_cast<std::int32_t>(mill), delta, local);
    });
}

void CaptureSession::hold() {
    capture_.locked([&] { storing_ = nullptr; });
}

void CaptureSession::begin(std::uint32_t from_mill) {
    if (pass_) {
        // A capture whose end was skipped goes on with the frames from here.
        capture_.locked([&] {
            storing_ = pass_.get();
            from_mill_ = from_mill;
        });
        return;
    }
    const std::string path = recording_.File_name();
    const Cls_XML_header& header = recording_.xml_header();
    const std::int32_t counted = header.G_Frames_no() > 0 ? header.G_Frames_no() : 0;
    // A recording that holds frames has its record size; every later frame must fit it.
    const std::int32_t fixed = counted > 0 ? header.RGB_Sample_Size() - px3::kRecordOverhead : 0;
    if (spool_ && spool_->recording != path) {
        // An earlier heat's frames that its recording did not take wait for their own recording.
        held_.push_back(std::move(spool_));
    }
    if (!spool_) {
        SpoolHead head;
        head.width = recording_.Cropped_X();
        head.height = recording_.Cropped_Y();
        head.start_quality = recording_.start_quality();
        head.data_size = fixed;
        head.base_frames = counted;
        auto held = std::make_unique<Held>();
        held->recording = path;
        try {
            held->spool = std::make_unique<SpoolWriter>(spool_path(path), head);
        } catch (const VeltroError& e) {
            // A full disk, a read-only folder: the heat is filmed all the same, into memory.
            held->spool = SpoolWriter::in_memory(spool_path(path), head, e.description());
            notice_ = "The capture's frames cannot be written beside the recording (" + e.description() +
                      "). They are kept in memory and go into the recording when capture ends.";
        }
        spool_ = std::move(held);
    }
    CapturePassOptions options = pass_options({});
    options.width = recording_.Cropped_X();
    options.height = recording_.Cropped_Y();
    options.start_quality = recording_.start_quality();
    options.fixed_data_size = fixed;
    options.max_frames = px3::kMaxFrames - counted - spool_->spool->count();
    auto pass = std::make_unique<CapturePass>(options, *spool_->spool, clock_);
    const std::uint32_t keep_from = from_mill - static_cast<std::uint32_t>(keep_before_edge_ms_);
    capture_.locked([&] {
        // The pictures after the edge that came before the window got round to it are in the ring.
        if (preroll_) {
            preroll_->drain();
            for (CompressedFrame& f : ring_->take_from(keep_from)) {
                if (pass->store_compressed(std::move(f)) != CapturePass::Stored::Kept) {
                    full_ = true;
                    break;
                }
            }
        }
        storing_ = full_ ? nullptr : pass.get();
        from_mill_ = keep_from;
    });
    pass_ = std::move(pass);
}

std::int32_t CaptureSession::end(const std::function<void(int)>& progress) {
    if (!pass_) {
        return 0;
    }
    // Wall time, also when a manual clock drives the capture.
    const auto ended = std::chrono::steady_clock::now();
    // Every frame that reached the host before now is the capture's.
    capture_.dispatch_now();
    capture_.locked([&] { storing_ = nullptr; });
    std::unique_ptr<CapturePass> pass = std::move(pass_);
    std::string failure;
    const CapturePassCounters counted = pass->counters();
    try {
        pass->finish();
    } catch (const VeltroError& e) {
        // The frames before the failure are in the spool and still go into the recording.
        failure = e.what();
    }
    pass.reset();
    if (counted.lost > 0) {
        Trace("*Capture: ", counted.lost, " frames lost for want of a buffer or memory");
    }
    const std::int32_t appended = append_spool(*spool_, progress);
    spool_.reset();
    last_end_ms_ =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - ended)
            .count();
    Trace("appended ", appended, " frames in ", last_end_ms_, " ms");
    if (!failure.empty()) {
        throw VeltroError(err::kPathFileAccess, "Capture stopped storing frames: " + failure + ". The " +
                                                    std::to_string(appended) +
                                                    " frames before it are in the recording.");
    }
    return appended;
}

std::int32_t CaptureSession::append_spool(Held& held, const std::function<void(int)>& progress) {
    SpoolWriter& spool = *held.spool;
    if (spool.count() == 0) {
        spool.remove();
        return 0;
    }
    std::int32_t appended = 0;
    if (recording_.File_name() == held.recording) {
        // Heat values set since the header was last written (the start, the measured rate) reach the
        // file first: the pass reads the header back from it.
        recording_.Close_File();
        recording_.Write_XML_header();
        const std::int32_t before = recording_.xml_header().G_Frames_no();
        recording_.append_compressed_pass(spool, progress);
        appended = recording_.xml_header().G_Frames_no() - before;
    } else {
        // The shared object shows another recording by now: the frames go into their own by its path.
        const SpoolRecovery r = append_spool_frames(held.recording, spool, spool.head());
        if (!r.settled) {
            throw VeltroError(err::kPathFileAccess, r.message);
        }
        appended = r.frames;
    }
    spool.remove();
    return appended;
}

std::int32_t CaptureSession::frames() const {
    return pass_ ? pass_->counters().stored : 0;
}

CapturePassCounters CaptureSession::counters() const {
    return pass_ ? pass_->counters() : CapturePassCounters{};
}

CaptureSession::Waiting CaptureSession::waiting() const {
    Waiting w;
    if (spool_) {
        w.in_memory = spool_->spool->in_memory_count();
        w.on_disk = spool_->spool->count() - w.in_memory;
    }
    return w;
}

std::string CaptureSession::take_notice() {
    std::string told;
    told.swap(notice_);
    return told;
}

std::string CaptureSession::settle() {
    // A heat that ends while capture is on keeps the frames captured so far.
    std::string told;
    if (pass_) {
        try {
            end({});
        } catch (const VeltroError& e) {
            told = e.what();
        }
    }
    if (spool_) {
        held_.push_back(std::move(spool_));
    }
    const std::string held = settle_held();
    return told.empty() ? held : held.empty() ? told : told + "\n" + held;
}

std::string CaptureSession::settle_held() {
    std::string told;
    for (auto it = held_.begin(); it != held_.end();) {
        Held& held = **it;
        const std::int32_t waiting = held.spool->count();
        try {
            append_spool(held, {});
            it = held_.erase(it);
            continue;
        } catch (const VeltroError& e) {
            std::string line = std::to_string(waiting) + " frames could not be added to " + held.recording +
                               ": " + e.description() + ". ";
            const std::int32_t in_memory = held.spool->in_memory_count();
            if (in_memory == 0) {
                // Whole on disk: recovery puts them into that heat, and nowhere else.
                line += "They are kept in " + held.spool->path() +
                        " and go into that recording with \"px3tool recover\" or when Veltro starts next.";
                it = held_.erase(it);
            } else {
                line += std::to_string(in_memory) +
                        " of them are in memory only (the disk did not take "
                        "them): Veltro tries again when the next heat ends and when it closes.";
                ++it;
            }
            Trace("*", line);
            told += told.empty() ? line : "\n" + line;
        }
    }
    return told;
}

std::string compression_text(const CapturePassCounters& c) {
    if (c.stored == 0) {
        return "Compression: no capture on";
    }
    std::string text =
        "Compression: " + std::to_string(c.written) + " of " + std::to_string(c.stored) + " frames spooled";
    if (c.lost > 0) {
        text += ", " + std::to_string(c.lost) + " lost for want of a buffer";
    }
    if (c.corrupt > 0) {
        text += ", " + std::to_string(c.corrupt) + " damaged by the camera left out";
    }
    return text;
}

} // namespace veltro
