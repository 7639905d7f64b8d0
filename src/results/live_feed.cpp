#include "results/live_feed.h"

#include <nlohmann/json.hpp>

namespace veltro {

namespace {

constexpr std::size_t kKeptChanges = 1024;

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
        kept_.push_back(Change{++last_id_, kind, json_locked()});
        if (kept_.size() > kKeptChanges) {
            kept_.pop_front();
        }
    }
    changed_.notify_all();
}

std::string LiveFeed::heat_json() const {
    const std::lock_guard lock(mutex_);
    return json_locked();
}

std::string LiveFeed::json_locked() const {
    nlohmann::ordered_json doc = {
        {"id", last_id_},        {"state", heat_.state},         {"event", heat_.event},
        {"heat", heat_.heat_id}, {"heat_name", heat_.heat_name}, {"dogs", heat_.dogs}};
    const bool running = heat_.start_mill && (heat_.state == "started" || heat_.state == "capturing");
    doc["running_ms"] = running ? nlohmann::ordered_json(elapsed_ms(*heat_.start_mill, clock_.millis()))
                                : nlohmann::ordered_json(nullptr);
    doc["result"] = heat_.result_json.empty()
                        ? nlohmann::ordered_json(nullptr)
                        : nlohmann::ordered_json::parse(heat_.result_json, nullptr, false);
    // Names that are not valid UTF-8 go out with the replacement character rather than failing.
    return doc.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::vector<LiveFeed::Change> LiveFeed::changes_after(std::uint64_t id,
                                                      std::chrono::milliseconds wait) const {
    std::unique_lock lock(mutex_);
    const std::uint64_t wakes = wakes_;
    changed_.wait_for(lock, wait, [&] { return wakes_ != wakes || last_id_ > id; });
    std::vector<Change> after;
    if (wakes_ != wakes) {
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
        const std::lock_guard lock(mutex_);
        ++wakes_;
    }
    changed_.notify_all();
}

} // namespace veltro
