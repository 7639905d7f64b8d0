#pragma once

#include "results/scoreboard.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <sys/socket.h>

// The scoreboard output's transport, apart from what the lines say; only scoreboard.cpp uses it.
namespace veltro::scoreboard_detail {

// Whether `rate` is one of the baud rates the serial driver knows (50 .. 4000000).
bool known_baud_rate(int rate);

enum class LinkState { Connecting, Up, Down };

// The socket or port the lines go out through. Never waits: every call returns at once.
//
// A line counts in `sent` once it is written in full, in `dropped` when it never will be: no link,
// a full queue, a connection that fails with it waiting. A link that fails is opened again
// ScoreboardOutput::kRetryMs later; a UDP socket still open goes on sending meanwhile.
class Link {
public:
    Link(const ScoreboardTarget& target, const Clock& clock, std::atomic<std::uint64_t>& sent,
         std::atomic<std::uint64_t>& dropped)
        : target_(target), clock_(clock), sent_(sent), dropped_(dropped) {}
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Moves the link on: a connection being made, a retry that is due, queued lines, a peer that
    // hung up. True when the link has just come up.
    bool service();
    // Opens the socket or the port afresh (a TCP connection may be left being made).
    void open();
    // Sends `line` now, or queues it behind the lines still waiting (at most
    // ScoreboardOutput::kMaxQueued bytes); a datagram is sent or dropped at once.
    void send(const std::string& line);

    LinkState state() const { return state_; }
    // Why no line can go out: "not reachable (Connection refused)"; empty while the link is up.
    const std::string& problem() const { return problem_; }
    // Whether the link needs looking after soon: a connection being made, a retry, queued lines.
    bool busy() const { return state_ != LinkState::Up || !queue_.empty(); }

private:
    void close_fd();
    void up();
    void fail(const std::string& problem);
    void open_socket();
    void finish_connect();
    void open_serial();
    void send_datagram(const std::string& line);
    void flush();
    void read_and_discard();

    const ScoreboardTarget& target_;
    const Clock& clock_;
    std::atomic<std::uint64_t>& sent_;
    std::atomic<std::uint64_t>& dropped_;
    int fd_ = -1;
    LinkState state_ = LinkState::Connecting;
    bool came_up_ = false; // opened or connected, and not yet told
    std::string problem_;
    std::uint32_t since_ = 0; // when the connection began, or when the link failed
    std::size_t attempt_ = 0;
    sockaddr_storage address_{};
    socklen_t address_length_ = 0;
    std::deque<std::string> queue_;
    std::size_t queued_bytes_ = 0;
    std::size_t offset_ = 0; // of the front line, written so far
};

} // namespace veltro::scoreboard_detail
