#pragma once

#include <httplib.h>

namespace veltro {

// The HTTP server of the live results, hardened for an open network on top of the library's:
// - every connection has a thread of its own (up to a cap), so a connection that says nothing holds
//   up no other;
// - a request's head (request line and headers) must arrive whole within kMaxHead bytes and the
//   read timeout before the library reads any of it: a client cannot make it keep headers without
//   end (431, or the connection closed);
// - one request per connection, so that every request passes that check;
// - the listening queue is the system's largest, not the library's 5.
class GuardedServer final : public httplib::Server {
public:
    static constexpr std::size_t kMaxHead = 8 * 1024;

    GuardedServer();
    // Call once bound, before listening starts.
    void widen_listen_queue();

private:
    bool process_and_close_socket(int sock) override;
};

} // namespace veltro
