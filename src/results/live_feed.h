#pragma once

#include "support/clocks.h"

#include <array>
#include <atomic>
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
        // The recording's file name (no folder) once the heat is under review: its result joins the
        // event's results under that name.
        std::string recording;
        friend bool operator==(const Heat&, const Heat&) = default;
    };
    // The event's race card as the event file holds it: the heats with a name or a dog.
    struct CardHeat {
        int number = 0;
        std::string name, time, length;
        std::array<std::string, 6> dogs;
        friend bool operator==(const CardHeat&, const CardHeat&) = default;
    };
    struct Card {
        std::string event, day;
        std::vector<CardHeat> heats;
        friend bool operator==(const Card&, const Card&) = default;
    };
    // One recording of the event's folder: its result as px3tool gives it, or why it cannot be read.
    struct EventHeat {
        std::string recording;
        std::string result_json;
        std::string problem;
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

    // A new race card (the event file was opened or changed), told as a change "card".
    void publish_card(Card card);
    // The race card as JSON: the event, its day and the heats in order.
    std::string card_json() const;
    // The event's results read from its folder, replacing any before, told as a change "event". A heat
    // under review replaces its recording's entry with every change of its result.
    void publish_event(std::vector<EventHeat> heats);
    // The event's results so far as JSON: every recording in heat order, as /api/event gives them.
    std::string event_json() const;
    // The changes after `id` that are still kept (the latest 1,024), oldest first; waits up to `wait`
    // for one when there is none yet. Empty after the wait, or as soon as `stop` is set (a reader
    // that stops sets its flag, then calls wake_all).
    std::vector<Change> changes_after(std::uint64_t id, std::chrono::milliseconds wait,
                                      const std::atomic<bool>& stop) const;
    std::uint64_t last_id() const;
    // Every reader waiting in changes_after looks at its stop flag now.
    void wake_all();

private:
    std::string json_locked() const;
    // Keeps a change of `kind` (the lock held).
    void keep_locked(const std::string& kind);

    const Clock& clock_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Heat heat_;
    Card card_;
    std::vector<EventHeat> event_;
    // event_json() made once per change, on the first request after it
    mutable std::string event_cache_;
    mutable std::uint64_t event_cache_id_ = 0;
    std::deque<Change> kept_;
    std::uint64_t last_id_ = 0;
};

} // namespace veltro
