#pragma once

#include "support/clocks.h"

#include <cstdint>
#include <functional>
#include <string>

namespace veltro {

// Whether the running source delivers pictures, judged on the PC counter. Frames, a lost device and
// the camera's start and stop are told as they happen; the window polls check() (a timer) and draws
// overlay_text() over the live picture. Every change of what the operator sees gets one line in the
// event log, and a lost device is due to be tried again once a second.
class SignalWatch {
public:
    // Silence that means "No signal" (a cable out, a source switched off)...
    static constexpr std::int32_t kNoSignalMs = 500;
    // ...and, as a device takes a moment to deliver after it is opened, before the first picture.
    static constexpr std::int32_t kFirstPictureMs = 2000;
    static constexpr std::int32_t kReopenEveryMs = 1000;

    enum class State {
        Off,      // the camera is stopped
        Waiting,  // started or opened again, no picture yet
        Live,     // pictures come
        NoSignal, // no picture for kNoSignalMs (kFirstPictureMs after a start)
        Lost      // the device stopped by itself; it is tried again
    };

    // `log` takes the event-log lines; none: Log_Event, whose failures are left to the trace.
    explicit SignalWatch(const Clock& clock, std::function<void(const std::string&)> log = {});

    // The camera started on `source` (its friendly name, for the log lines).
    void started(const std::string& source);
    void stopped();
    void frame();
    // The device stopped by itself for `reason`. True when the operator should be told: not when it
    // was lost again before a picture came since the last loss (a device that opens and fails at
    // once would otherwise say so every second).
    bool lost(const std::string& reason);
    // The lost device runs again: pictures are awaited as after a start.
    void reopened();

    // The state at the clock's time.
    State check();
    State state() const { return state_; }
    // True, once a second while the device is lost, when it is time to try it again.
    bool reopen_due();

    // What the live picture shows over itself; empty when nothing is to be said. A device opened again
    // says "No signal" until its first picture, as the picture on show is older than its loss.
    std::string overlay_text() const;

private:
    void log(const std::string& line) const;

    const Clock& clock_;
    std::function<void(const std::string&)> log_;
    std::string source_;
    State state_ = State::Off;
    std::uint32_t since_ = 0;        // start of the wait for the first picture
    std::uint32_t last_picture_ = 0; // the last picture, while Live or NoSignal after one
    bool had_picture_ = false;
    std::uint32_t last_try_ = 0;
    bool told_ = false; // a loss was told and no picture came since
};

// What the operator is told when the device stops by itself; `capturing`: a capture was on and has
// been ended with its frames.
std::string source_lost_text(const std::string& reason, bool capturing);

} // namespace veltro
