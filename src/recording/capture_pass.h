#pragma once

#include "picture/jpeg_band.h"
#include "recording/compressed_frame.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace veltro {

class Clock;

// What a capture pass is given when capture goes on.
struct CapturePassOptions {
    std::int32_t width = 0; // the cropped picture: bottom-up BGR rows of bytes_per_scan_line(width)
    std::int32_t height = 0;
    std::int16_t start_quality = 80;
    // D of a recording that already holds frames: a frame whose stream is larger is compressed again
    // at lower qualities while its raw picture is still at hand. 0 in a first pass (no limit).
    std::int32_t fixed_data_size = 0;
    // The frames this pass may take: the recording's maximum less the frames it holds.
    std::int32_t max_frames = 32767;
    // Raw pictures made ready at construction. More are made when every one is in use (the workers
    // fall behind for a moment), up to max_raw_bytes of them in all; a frame that finds even those in
    // use is lost and counted, never waited for.
    std::size_t raw_buffers = 8;
    std::size_t max_raw_bytes = std::size_t{512} << 20;
    // Compressed frames waiting for a slow sink are kept in memory up to this many bytes; a frame
    // beyond it is lost and counted. The capture thread never waits for the disk.
    std::size_t max_waiting_bytes = std::size_t{1} << 30;
    // Compression threads; 0 = one less than the processor count, at least 1.
    unsigned workers = 0;
    // Called on a worker thread, outside the pass's lock, for each JPEG frame (store_jpeg) whose
    // window does not decode, with its capture mill and what was wrong: the frame is left out.
    std::function<void(std::int32_t, const std::string&)> corrupt_frame;
};

// The figures of a pass for the performance window and the trace; any thread may read them.
struct CapturePassCounters {
    std::int32_t stored = 0;      // frames taken, less the JPEG frames left out as corrupt
    std::int32_t written = 0;     // frames handed to the sink
    std::int32_t lost = 0;        // frames not kept: no raw buffer or no memory left for them
    std::int32_t raw_buffers = 0; // raw buffers made so far
    std::int64_t waiting_max = 0; // most bytes of compressed frames that waited for the sink at once
    std::int32_t reduced = 0;     // frames stored below the start quality (later passes only)
    std::int32_t largest = 0;     // largest stream written
    std::int32_t smallest = 0;    // smallest stream written (0 before the first)
    std::int32_t corrupt = 0;     // JPEG frames left out because their window did not decode
};

// Compresses captured frames while capture runs. The capture thread hands each frame to store(),
// which copies it into a free raw buffer and returns at once; worker threads compress the frames and
// give the raw buffers back as soon as they are compressed; one writer thread hands the streams to
// the sink in capture order. The sink's writes and flushes (at least once a second while frames come)
// run on the writer thread only, so a slow disk makes frames wait in memory, never the capture thread.
class CapturePass {
public:
    CapturePass(const CapturePassOptions& options, CompressedFrameSink& sink, const Clock& clock);
    ~CapturePass(); // stops the workers; frames not yet written are dropped (finish() writes them)
    CapturePass(const CapturePass&) = delete;
    CapturePass& operator=(const CapturePass&) = delete;

    enum class Stored {
        Kept, // the frame is in the pass
        Last, // kept, and the pass is full now: capture must end
        Full, // not kept: the pass was full already
        Lost  // not kept: no raw buffer or memory was left for it (counted in `lost`)
    };
    // One captured frame (`length` bytes of pixels, at least the picture's size) with its three times.
    Stored store(const std::uint8_t* pixels, std::size_t length, std::int32_t capture_mill,
                 std::int32_t capture_delta, std::int32_t capture_local);
    // One frame as an MJPEG camera sent it, whose window (of the pass's picture size) is the picture:
    // the stream is copied as it is, and a worker decodes the window before compressing it, so the
    // capture thread pays for a copy only. A frame whose window does not decode is left out, counted
    // in `corrupt` and told to CapturePassOptions::corrupt_frame.
    Stored store_jpeg(const JpegWindowFrame& frame, std::int32_t capture_mill, std::int32_t capture_delta,
                      std::int32_t capture_local);
    // A frame compressed before the pass began (the pre-roll), in its place in capture order.
    Stored store_compressed(CompressedFrame frame);

    // Returns once every frame stored so far has been handed to the sink (or skipped after a failure).
    void drain();

    // Capture end: waits until every stored frame is in the sink, then flushes it. Rethrows the
    // first failure of a worker or the sink (VeltroError); frames after it were not written. A second
    // call does nothing.
    void finish();

    // Has the writer look at the clock now, as it does after the frames it writes and, while written
    // frames wait for a flush, a few times a second of real time: the sink is flushed when frames were
    // appended since the last flush and a second of the clock has passed since it. Returns once the
    // writer has looked (and flushed, when it did). For a clock that moves only when told.
    void check_flush();

    CapturePassCounters counters() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace veltro
