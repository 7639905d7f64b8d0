#pragma once

#include "results/live_feed.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace veltro {

// The live results on the track's network: the heat page for phones ("/"), the event's results so far
// ("/event"), the speaker's page with the next heats ("/speaker"), big type for a TV ("/board"); as
// JSON the heat ("/api/heat"), the event ("/api/event") and the race card ("/api/card"); and a
// Server-Sent Events stream of the changes ("/api/stream", resumed from Last-Event-ID). Read-only:
// every method but GET and HEAD gets 405, nothing is served from disk. With a token, the officials'
// page and the card need "?token=..." (403 without). It runs on threads of its own and only reads
// the feed.
class LiveServer {
public:
    // At most this many event streams at once; one more gets 503 and the others go on.
    static constexpr int kMaxStreams = 512;

    explicit LiveServer(LiveFeed& feed);
    ~LiveServer();
    LiveServer(const LiveServer&) = delete;
    LiveServer& operator=(const LiveServer&) = delete;

    // Listens on `host` ("0.0.0.0" every interface, "127.0.0.1" this machine only) and `port` (0:
    // any free one). False with `error` when the address cannot be had; a running server goes on.
    // `token`: what the officials' pages ask for; "" for none.
    bool start(const std::string& host, int port, std::string& error, const std::string& token = "");
    // The port listened on; 0 while stopped.
    int port() const { return port_; }
    // Closes every connection and stops; the streams end.
    void stop();

    // The page at `path` ("/", "/event", "/speaker", "/board"), whole: no outside resource; null for
    // any other path.
    static const std::string* page(const std::string& path);

private:
    void add_routes();

    LiveFeed& feed_;
    std::unique_ptr<httplib::Server> server_;
    std::thread listener_;
    std::atomic<int> streams_{0};
    std::atomic<bool> stopping_{false};
    int port_ = 0;
    std::string token_;
};

} // namespace veltro
