#pragma once

#include "capture/capture_component.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltro {

// One capture back end: a family of sources, such as the V4L2 devices of this machine or the demo
// race camera. `enumerate` lists the sources it finds now.
struct CaptureBackend {
    std::string name;
    std::function<std::vector<std::unique_ptr<CaptureDevice>>()> enumerate;
};

// The back ends the program is composed with. Each back end registers itself (register_*_backend);
// the composition root decides which and in what order, so the capture component names none.
class CaptureBackends {
public:
    void add(CaptureBackend backend) { list_.push_back(std::move(backend)); }
    const std::vector<CaptureBackend>& list() const { return list_; }

    // The source filmed on a first start, before the operator chose one (a friendly name);
    // empty: none.
    std::string first_start_source;

    // A fresh component over the sources of every back end, in registration order; `clock` (not
    // owned) times the frames of a source without arrival stamps.
    std::unique_ptr<CaptureComponent> make_component(const Clock& clock) const;

private:
    std::vector<CaptureBackend> list_;
};

} // namespace veltro
