#pragma once

#include "support/clocks.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// The heat as the track's displays see it: what the window publishes, what the live results server
// hands out. The window thread publishes (a lock held for microseconds, never a wait); the server's
// threads read and wait for changes. Nothing here touches the capture.
class LiveFeed {
public:
    struct Heat {
        // "idle", "initiated", "started", "capturing", "finished", "aborted" or "reviewing"
        std::string state = "idle";
        std::string event;
        std::string heat_id;
        std::string heat_name;
        std::array<std::string, 6> dogs;
        // The start edge on the PC millisecond counter; none before the start.
        std::optional<std::uint32_t> start_mill;
        // The result as `px3tool results --format json` gives it; "" before the first time.
        std::string result_json;
        friend bool operator==(const Heat&, const Heat&) = default;
    };
    // One change, as the event stream sends it: the heat as it stood right after the change.
    struct Change {
        std::uint64_t id = 0;
        std::string kind;
        std::string heat_json;
    };

    // `clock` (not owned) runs the heat clock: the PC counter the start stamps are on.
    explicit LiveFeed(const Clock& clock);

    // Changes the heat by `change` and tells the readers, as a change of `kind` ("started",
    // "capture", "result", ...); a change that leaves the heat as it was is no change.
    void publish(const std::string& kind, const std::function<void(Heat&)>& change);

    // The heat now, as JSON: its values, the time run since the start ("running_ms", none before
    // the start or after the finish) and the id of the last change.
    std::string heat_json() const;
    // The changes after `id` that are still kept (the latest 1,024), oldest first; waits up to `wait`
    // for one when there is none yet. Empty after the wait, or when `wake_all` is called meanwhile.
    std::vector<Change> changes_after(std::uint64_t id, std::chrono::milliseconds wait) const;
    std::uint64_t last_id() const;
    // Every reader waiting in changes_after returns now (a server stops).
    void wake_all();

private:
    std::string json_locked() const;

    const Clock& clock_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Heat heat_;
    std::deque<Change> kept_;
    std::uint64_t last_id_ = 0;
    std::uint64_t wakes_ = 0;
};

} // namespace veltro
