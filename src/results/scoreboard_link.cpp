#include "results/scoreboard_link.h"

#include "support/clocks.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace veltro::scoreboard_detail {

namespace {

struct Baud {
    int rate;
    speed_t speed;
};
constexpr std::array kBauds{
    Baud{50, B50},           Baud{75, B75},           Baud{110, B110},         Baud{134, B134},
    Baud{150, B150},         Baud{200, B200},         Baud{300, B300},         Baud{600, B600},
    Baud{1200, B1200},       Baud{1800, B1800},       Baud{2400, B2400},       Baud{4800, B4800},
    Baud{9600, B9600},       Baud{19200, B19200},     Baud{38400, B38400},     Baud{57600, B57600},
    Baud{115200, B115200},   Baud{230400, B230400},   Baud{460800, B460800},   Baud{500000, B500000},
    Baud{576000, B576000},   Baud{921600, B921600},   Baud{1000000, B1000000}, Baud{1152000, B1152000},
    Baud{1500000, B1500000}, Baud{2000000, B2000000}, Baud{2500000, B2500000}, Baud{3000000, B3000000},
    Baud{3500000, B3500000}, Baud{4000000, B4000000}};

std::optional<speed_t> baud_speed(int rate) {
    for (const Baud& b : kBauds) {
        if (b.rate == rate) {
            return b.speed;
        }
    }
    return std::nullopt;
}

} // namespace

bool known_baud_rate(int rate) {
    return baud_speed(rate).has_value();
}

Link::~Link() {
    close_fd();
}

bool Link::service() {
    switch (state_) {
    case LinkState::Down:
        if (elapsed_ms(since_, clock_.millis()) >= static_cast<std::int32_t>(ScoreboardOutput::kRetryMs)) {
            open();
        }
        break;
    case LinkState::Connecting:
        finish_connect();
        break;
    case LinkState::Up:
        break;
    }
    if (state_ == LinkState::Up && target_.kind != ScoreboardTarget::Kind::Udp) {
        read_and_discard();
        flush();
    }
    return std::exchange(came_up_, false) && state_ == LinkState::Up;
}

void Link::open() {
    close_fd();
    since_ = clock_.millis();
    if (target_.kind == ScoreboardTarget::Kind::Serial) {
        open_serial();
    } else {
        open_socket();
    }
}

void Link::send(const std::string& line) {
    if (state_ != LinkState::Up && !(target_.kind == ScoreboardTarget::Kind::Udp && fd_ >= 0)) {
        ++dropped_;
        return;
    }
    if (target_.kind == ScoreboardTarget::Kind::Udp) {
        send_datagram(line);
        return;
    }
    if (line.size() > ScoreboardOutput::kMaxQueued) {
        ++dropped_;
        return;
    }
    // The newest lines matter most to a board: the oldest waiting ones make room, but a line
    // partly written already must be finished, or the next would be garbled.
    while (queued_bytes_ + line.size() > ScoreboardOutput::kMaxQueued) {
        const std::size_t oldest = offset_ > 0 ? 1 : 0;
        if (oldest >= queue_.size()) {
            ++dropped_;
            return;
        }
        queued_bytes_ -= queue_[oldest].size();
        queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(oldest));
        ++dropped_;
    }
    queue_.push_back(line);
    queued_bytes_ += line.size();
    flush();
}

void Link::close_fd() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void Link::up() {
    state_ = LinkState::Up;
    came_up_ = true;
    problem_.clear();
}

// Closes the link, drops what waits, and tries again kRetryMs from now.
void Link::fail(const std::string& problem) {
    close_fd();
    dropped_ += queue_.size();
    queue_.clear();
    queued_bytes_ = 0;
    offset_ = 0;
    state_ = LinkState::Down;
    problem_ = problem;
    since_ = clock_.millis();
}

