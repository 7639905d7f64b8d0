#pragma once

#include "support/clocks.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace veltro {

class LiveFeed;

// Where the scoreboard's lines go: a UDP datagram per line, a TCP connection, or a serial port.
struct ScoreboardTarget {
    enum class Kind { Udp, Tcp, Serial };
    Kind kind = Kind::Udp;
    std::string host;   // udp, tcp: a name or an address (an IPv6 address without its brackets)
    int port = 0;       // udp, tcp: 1..65535
    std::string device; // serial
    int baud = 0;       // serial: one of the rates the serial driver knows
    // As the operator reads it: "udp 127.0.0.1:5005", "tcp [::1]:4000", "serial /dev/ttyUSB0 9600 baud".
    std::string text() const;
};

// Reads "udp:HOST:PORT", "tcp:HOST:PORT" or "serial:DEVICE:BAUD" (HOST may be "[IPv6 address]").
// Nothing, with `error` saying what is wrong, for any other text.
std::optional<ScoreboardTarget> parse_scoreboard_target(std::string_view text, std::string& error);

// The text of each kind of message, with {placeholders}. Every kind knows {event}, {heat} (its id)
// and {heat_name}; besides,
//   running: {time}, the time run ("m:ss.t"); sent every 100 ms while the heat runs, and once more
//            with the last time when it stops
//   result:  one per row of the result, when it changes: {position} {rank} {box} {dog} {time} (as
//            the results window shows it: "26,41", "DNF") {distance} {no_time} ("DNF", "DSQ", ...
//            or empty)
//   heat:    when a heat is initiated: {dog1} .. {dog6}
//   clear:   when the heat is aborted
// A placeholder the kind does not know is left as written. Values lose their control characters,
// so a name cannot break a line.
struct ScoreboardTemplates {
    std::string running = "Heat {heat} {time}\r\n";
    std::string result = "{position} {box} {dog} {time}\r\n";
    std::string heat = "Heat {heat} {heat_name}: 1 {dog1} 2 {dog2} 3 {dog3} 4 {dog4} 5 {dog5} 6 {dog6}\r\n";
    std::string clear = "\r\n";
};

// The templates as the settings give them (keys::scoreboard_running ...): a value that is not set
// keeps the built-in template, a set one has its escapes decoded.
ScoreboardTemplates scoreboard_templates_from_settings();

// "\r", "\n", "\t", "\\", "\e" and "\xHH" decoded; any other backslash stays as written.
std::string decode_escapes(std::string_view text);
// `text` with each {name} found in `values` replaced by its value.
std::string fill_template(std::string_view text,
                          const std::map<std::string, std::string, std::less<>>& values);
// A running time as the scoreboard shows it: "m:ss.t" (tenths cut, not rounded), "0:00.0" below 0.
std::string running_time_text(std::int64_t ms);

// Sends the heat of a live feed to a scoreboard as lines of text, on a thread of its own. The window
// only publishes to the feed; nothing here ever touches the capture.
//
// Nothing waits for the scoreboard: a line that cannot go out at once waits in a small queue
// (kMaxQueued bytes; when that is full the oldest waiting lines make room) and lines that cannot go
// out at all are dropped and counted. A TCP connection that fails or closes is tried again, and a
// serial port that is gone is opened again, kRetryMs later; when it is back, it gets the lines that
// describe the present heat (the heat's dogs, or its result) again.
class ScoreboardOutput {
public:
    static constexpr std::uint32_t kTickMs = 100;
    static constexpr std::uint32_t kRetryMs = 2000;
    static constexpr std::size_t kMaxQueued = 16 * 1024;

    struct Counts {
        std::uint64_t sent = 0;    // written to the socket or the port in full
        std::uint64_t dropped = 0; // never written, or cut short by a closing connection
    };

    // Starts at once. `clock` paces the running time and the retries: the clock the feed runs on.
    ScoreboardOutput(LiveFeed& feed, ScoreboardTarget target, ScoreboardTemplates templates,
                     const Clock& clock = system_clock());
    ~ScoreboardOutput();
    ScoreboardOutput(const ScoreboardOutput&) = delete;
    ScoreboardOutput& operator=(const ScoreboardOutput&) = delete;

    // Ends the thread at once; lines still waiting in the queue are let go. The destructor does it
    // too. (A host name given for the target is looked up on the thread: a name server that does not
    // answer holds it, and a stop, for the resolver's timeout. An address needs no lookup.)
    void stop();

    // For the window's status bar, from any thread: "Scoreboard: udp 127.0.0.1:5005, 1234 lines sent",
    // "Scoreboard: tcp 10.0.0.5:4000 not reachable (Connection refused)", ...
    std::string status() const;
    Counts counts() const;
    // Whether lines can go out now: the socket is there, the connection made, the port open.
    bool connected() const;

private:
    enum class State { Connecting, Up, Down };

    void run();
    // Takes the link's state as the status shows it, and traces a change.
    void set_state(State state, const std::string& problem);
    std::string state_text_locked() const;

    LiveFeed& feed_;
    const ScoreboardTarget target_;
    const ScoreboardTemplates templates_;
    const Clock& clock_;

    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> dropped_{0};
    mutable std::mutex mutex_;
    State state_ = State::Connecting;
    std::string problem_; // why no line can go out: "not reachable (Connection refused)"
    std::thread thread_;
};

} // namespace veltro
