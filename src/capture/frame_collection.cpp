#include "capture/frame_collection.h"

#include "support/veltro_error.h"

namespace veltro {

FrameCollection& frame_collection() {
    static FrameCollection c;
    return c;
}

void FrameCollection::add(std::unique_ptr<CVideobuff_RGB> frame) {
    items_.push_back(std::move(frame));
}

void FrameCollection::replace(std::int32_t index, std::unique_ptr<CVideobuff_RGB> frame) {
    item(index);
    items_[static_cast<std::size_t>(index - 1)] = std::move(frame);
}

CVideobuff_RGB& FrameCollection::item(std::int32_t index) {
    if (index < 1 || index > count()) {
        throw VeltroError(err::kSubscriptOutOfRange, "Subscript out of range");
    }
    return *items_[static_cast<std::size_t>(index - 1)];
}

} // namespace veltro
