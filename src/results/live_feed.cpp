#include "results/live_feed.h"

#include "results/event_results.h"

#include <algorithm>
#include <climits>
#include <map>
#include <nlohmann/json.hpp>

namespace veltro {

namespace {

constexpr std::size_t kKeptChanges = 1024;

using Json = nlohmann::ordered_json;

// Names that are not valid UTF-8 go out with the replacement character rather than failing.
std::string dump(const Json& doc) {
    return doc.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json parsed(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json::parse(text, nullptr, false);
}

// Where a recording stands in the event: its heat number (from the header, else from its name),
// then its start.
std::pair<int, std::string> heat_order(const LiveFeed::EventHeat& h, const Json& result) {
    int number = INT_MAX;
    if (result.is_object()) {
        try {
            number = std::stoi(result.value("heat", std::string()));
        } catch (const std::exception&) {
        }
    }
    if (number == INT_MAX) {
        number = heat_number_from_file_name(h.recording).value_or(INT_MAX);
    }
    return {number, result.is_object() ? result.value("start", std::string()) : std::string()};
}

} // namespace

LiveFeed::LiveFeed(const Clock& clock) : clock_(clock) {}

void LiveFeed::publish(const std::string& kind, const std::function<void(Heat&)>& change) {
    {
        const std::lock_guard lock(mutex_);
        Heat changed = heat_;
        change(changed);
        if (changed == heat_ && last_id_ != 0) {
            return;
        }
        heat_ = std::move(changed);
        if (!heat_.recording.empty() && !heat_.result_json.empty()) {
            const auto same = std::find_if(event_.begin(), event_.end(), [&](const EventHeat& e) {
                return e.recording == heat_.recording;
            });
            EventHeat& entry = same != event_.end() ? *same : event_.emplace_back();
            entry = EventHeat{heat_.recording, heat_.result_json, ""};
        }
        keep_locked(kind);
    }
    changed_.notify_all();
}

void LiveFeed::keep_locked(const std::string& kind) {
    kept_.push_back(Change{++last_id_, kind, json_locked()});
    if (kept_.size() > kKeptChanges) {
        kept_.pop_front();
    }
}

void LiveFeed::publish_card(Card card) {
    {
        const std::lock_guard lock(mutex_);
        if (card == card_) {
            return;
        }
        card_ = std::move(card);
        keep_locked("card");
    }
    changed_.notify_all();
}

std::string LiveFeed::card_json() const {
    const std::lock_guard lock(mutex_);
    Json heats = Json::array();
    for (const CardHeat& h : card_.heats) {
        heats.push_back({{"number", h.number},
                         {"name", h.name},
                         {"time", h.time},
                         {"length", h.length},
                         {"dogs", h.dogs}});
    }
    return dump({{"id", last_id_}, {"event", card_.event}, {"day", card_.day}, {"heats", heats}});
}

void LiveFeed::publish_event(std::vector<EventHeat> heats) {
    {
        const std::lock_guard lock(mutex_);
        event_ = std::move(heats);
        keep_locked("event");
    }
    changed_.notify_all();
}

std::string LiveFeed::event_json() const {
    const std::lock_guard lock(mutex_);
    if (event_cache_id_ == last_id_ && !event_cache_.empty()) {
        return event_cache_;
    }
    std::vector<std::pair<std::pair<int, std::string>, Json>> heats;
    std::map<std::string, int> events;
    for (const EventHeat& h : event_) {
        Json result = parsed(h.result_json);
        const auto order = heat_order(h, result);
        if (!result.is_object()) {
            result = {{"recording", h.recording}, {"problem", h.problem}};
        } else if (const std::string event = result.value("event", std::string()); !event.empty()) {
            ++events[event];
        }
        heats.emplace_back(order, std::move(result));
    }
    std::stable_sort(heats.begin(), heats.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // The event file names the event; without one, the name most heats carry.
    std::string event = card_.event;
    if (event.empty() && !events.empty()) {
        event = std::max_element(events.begin(), events.end(), [](const auto& a, const auto& b) {
                    return a.second < b.second;
                })->first;
    }
    Json list = Json::array();
    for (auto& h : heats) {
        list.push_back(std::move(h.second));
    }
    event_cache_ = dump({{"id", last_id_}, {"event", event}, {"heats", list}});
    event_cache_id_ = last_id_;
    return event_cache_;
}

std::string LiveFeed::heat_json() const {
    const std::lock_guard lock(mutex_);
    return json_locked();
}

std::string LiveFeed::json_locked() const {
    Json doc = {{"id", last_id_},        {"state", heat_.state},         {"event", heat_.event},
                {"heat", heat_.heat_id}, {"heat_name", heat_.heat_name}, {"dogs", heat_.dogs}};
    const bool running = heat_.start_mill && (heat_.state == "started" || heat_.state == "capturing");
    doc["running_ms"] = running ? Json(elapsed_ms(*heat_.start_mill, clock_.millis())) : Json(nullptr);
    doc["result"] = parsed(heat_.result_json);
    return dump(doc);
}

std::vector<LiveFeed::Change> LiveFeed::changes_after(std::uint64_t id, std::chrono::milliseconds wait,
                                                      const std::atomic<bool>& stop) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait, [&] { return stop || last_id_ > id; });
    std::vector<Change> after;
    if (stop) {
        return after;
    }
    for (const Change& c : kept_) {
        if (c.id > id) {
            after.push_back(c);
        }
    }
    return after;
}

std::uint64_t LiveFeed::last_id() const {
    const std::lock_guard lock(mutex_);
    return last_id_;
}

void LiveFeed::wake_all() {
    {
        // Under the lock: a reader about to wait either sees its flag set or is waiting already.
        const std::lock_guard lock(mutex_);
    }
    changed_.notify_all();
}

} // namespace veltro
