#pragma once

#include "recording/compressed_frame.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace veltro {

// The last few seconds of compressed pictures while no capture is on: a capture that begins at a
// trigger's edge takes from here the pictures that came after the edge but before the window got
// round to the trigger (or, when the operator wants it, those before the edge too).
class PrerollRing final : public CompressedFrameSink {
public:
    explicit PrerollRing(std::int32_t length_ms) : length_ms_(length_ms) {}

    // Keeps the frame; frames more than the ring's length older than it go.
    void append(const CompressedFrame& frame) override;
    void flush() override {}

    // Takes out every frame at or after `from_mill` on the PC counter, oldest first.
    std::vector<CompressedFrame> take_from(std::uint32_t from_mill);
    std::size_t size() const;

private:
    const std::int32_t length_ms_;
    mutable std::mutex mutex_;
    std::deque<CompressedFrame> frames_;
};

} // namespace veltro
