#pragma once

#include "recording/capture_pass.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace veltro {

class Clock;
class cDIBSection;
class cls_VideoFile_handler;
class SpoolWriter;

// The frames of one heat's captures on their way into its recording. While capture is on, every
// stored frame is compressed by worker threads and written to the spool beside the recording; at
// capture end the spool's frames go into the recording in one sequential pass and the spool is
// removed. If the program dies meanwhile, the spool is there for recovery at the next start.
class CaptureSession {
public:
    CaptureSession(cls_VideoFile_handler& recording, const Clock& clock);
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Capture on, for the recording's picture size. Frames of an earlier capture of this heat whose
    // final pass failed stay in the spool, and the new frames follow them. VeltroError when the
    // spool cannot be created.
    void begin();
    bool capturing() const { return pass_ != nullptr; }

    // The window thread, once per stored frame. Last: the recording is full now, capture must end.
    CapturePass::Stored store(const cDIBSection& picture, std::int32_t capture_mill,
                              std::int32_t capture_local, std::int32_t capture_delta);

    // Capture off: every frame of the spool into the recording, which counts them in its header.
    // Returns the frames appended (0 when the capture had none). A failure (VeltroError) leaves the
    // recording as it was and the frames in the spool, for the next capture end of this heat, the
    // heat's end or the next start of the program.
    std::int32_t end(const std::function<void(int)>& progress);

    // Frames stored by the capture that is on; 0 when none is.
    std::int32_t frames() const;
    CapturePassCounters counters() const;
    // Milliseconds from the last capture end to the frames counted in the recording.
    std::int64_t last_end_ms() const { return last_end_ms_; }

    // The heat ends: frames still waiting in the spool get one more try. Returns what the operator
    // should know (empty when nothing was waiting or all went in).
    std::string settle();

private:
    std::int32_t append_spool(const std::function<void(int)>& progress);

    cls_VideoFile_handler& recording_;
    const Clock& clock_;
    std::unique_ptr<SpoolWriter> spool_;
    std::unique_ptr<CapturePass> pass_;
    std::int64_t last_end_ms_ = 0;
};

// The performance window's line on the compression of the capture that is on: frames compressed and
// spooled of those stored, and how often the window thread had to wait for a free raw buffer.
std::string Compression_Text(const CapturePassCounters& counters);

} // namespace veltro
