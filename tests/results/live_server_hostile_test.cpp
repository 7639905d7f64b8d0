// The live results server against clients that misbehave, on the loopback address only: requests too
// big, a thousand connections that say nothing, streams that are never read. Each time the program's
// own publishing goes on and an ordinary client is served.
#include "results/live_server.h"
#include "support/clocks.h"

#include <arpa/inet.h>
#include <fstream>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace veltro {
namespace {

// A connection of our own to the server, sending what it is told to and reading what comes back.
class RawClient {
public:
    explicit RawClient(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }
    // Sends as much of `bytes` as the server takes; false once it has closed the connection.
    bool send_all(const std::string& bytes) {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }
    // The status of the answer, 0 when the server closed the connection without one (within 10 s).
    int status() {
        std::string text;
        char buffer[4096];
        pollfd p{fd_, POLLIN, 0};
        while (text.find("\r\n") == std::string::npos && poll(&p, 1, 10000) == 1) {
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(text.substr(9, 3)) : 0;
    }

private:
    int fd_;
    bool connected_ = false;
};

std::string many_headers(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "X-" + std::to_string(i) + ": " + std::string(80, 'v') + "\r\n";
    return text;
}

// The kernel's count of connections dropped because a listening queue was full.
std::uint64_t listen_overflows() {
    std::ifstream netstat("/proc/net/netstat");
    std::string names, values;
    while (std::getline(netstat, names) && std::getline(netstat, values)) {
        if (names.rfind("TcpExt:", 0) != 0)
            continue;
        std::istringstream n(names), v(values);
        for (std::string name, value; n >> name && v >> value;)
            if (name == "ListenOverflows")
                return std::stoull(value);
    }
    return 0;
}

class LiveServerHostileTest : public ::testing::Test {
protected:
    LiveServerHostileTest() {
        std::string error;
        EXPECT_TRUE(server.start("127.0.0.1", 0, error)) << error;
    }
    // An ordinary client asks for the heat and gets it, with the change published last.
    void an_ordinary_client_is_served() {
        feed.publish("result",
                     [&](LiveFeed::Heat& h) { h.heat_name = "after " + std::to_string(++changes); });
        httplib::Client client("127.0.0.1", server.port());
        client.set_connection_timeout(5, 0);
        client.set_read_timeout(5, 0);
        const auto res = client.Get("/api/heat");
        ASSERT_TRUE(res) << httplib::to_string(res.error());
        EXPECT_EQ(res->status, 200);
        EXPECT_NE(res->body.find("after " + std::to_string(changes)), std::string::npos);
    }

    ManualClock clock{1000};
    LiveFeed feed{clock};
    LiveServer server{feed};
    int changes = 0;
};

TEST_F(LiveServerHostileTest, RequestsTooBigAreRefusedAndTheOthersServed) {
    const std::string big(64 * 1024, 'a');
    const struct {
        const char* what;
        std::string request;
    } hostile[] = {
        {"a path of 64 KiB", "GET /" + big + " HTTP/1.1\r\nHost: x\r\n\r\n"},
        {"a header of 64 KiB", "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + big + "\r\n\r\n"},
        {"a body of 1 MiB", "GET /api/heat HTTP/1.1\r\nHost: x\r\nContent-Length: 1048576\r\n\r\n" + big},
        {"a chunked body without end",
         "GET /api/heat HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(16, 'f') +
             "\r\n" + big},
        {"not HTTP at all", big + "\r\n\r\n"},
        {"100,000 headers", "GET / HTTP/1.1\r\nHost: x\r\n" + many_headers(100000) + "\r\n"},
    };
    for (const auto& h : hostile) {
        RawClient raw(server.port());
        ASSERT_TRUE(raw.connected()) << h.what;
        raw.send_all(h.request);
        const int status = raw.status();
        // Refused with a 4xx, or the connection closed: never served, never a 5xx.
        EXPECT_TRUE(status == 0 || (status >= 400 && status < 500)) << h.what << ": " << status;
        an_ordinary_client_is_served();
    }
}

TEST_F(LiveServerHostileTest, AThousandSilentConnectionsAndUnreadStreamsDoNotKeepOthersWaiting) {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    // Both ends of every connection are in this process.
    const std::size_t silent = std::min<std::size_t>(1000, (files.rlim_cur - 256) / 2);

    // A crowd connecting at once finds a place in the server's queue: no connection is dropped to be
    // tried again a second later.
    const std::uint64_t overflows = listen_overflows();
    std::vector<std::unique_ptr<RawClient>> clients;
    for (std::size_t i = 0; i < silent; ++i) {
        clients.push_back(std::make_unique<RawClient>(server.port()));
        ASSERT_TRUE(clients.back()->connected()) << i;
    }
    EXPECT_EQ(listen_overflows(), overflows);
    // Streams that are asked for and never read, while big changes come.
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<RawClient>(server.port()));
        ASSERT_TRUE(clients.back()->send_all("GET /api/stream HTTP/1.1\r\nHost: x\r\n\r\n"));
    }
    for (int i = 0; i < 200; ++i)
        feed.publish("result", [&](LiveFeed::Heat& h) {
            h.result_json = "[\"" + std::string(8000, 'a' + i % 26) + "\"]";
        });
    an_ordinary_client_is_served();
    an_ordinary_client_is_served();
    clients.clear();
}

} // namespace
} // namespace veltro