void Link::open_socket() {
    const bool udp = target_.kind == ScoreboardTarget::Kind::Udp;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = udp ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    // A name is looked up here, on the output's thread: a name server that does not answer holds it
    // (and a stop) for the resolver's timeout. An address, the usual target, needs no lookup.
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(target_.host.c_str(), std::to_string(target_.port).c_str(), &hints, &found);
    if (rc != 0 || found == nullptr) {
        fail("not reachable (" + std::string(rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc)) +
             ")");
        return;
    }
    // A name with several addresses ("localhost": ::1 and 127.0.0.1): each try takes the next.
    std::vector<const addrinfo*> all;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        all.push_back(a);
    }
    const addrinfo* a = all[attempt_++ % all.size()];
    std::memcpy(&address_, a->ai_addr, a->ai_addrlen);
    address_length_ = a->ai_addrlen;
    const int family = a->ai_family;
    ::freeaddrinfo(found);

    fd_ = ::socket(family, hints.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        fail("not reachable (" + std::string(std::strerror(errno)) + ")");
        return;
    }
    if (udp) {
        // Boards on a track's network often listen on its broadcast address.
        const int yes = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes);
        up();
        return;
    }
    // A board takes a few hundred bytes a second; a big buffer would only hold stale lines for a
    // peer that stopped reading.
    const int buffer = 16 * 1024;
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    const int yes = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address_), address_length_) == 0) {
        up();
    } else if (errno == EINPROGRESS) {
        state_ = LinkState::Connecting;
        problem_.clear();
    } else {
        fail("not reachable (" + std::string(std::strerror(errno)) + ")");
    }
}

void Link::finish_connect() {
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, 0) > 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        if (error == 0) {
            up();
        } else {
            fail("not reachable (" + std::string(std::strerror(error)) + ")");
        }
    } else if (elapsed_ms(since_, clock_.millis()) >= static_cast<std::int32_t>(ScoreboardOutput::kRetryMs)) {
        fail("not reachable (" + std::string(std::strerror(ETIMEDOUT)) + ")");
    }
}

void Link::open_serial() {
    fd_ = ::open(target_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        std::string why = std::strerror(error);
        if (error == EACCES) {
            why += ": the user must be in the group that owns the port, usually dialout";
        }
        fail("not available (" + why + ")");
        return;
    }
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) {
        fail(errno == ENOTTY ? "not available (not a serial port)"
                             : "not available (" + std::string(std::strerror(errno)) + ")");
        return;
    }
    // Bytes as they are (no CR added before LF), 8 bits, no flow control that could hold the
    // port, and no modem lines needed to send.
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    const speed_t speed = baud_speed(target_.baud).value_or(B9600);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        fail("not available (" + std::string(std::strerror(errno)) + ")");
        return;
    }
    up();
}

void Link::send_datagram(const std::string& line) {
    const ssize_t n = ::sendto(fd_, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&address_), address_length_);
    if (n == static_cast<ssize_t>(line.size())) {
        ++sent_;
        state_ = LinkState::Up;
        problem_.clear();
        return;
    }
    ++dropped_;
    const int error = n < 0 ? errno : EMSGSIZE;
    // A full buffer passes; a network that is gone shows in the status until a line goes out.
    if (error != EAGAIN && error != EWOULDBLOCK && error != ENOBUFS && error != EINTR) {
        state_ = LinkState::Down;
        problem_ = "not reachable (" + std::string(std::strerror(error)) + ")";
        since_ = clock_.millis();
    }
}

void Link::flush() {
    while (state_ == LinkState::Up && !queue_.empty()) {
        const std::string& line = queue_.front();
        const char* data = line.data() + offset_;
        const std::size_t size = line.size() - offset_;
        const ssize_t n = target_.kind == ScoreboardTarget::Kind::Tcp ? ::send(fd_, data, size, MSG_NOSIGNAL)
                                                                      : ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                fail("lost (" + std::string(std::strerror(errno)) + ")");
            }
            return;
        }
        offset_ += static_cast<std::size_t>(n);
        if (offset_ == line.size()) {
            queued_bytes_ -= line.size();
            queue_.pop_front();
            offset_ = 0;
            ++sent_;
        }
    }
}

// What a board sends back is not read by anyone; reading it shows a peer that went away.
void Link::read_and_discard() {
    const bool tcp = target_.kind == ScoreboardTarget::Kind::Tcp;
    pollfd p{fd_, static_cast<short>(POLLIN | (tcp ? POLLRDHUP : 0)), 0};
    if (::poll(&p, 1, 0) <= 0) {
        return;
    }
    char scratch[4096];
    for (int i = 0; i < 16 && (p.revents & (POLLIN | POLLRDHUP)) != 0; ++i) {
        const ssize_t n = ::read(fd_, scratch, sizeof scratch);
        if (n > 0) {
            continue;
        }
        if (n == 0 && tcp) {
            fail("lost (closed by the other end)");
            return;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            break;
        }
        if (n < 0) {
            fail("lost (" + std::string(std::strerror(errno)) + ")");
            return;
        }
        break;
    }
    if ((p.revents & (POLLHUP | POLLERR)) != 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (tcp) {
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
        }
        fail(error != 0 ? "lost (" + std::string(std::strerror(error)) + ")" : "lost (hung up)");
    }
}

} // namespace veltro::scoreboard_detail
