#include "startswitch/backends/simulated/simulated_kit.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace veltro {

SimulatedKit::SimulatedKit(const Clock& clock) : clock_(clock) {
    event_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

SimulatedKit::~SimulatedKit() {
    if (event_fd_ >= 0) {
        ::close(event_fd_);
    }
}

void SimulatedKit::open() {
    attach();
}

bool SimulatedKit::input_state(std::int16_t index) const {
    return index >= 0 && index < kInputs && attached_ && inputs_[static_cast<std::size_t>(index)];
}

bool SimulatedKit::output_state(std::int16_t index) const {
    return index == 0 && output_;
}

void SimulatedKit::output_state(std::int16_t index, bool value) {
    if (index != 0 || !attached_ || output_ == value) {
        return;
    }
    output_ = value;
    if (output_changed) {
        output_changed(value);
    }
}

void SimulatedKit::attach() {
    if (attached_) {
        return;
    }
    attached_ = true;
    post({Event::Kind::Attach});
}

void SimulatedKit::detach() {
    if (!attached_) {
        return;
    }
    attached_ = false;
    if (output_) {
        output_ = false;
        if (output_changed) {
            output_changed(false);
        }
    }
    post({Event::Kind::Detach});
}

void SimulatedKit::set_input(std::int16_t index, bool state) {
    if (index < 0 || index >= kInputs) {
        return;
    }
    auto& input = inputs_[static_cast<std::size_t>(index)];
    if (input == state) {
        return;
    }
    input = state;
    // A detached board reports nothing; its switch positions are seen once it is attached again.
    if (attached_) {
        post({Event::Kind::Input, index, state, clock_.millis()});
    }
}

void SimulatedKit::post(Event e) {
    queue_.push_back(e);
    if (event_fd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(event_fd_, &one, sizeof one);
    }
}

void SimulatedKit::dispatch() {
    if (event_fd_ >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto n = ::read(event_fd_, &count, sizeof count);
    }
    // Handlers may change switches (and so post) while we deliver: take one event at a time.
    while (!queue_.empty()) {
        const Event e = queue_.front();
        queue_.pop_front();
        switch (e.kind) {
        case Event::Kind::Attach:
            if (OnAttach) {
                OnAttach();
            }
            break;
        case Event::Kind::Detach:
            if (OnDetach) {
                OnDetach();
            }
            break;
        case Event::Kind::Input:
            if (OnInputChange) {
                OnInputChange(e.index, e.state, e.stamp);
            }
            break;
        }
    }
}

} // namespace veltro
