// The live results server's handling of a request from the network: whatever bytes a client sends,
// over a real connection on the loopback address, the server answers with a status line it means
// (or closes the connection) and goes on serving. The bytes are sent whole, then the client's side is
// closed for writing, so that a head left unfinished ends at once.
#include "results/live_server.h"
#include "support/clocks.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace veltro;

// The server runs for the whole process, and so do the feed and the clock its threads read: at the
// exit, streams may still be waiting on them.
int server_port() {
    static auto* clock = new ManualClock(1000);
    static auto* feed = new LiveFeed(*clock);
    static LiveServer* server = [] {
        auto* s = new LiveServer(*feed);
        std::string error;
        if (!s->start("127.0.0.1", 0, error, "s3cret"))
            std::abort();
        feed->publish("initiated", [](LiveFeed::Heat& h) {
            h.state = "initiated";
            h.heat_id = "1";
            h.dogs = {"Rex", "", "", "", "", ""};
        });
        return s;
    }();
    return server->port();
}

// The answer's status, 0 when the connection closed without one; waits at most 2 s.
int answer_to(const std::uint8_t* data, std::size_t size) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(server_port()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        std::abort(); // the server no longer takes connections
    send(fd, data, size, MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    std::string text;
    char buffer[512];
    pollfd p{fd, POLLIN, 0};
    while (text.size() < 12 && poll(&p, 1, 2000) == 1) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    if (text.empty())
        return 0;
    if (text.rfind("HTTP/1.1 ", 0) != 0 || text.size() < 12)
        std::abort(); // an answer that is not HTTP
    return std::atoi(text.substr(9, 3).c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::set<int> meant = {0, 200, 206, 400, 403, 404, 405, 413, 414, 416, 431, 503};
    if (!meant.count(answer_to(data, size)))
        std::abort();
    return 0;
}
