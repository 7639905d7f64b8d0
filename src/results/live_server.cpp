#include "results/live_server.h"

#include "results/live_connections.h"

#include <charconv>
#include <httplib.h>
#include <openssl/crypto.h>
#include <sys/socket.h>

namespace veltro {

namespace {

// How long a stream waits for a change before it sends a comment that keeps the connection open.
constexpr std::chrono::milliseconds kKeepAlive{15000};

std::uint64_t last_event_id(const httplib::Request& req) {
    const std::string text = req.get_header_value("Last-Event-ID");
    std::uint64_t id = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    return ec == std::errc() && end == text.data() + text.size() ? id : 0;
}

std::string event_text(const LiveFeed::Change& change) {
    return "id: " + std::to_string(change.id) + "\nevent: " + change.kind + "\ndata: " + change.heat_json +
           "\n\n";
}

// The officials' pages: the speaker's card and its JSON.
bool officials_only(const std::string& path) {
    return path == "/speaker" || path == "/api/card";
}

bool token_given(const httplib::Request& req, const std::string& token) {
    const std::string given = req.get_param_value("token");
    return given.size() == token.size() && CRYPTO_memcmp(given.data(), token.data(), token.size()) == 0;
}

} // namespace

LiveServer::LiveServer(LiveFeed& feed) : feed_(feed) {}

LiveServer::~LiveServer() {
    stop();
}

bool LiveServer::start(const std::string& host, int port, std::string& error, const std::string& token) {
    if (server_) {
        error = "the live results are served already, on port " + std::to_string(port_);
        return false;
    }
    auto server = std::make_unique<GuardedServer>();
    // Nothing here takes a body.
    server->set_payload_max_length(8 * 1024);
    // The library's default also sets SO_REUSEPORT, which lets a second program share the port
    // unnoticed; a restart still finds it free at once.
    server->set_socket_options([](int sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    const int bound = port == 0                          ? server->bind_to_any_port(host)
                      : server->bind_to_port(host, port) ? port
                                                         : -1;
    if (bound <= 0) {
        error =
            "cannot listen on " + host + " port " + std::to_string(port) + " (in use, or not this machine's)";
        return false;
    }
    server->widen_listen_queue();
    server_ = std::move(server);
    stopping_ = false;
    token_ = token;
    port_ = bound;
    add_routes();
    listener_ = std::thread([this] { server_->listen_after_bind(); });
    // A stop before the listener runs would go unheard, and the listener would never end.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!server_->is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void LiveServer::stop() {
    if (!server_) {
        return;
    }
    stopping_ = true;
    feed_.wake_all();
    server_->stop();
    if (listener_.joinable()) {
        listener_.join();
    }
    server_.reset();
    port_ = 0;
}

void LiveServer::add_routes() {
    httplib::Server& s = *server_;
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (req.method != "GET" && req.method != "HEAD") {
            res.status = 405;
            res.set_header("Allow", "GET, HEAD");
            return httplib::Server::HandlerResponse::Handled;
        }
        // Nothing here takes a body: one sent anyway is refused, and the connection closed, so that
        // its bytes are never read as the next request.
        if (req.has_header("Transfer-Encoding") ||
            (req.has_header("Content-Length") && req.get_header_value("Content-Length") != "0")) {
            res.status = 413;
            res.set_header("Connection", "close");
            return httplib::Server::HandlerResponse::Handled;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Content-Type-Options", "nosniff");
        if (!token_.empty() && officials_only(req.path) && !token_given(req, token_)) {
            res.status = 403;
            res.set_content("This page is for the officials: open it with its token.\n", "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    s.Get("/|/event|/speaker|/board", [](const httplib::Request& req, httplib::Response& res) {
        res.set_header("Content-Security-Policy", "default-src 'self'; style-src 'unsafe-inline'; "
                                                  "script-src 'unsafe-inline'");
        res.set_content(*page(req.path), "text/html; charset=utf-8");
    });
    s.Get("/api/heat", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(feed_.heat_json(), "application/json");
    });
    s.Get("/api/event", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(feed_.event_json(), "application/json");
    });
    s.Get("/api/card", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(feed_.card_json(), "application/json");
    });
    s.Get("/api/stream", [this](const httplib::Request& req, httplib::Response& res) {
        if (streams_.fetch_add(1) >= kMaxStreams) {
            streams_.fetch_sub(1);
            res.status = 503;
            res.set_header("Retry-After", "10");
            return;
        }
        auto last = std::make_shared<std::uint64_t>(last_event_id(req));
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, last](std::size_t offset, httplib::DataSink& sink) {
                if (stopping_) {
                    return false;
                }
                if (offset == 0) {
                    // At once, so the client knows it is through; and how soon to come back.
                    static const std::string hello = "retry: 2000\n\n";
                    return sink.write(hello.data(), hello.size());
                }
                const std::vector<LiveFeed::Change> changes =
                    feed_.changes_after(*last, kKeepAlive, stopping_);
                if (stopping_) {
                    return false;
                }
                std::string text;
                for (const LiveFeed::Change& c : changes) {
                    text += event_text(c);
                    *last = c.id;
                }
                if (text.empty()) {
                    text = ": still here\n\n";
                }
                return sink.write(text.data(), text.size());
            },
            [this](bool) { streams_.fetch_sub(1); });
    });
}

} // namespace veltro
