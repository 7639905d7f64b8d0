#pragma once

#include "picture/video_buffer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace veltro {

// The process-wide ordered collection of captured frames (1-based): the capture source appends,
// the main window shows the count, the recording writer reads by position.
class FrameCollection {
public:
    std::int32_t count() const { return static_cast<std::int32_t>(items_.size()); }
    void add(std::unique_ptr<CVideobuff_RGB> frame);
    // Replaces item `index`; error 9 outside 1..Count.
    void replace(std::int32_t index, std::unique_ptr<CVideobuff_RGB> frame);
    // Error 9 "Subscript out of range" outside 1..Count.
    CVideobuff_RGB& item(std::int32_t index);
    void clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<CVideobuff_RGB>> items_;
};

FrameCollection& frame_collection();

} // namespace veltro
