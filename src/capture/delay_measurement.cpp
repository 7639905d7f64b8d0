#include "capture/delay_measurement.h"

#include "support/clocks.h"
#include "support/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <random>

namespace veltro {

std::vector<PlannedSwitch> plan_led_switches(int flashes, double picture_period_ms, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<int> slice(static_cast<std::size_t>(flashes));
    std::iota(slice.begin(), slice.end(), 0);
    std::shuffle(slice.begin(), slice.end(), random);
    std::uniform_real_distribution<double> within(0.0, 1.0);

    std::vector<PlannedSwitch> plan{{0, false}};
    for (int i = 0; i < flashes; ++i) {
        // Each flash starts on a whole number of picture periods from the begin, plus its place in
        // the period: whatever the pictures' phase to the begin, the flashes cover the period evenly.
        const double base =
            std::ceil((kDelayLeadInMs + i * kDelayFlashMs) / picture_period_ms) * picture_period_ms;
        const double phase =
            (slice[static_cast<std::size_t>(i)] + within(random)) * picture_period_ms / flashes;
        const auto on = static_cast<std::int32_t>(std::floor(base + phase));
        plan.push_back({on, true});
        plan.push_back({on + kDelayOnMs, false});
    }
    return plan;
}

DelayResult analyse_capture_delay(std::span<const LedSwitch> switches, std::vector<LedSample> samples,
                                  double picture_period_ms, double frame_period_ms) {
    DelayResult r;
    r.switches = static_cast<int>(switches.size());
    r.planned =
        static_cast<int>(std::count_if(switches.begin(), switches.end(), [](auto s) { return s.on; }));
    if (switches.empty() || samples.size() < 2) {
        return r;
    }
    // Times in ms from the first switch, so that the counter's wrap does not matter.
    const std::uint32_t origin = switches.front().stamp;
    struct Picture {
        double at;
        double level;
    };
    std::vector<Picture> pictures;
    pictures.reserve(samples.size());
    for (const LedSample& s : samples) {
        pictures.push_back(
            {elapsed_ms(origin, s.arrival) + (s.second_field ? frame_period_ms / 2 : 0.0), s.level});
    }
    std::stable_sort(pictures.begin(), pictures.end(), [](auto a, auto b) { return a.at < b.at; });

    // The off and on levels: the LED is on for about half of the time, so the tenth darkest and tenth
    // brightest pictures show it off and on whatever the odd picture in between does.
    std::vector<double> levels;
    levels.reserve(pictures.size());
    for (const Picture& p : pictures) {
        levels.push_back(p.level);
    }
    const auto nth = [&levels](double share) {
        const auto at =
            levels.begin() + static_cast<std::ptrdiff_t>(share * static_cast<double>(levels.size() - 1));
        std::nth_element(levels.begin(), at, levels.end());
        return *at;
    };
    const double off = nth(0.1);
    const double on = nth(0.9);
    if (on - off < kMinLedContrast) {
        return r;
    }
    const double midway = (off + on) / 2;

    struct Change {
        double at;
        bool up;
    };
    std::vector<Change> changes;
    for (std::size_t i = 1; i < pictures.size(); ++i) {
        const bool up = pictures[i].level > midway;
        if (up != (pictures[i - 1].level > midway) && pictures[i].at >= 0) {
            changes.push_back({pictures[i].at, up});
        }
    }
    r.changes = static_cast<int>(changes.size());

    std::vector<double> delays;
    for (const LedSwitch& s : switches) {
        if (!s.on) {
            continue;
        }
        const double at = elapsed_ms(origin, s.stamp);
        const auto seen = std::find_if(changes.begin(), changes.end(),
                                       [at](const Change& c) { return c.up && c.at >= at; });
        if (seen != changes.end() && seen->at - at <= kMaxCaptureDelayMs) {
            delays.push_back(seen->at - at - picture_period_ms / 2);
        }
    }
    r.flashes = static_cast<int>(delays.size());
    if (delays.empty()) {
        return r;
    }
    const double n = static_cast<double>(delays.size());
    r.delay_ms = std::accumulate(delays.begin(), delays.end(), 0.0) / n;
    double squares = 0;
    for (const double d : delays) {
        squares += (d - r.delay_ms) * (d - r.delay_ms);
    }
    r.spread_ms = delays.size() > 1 ? std::sqrt(squares / (n - 1)) : 0.0;
    // An LED in the box changes it once per switch, and shows nearly every flash.
    const bool steady = 2 * r.flashes >= r.planned && r.changes <= r.switches + 2;
    r.outcome = steady ? DelayResult::Outcome::Measured : DelayResult::Outcome::Unsteady;
    return r;
}

std::string delay_result_text(const DelayResult& result) {
    char text[160];
    switch (result.outcome) {
    case DelayResult::Outcome::Measured:
        std::snprintf(text, sizeof text, "capture delay %.1f ms \u00b1 %.1f ms (%d flashes)", result.delay_ms,
                      result.spread_ms, result.flashes);
        return text;
    case DelayResult::Outcome::Unsteady:
        std::snprintf(text, sizeof text,
                      "no steady change found: the LED box followed %d of %d flashes and changed %d times "
                      "for %d switches of the LED",
                      result.flashes, result.planned, result.changes, result.switches);
        return text;
    case DelayResult::Outcome::NoChange:
        break;
    }
    return "no change found";
}

DelayMeasurement::DelayMeasurement(int flashes, double frame_period_ms, bool interlaced, std::uint32_t seed)
    : flashes_(flashes), frame_period_ms_(frame_period_ms),
      picture_period_ms_(interlaced ? frame_period_ms / 2 : frame_period_ms),
      plan_(plan_led_switches(flashes, picture_period_ms_, seed)) {}

void DelayMeasurement::begin(std::uint32_t now) {
    begin_ = now;
    made_.clear();
    samples_.clear();
}

std::uint32_t DelayMeasurement::due_at() const {
    const std::size_t i = made_.size();
    std::uint32_t at = begin_ + static_cast<std::uint32_t>(plan_[i].at);
    if (i > 0) {
        // A late switch moves the next one on, so that no flash is cut short.
        const double gap = plan_[i].at - plan_[i - 1].at - picture_period_ms_;
        const std::uint32_t earliest = made_.back().stamp + static_cast<std::uint32_t>(std::max(gap, 0.0));
        if (elapsed_ms(at, earliest) > 0) {
            at = earliest;
        }
    }
    return at;
}

std::optional<bool> DelayMeasurement::due(std::uint32_t now) const {
    if (made_.size() >= plan_.size() || elapsed_ms(due_at(), now) < 0) {
        return std::nullopt;
    }
    return plan_[made_.size()].on;
}

void DelayMeasurement::switched(bool on, std::uint32_t stamp) {
    made_.push_back({stamp, on});
}

void DelayMeasurement::add(std::span<const LedSample> samples) {
    samples_.insert(samples_.end(), samples.begin(), samples.end());
}

std::int32_t DelayMeasurement::wait_ms(std::uint32_t now) const {
    std::uint32_t until = 0;
    if (made_.size() < plan_.size()) {
        until = due_at();
    } else {
        // The last switch's pictures come up to the longest delay later, and a frame after that.
        until = made_.back().stamp +
                static_cast<std::uint32_t>(kMaxCaptureDelayMs + std::ceil(2 * frame_period_ms_));
    }
    return std::max(elapsed_ms(now, until), 0);
}

bool DelayMeasurement::finished(std::uint32_t now) const {
    return made_.size() >= plan_.size() && wait_ms(now) == 0;
}

int DelayMeasurement::flashes_made() const {
    return static_cast<int>(std::count_if(made_.begin(), made_.end(), [](auto s) { return s.on; }));
}

DelayResult DelayMeasurement::result() const {
    return analyse_capture_delay(made_, samples_, picture_period_ms_, frame_period_ms_);
}

namespace {
constexpr const char* kRecordSeparator = "; ";
} // namespace

std::string delay_record_text(const DelayRecord& record) {
    return record.date + kRecordSeparator + record.source + kRecordSeparator + record.format +
           kRecordSeparator + record.result;
}

std::optional<DelayRecord> parse_delay_record(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at = text.find(kRecordSeparator); at != std::string::npos;
         at = text.find(kRecordSeparator, from)) {
        parts.push_back(text.substr(from, at - from));
        from = at + 2;
    }
    parts.push_back(text.substr(from));
    if (parts.size() != 4 || parts[0].empty() || parts[3].empty()) {
        return std::nullopt;
    }
    return DelayRecord{parts[0], parts[1], parts[2], parts[3]};
}

void store_delay_record(const DelayRecord& record) {
    Write_Setting(keys::capture_delay, delay_record_text(record));
}

std::string stored_delay_record_for(const std::string& source, const std::string& format) {
    const std::string text = Read_Setting(keys::capture_delay);
    const std::optional<DelayRecord> record = parse_delay_record(text);
    return record && record->source == source && record->format == format ? text : std::string();
}

} // namespace veltro
