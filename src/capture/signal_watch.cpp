#include "capture/signal_watch.h"

#include "capture/capture_trace.h"
#include "support/event_log.h"

#include <exception>
#include <utility>

namespace veltro {

SignalWatch::SignalWatch(const Clock& clock, std::function<void(const std::string&)> log)
    : clock_(clock), log_(std::move(log)) {}

void SignalWatch::log(const std::string& line) const {
    capture_trace("*" + line);
    try {
        if (log_) {
            log_(line);
        } else {
            Log_Event(line);
        }
    } catch (const std::exception&) {
        // A log that cannot be written must not stop the pictures; the trace line has said it.
    }
}

void SignalWatch::started(const std::string& source) {
    source_ = source;
    state_ = State::Waiting;
    since_ = clock_.millis();
    had_picture_ = false;
    told_ = false;
}

void SignalWatch::stopped() {
    state_ = State::Off;
    told_ = false;
}

void SignalWatch::frame() {
    const std::uint32_t now = clock_.millis();
    if (told_) {
        log("The capture device is back: " + source_ + " delivers pictures again");
        told_ = false;
    } else if (state_ == State::NoSignal) {
        const std::uint32_t from = had_picture_ ? last_picture_ : since_;
        log("Signal back from " + source_ + " after " + std::to_string(elapsed_ms(from, now)) +
            " ms without pictures");
    }
    if (state_ != State::Off) {
        state_ = State::Live;
    }
    last_picture_ = now;
    had_picture_ = true;
}

bool SignalWatch::lost(const std::string& reason) {
    if (state_ == State::Off) {
        return false;
    }
    state_ = State::Lost;
    last_try_ = clock_.millis();
    if (told_) {
        capture_trace("*Capture device lost again before a picture: " + reason);
        return false;
    }
    told_ = true;
    log("The capture device stopped: " + reason);
    return true;
}

void SignalWatch::reopened() {
    if (state_ != State::Lost) {
        return;
    }
    capture_trace("*Capture device " + source_ + " opened again");
    state_ = State::Waiting;
    since_ = clock_.millis();
    had_picture_ = false;
}

SignalWatch::State SignalWatch::check() {
    const std::uint32_t now = clock_.millis();
    if (state_ == State::Waiting && elapsed_ms(since_, now) >= kFirstPictureMs) {
        state_ = State::NoSignal;
        log("No signal from " + source_);
    } else if (state_ == State::Live && elapsed_ms(last_picture_, now) >= kNoSignalMs) {
        state_ = State::NoSignal;
        log("No signal from " + source_);
    }
    return state_;
}

bool SignalWatch::reopen_due() {
    const std::uint32_t now = clock_.millis();
    if (state_ != State::Lost || elapsed_ms(last_try_, now) < kReopenEveryMs) {
        return false;
    }
    last_try_ = now;
    return true;
}

std::string SignalWatch::overlay_text() const {
    switch (state_) {
    case State::Waiting:
        // Opened again after a loss, the last picture is still on show until a new one comes.
        return told_ ? "No signal" : "";
    case State::NoSignal:
        return "No signal";
    case State::Lost:
        return "Capture device lost\nWaiting for it to come back";
    default:
        return {};
    }
}

std::string source_lost_text(const std::string& reason, bool capturing) {
    return "The capture device stopped: " + reason + "." +
           (capturing ? " Capture has ended; every frame stored up to here is kept." : "") +
           " The device is opened again as soon as it is back.";
}

} // namespace veltro
