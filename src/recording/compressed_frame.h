#pragma once

#include <cstdint>
#include <vector>

namespace veltro {

// One captured frame, compressed, on its way into the recording: its three capture times, the
// quality it was compressed at and the JPEG stream.
struct CompressedFrame {
    std::int32_t capture_mill = 0;
    std::int32_t capture_delta = 0;
    std::int32_t capture_local = 0;
    std::int16_t quality = 0;
    std::vector<std::uint8_t> jpeg;
};

// Where a capture pass puts its compressed frames, in capture order. Called from one thread at a
// time (never the window thread's store), so implementations need no lock of their own.
class CompressedFrameSink {
public:
    virtual ~CompressedFrameSink() = default;
    // Takes frame number count() + 1. Throws VeltroError when the frame cannot be kept.
    virtual void append(const CompressedFrame& frame) = 0;
    // Makes every frame appended so far survive a power cut.
    virtual void flush() = 0;
};

// The compressed frames of one capture, read back in order for the final pass into the recording.
class CompressedFrames {
public:
    virtual ~CompressedFrames() = default;
    virtual std::int32_t count() const = 0;
    // The largest JPEG stream of all frames (0 with none).
    virtual std::int32_t largest() const = 0;
    // Frame `index` (1-based); `frame.jpeg` is reused. Throws VeltroError when it cannot be read.
    virtual void read(std::int32_t index, CompressedFrame& frame) const = 0;
};

} // namespace veltro
