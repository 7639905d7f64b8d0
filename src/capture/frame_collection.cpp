#include "capture/frame_collection.h"

#include "support/veltro_error.h"

namespace veltro {

FrameCollection& frame_collection() {
    static FrameCollection c;
    return c;
}

void FrameCollection::Add(std::unique_ptr<CVideobuff_RGB> frame) {
    items_.push_back(std::move(frame));
}

void FrameCollection::Replace(std::int32_t index, std::unique_ptr<CVideobuff_RGB> frame) {
    Item(index);
    items_[static_cast<std::size_t>(index - 1)] = std::move(frame);
}

CVideobuff_RGB& FrameCollection::Item(std::int32_t index) {
    if (index < 1 || index > Count()) {
        throw VeltroError(err::SubscriptOutOfRange, "Subscript out of range");
    }
    return *items_[static_cast<std::size_t>(index - 1)];
}

} // namespace veltro
