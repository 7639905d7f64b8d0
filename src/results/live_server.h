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

// The live results on the track's network: the heat page for phones ("/"), the heat as JSON
// ("/api/heat") and a Server-Sent Events stream of its changes ("/api/stream", resumed from
// Last-Event-ID). Read-only: every method but GET and HEAD gets 405, nothing is served from disk.
// It runs on threads of its own and only reads the feed.
class LiveServer {
public:
    // At most this many event streams at once; one more gets 503 and the others go on.
    static constexpr int kMaxStreams = 48;

    explicit LiveServer(LiveFeed& feed);
    ~LiveServer();
    LiveServer(const LiveServer&) = delete;
    LiveServer& operator=(const LiveServer&) = delete;

    // Listens on `host` ("0.0.0.0" every interface, "127.0.0.1" this machine only) and `port` (0:
    // any free one). False with `error` when the address cannot be had; a running server goes on.
    bool start(const std::string& host, int port, std::string& error);
    // The port listened on; 0 while stopped.
    int port() const { return port_; }
    // Closes every connection and stops; the streams end.
    void stop();

    // The heat page, whole: no outside resource.
    static const char* page();

private:
    void add_routes();

    LiveFeed& feed_;
    std::unique_ptr<httplib::Server> server_;
    std::thread listener_;
    std::atomic<int> streams_{0};
    std::atomic<bool> stopping_{false};
    int port_ = 0;
};

} // namespace veltro
