#include "results/live_connections.h"

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace veltro {

namespace {

// How long a client may take over its request's head, and over taking a piece of the answer.
constexpr std::chrono::seconds kTimeout{5};
// Connections served at once; more wait for one of them to end.
constexpr std::size_t kMaxConnections = 1536;

class ConnectionThreads final : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override {
        std::unique_lock lock(mutex_);
        if (running_ >= kMaxConnections) {
            waiting_.push_back(std::move(fn));
            return;
        }
        ++running_;
        lock.unlock();
        std::thread([this, first = std::move(fn)]() mutable { serve(std::move(first)); }).detach();
    }
    void shutdown() override {
        std::unique_lock lock(mutex_);
        ended_.wait(lock, [this] { return running_ == 0; });
    }

private:
    void serve(std::function<void()> fn) {
        for (;;) {
            fn();
            fn = nullptr;
            const std::lock_guard lock(mutex_);
            if (waiting_.empty()) {
                // The last one out lets shutdown() go on; nothing of this object is touched after.
                if (--running_ == 0) {
                    ended_.notify_all();
                }
                return;
            }
            fn = std::move(waiting_.front());
            waiting_.pop_front();
        }
    }

    std::mutex mutex_;
    std::condition_variable ended_;
    std::size_t running_ = 0;
    std::deque<std::function<void()>> waiting_;
};

bool wait_for(int sock, short events, std::chrono::milliseconds timeout) {
    pollfd p{sock, events, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) == 1 && (p.revents & (events | POLLHUP)) != 0;
}

std::string address_text(const sockaddr_storage& a) {
    char text[INET6_ADDRSTRLEN] = "";
    if (a.ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
    } else if (a.ss_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text, sizeof text);
    }
    return text;
}

int port_of(const sockaddr_storage& a) {
    return ntohs(a.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(a).sin6_port
                                         : reinterpret_cast<const sockaddr_in&>(a).sin_port);
}

// The connection as the library reads and writes it, each wait bounded by the timeout.
class SocketStream final : public httplib::Stream {
public:
    explicit SocketStream(int sock) : sock_(sock) {}
    bool is_readable() const override { return wait_for(sock_, POLLIN, kTimeout); }
    bool is_writable() const override { return wait_for(sock_, POLLOUT, kTimeout); }
    ssize_t read(char* ptr, std::size_t size) override {
        return is_readable() ? ::recv(sock_, ptr, size, 0) : -1;
    }
    ssize_t write(const char* ptr, std::size_t size) override {
        return is_writable() ? ::send(sock_, ptr, size, MSG_NOSIGNAL) : -1;
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        address(::getpeername, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        address(::getsockname, ip, port);
    }
    int socket() const override { return sock_; }

private:
    template <typename Get>
    void address(Get get, std::string& ip, int& port) const {
        sockaddr_storage a{};
        socklen_t length = sizeof a;
        if (get(sock_, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
            ip = address_text(a);
            port = port_of(a);
        }
    }
    int sock_;
};

enum class Head { Whole, TooBig, NotSent };

// Looks at the request's head as it arrives, without taking it from the socket: it is whole at the
// blank line. Each wait is for more than what has come so far (the socket's low-water mark), so a
// client that sends nothing more costs nothing until the deadline.
Head look_at_head(int sock) {
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    char head[GuardedServer::kMaxHead];
    std::size_t seen = 0;
    Head result = Head::NotSent;
    for (;;) {
        const int more = static_cast<int>(seen + 1);
        ::setsockopt(sock, SOL_SOCKET, SO_RCVLOWAT, &more, sizeof more);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !wait_for(sock, POLLIN, left)) {
            break;
        }
        const ssize_t n = ::recv(sock, head, sizeof head, MSG_PEEK | MSG_DONTWAIT);
        if (n <= 0 || static_cast<std::size_t>(n) <= seen) {
            break; // closed, or closing with the head unfinished
        }
        seen = static_cast<std::size_t>(n);
        const std::string_view text(head, seen);
        if (text.find("\r\n\r\n") != std::string_view::npos || text.find("\n\n") != std::string_view::npos) {
            result = Head::Whole;
            break;
        }
        if (seen == sizeof head) {
            result = Head::TooBig;
            break;
        }
    }
    const int one = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_RCVLOWAT, &one, sizeof one);
    return result;
}

} // namespace

GuardedServer::GuardedServer() {
    new_task_queue = [] { return new ConnectionThreads; };
}

void GuardedServer::widen_listen_queue() {
    ::listen(svr_sock_, SOMAXCONN);
}

bool GuardedServer::process_and_close_socket(int sock) {
    // An answer goes out in a few writes: none of them may wait for the client's delayed ack.
    const int yes = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    switch (look_at_head(sock)) {
    case Head::Whole: {
        SocketStream stream(sock);
        bool closed = false;
        process_request(stream, true, closed, {});
        break;
    }
    case Head::TooBig: {
        static constexpr char kRefusal[] = "HTTP/1.1 431 Request Header Fields Too Large\r\n"
                                           "Content-Length: 0\r\nConnection: close\r\n\r\n";
        ::send(sock, kRefusal, sizeof kRefusal - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        break;
    }
    case Head::NotSent:
        break;
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
}

} // namespace veltro
