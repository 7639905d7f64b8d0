#include "recording/preroll_ring.h"

#include "support/clocks.h"

namespace veltro {

void PrerollRing::append(const CompressedFrame& frame) {
    std::lock_guard lock(mutex_);
    frames_.push_back(frame);
    const auto newest = static_cast<std::uint32_t>(frame.capture_mill);
    while (!frames_.empty() &&
           elapsed_ms(static_cast<std::uint32_t>(frames_.front().capture_mill), newest) > length_ms_) {
        frames_.pop_front();
    }
}

std::vector<CompressedFrame> PrerollRing::take_from(std::uint32_t from_mill) {
    std::lock_guard lock(mutex_);
    std::vector<CompressedFrame> taken;
    for (CompressedFrame& f : frames_) {
        if (elapsed_ms(from_mill, static_cast<std::uint32_t>(f.capture_mill)) >= 0) {
            taken.push_back(std::move(f));
        }
    }
    frames_.clear();
    return taken;
}

std::size_t PrerollRing::size() const {
    std::lock_guard lock(mutex_);
    return frames_.size();
}

} // namespace veltro
