#pragma once

#include "recording/compressed_frame.h"

#include <cstddef>
#include <cstdint>
#include <memory>

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
    // Raw pictures waiting for compression; the window thread waits when every one is in use.
    std::size_t raw_buffers = 8;
    // Compression threads; 0 = one less than the processor count, at least 1.
    unsigned workers = 0;
};

// The figures of a pass for the performance window and the trace; any thread may read them.
struct CapturePassCounters {
    std::int32_t stored = 0;   // frames taken by store()
    std::int32_t written = 0;  // frames handed to the sink
    std::int32_t waits = 0;    // stores that found every raw buffer in use and waited for one
    std::int64_t wait_us = 0;  // the window thread's time spent in those waits
    std::int32_t reduced = 0;  // frames stored below the start quality (later passes only)
    std::int32_t largest = 0;  // largest stream written
    std::int32_t smallest = 0; // smallest stream written (0 before the first)
};

// Compresses captured frames while capture runs. The window thread hands each stored frame to
// store(), which copies it into a free raw buffer of a fixed set (allocated once, at construction)
// and returns; worker threads compress the frames at the start quality and hand them, in capture
// order, to the sink. While frames come in, the sink is flushed at least once a second.
class CapturePass {
public:
    CapturePass(const CapturePassOptions& options, CompressedFrameSink& sink, const Clock& clock);
    ~CapturePass(); // stops the workers; frames not yet written are dropped (finish() writes them)
    CapturePass(const CapturePass&) = delete;
    CapturePass& operator=(const CapturePass&) = delete;

    enum class Stored {
        Kept, // the frame is in the pass
        Last, // kept, and the pass is full now: capture must end
        Full  // not kept: the pass was full already
    };
    // The window thread: one captured frame (`length` bytes of pixels, at least the picture's size)
    // with its three times. Never drops a frame: when every raw buffer is in use it waits for one.
    Stored store(const std::uint8_t* pixels, std::size_t length, std::int32_t capture_mill,
                 std::int32_t capture_delta, std::int32_t capture_local);

    // Capture end: waits until every stored frame is in the sink, then flushes it. Rethrows the
    // first failure of a worker or the sink (VeltroError); frames after it were not written. A second
    // call does nothing.
    void finish();

    // Has the writer look at the clock now, as it does after the frames it writes and, while written
    // frames wait for a flush, a few times a second of real time: the sink is flushed when frames were
    // appended since the last flush and a second of the clock has passed since it. Returns once the
    // writer has looked (and flushed, when it did). Not for the window thread: it waits for the sink.
    // For a clock that moves only when told, whose time passes without the pass noticing.
    void check_flush();

    CapturePassCounters counters() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace veltro
