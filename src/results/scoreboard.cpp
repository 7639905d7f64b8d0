#include "results/scoreboard.h"

#include "results/live_feed.h"
#include "results/scoreboard_link.h"
#include "support/settings.h"
#include "support/text.h"
#include "support/trace.h"

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace veltro {

namespace {

using Json = nlohmann::json;
using Values = std::map<std::string, std::string, std::less<>>;
using scoreboard_detail::Link;
using scoreboard_detail::LinkState;

std::optional<int> whole_number(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.front() == '-' || ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string in_quotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// "HOST:PORT" or "[IPv6]:PORT" into `out`; the reason when it is neither.
std::string parse_address(std::string_view rest, std::string_view kind, ScoreboardTarget& out) {
    const std::string form = "write " + std::string(kind) + ":HOST:PORT";
    std::string_view host;
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) {
            return "the IPv6 address has no closing \"]\"";
        }
        host = rest.substr(1, close - 1);
        if (close + 1 >= rest.size() || rest[close + 1] != ':') {
            return "no port after the address: " + form;
        }
        port = rest.substr(close + 2);
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) {
            return "no port: " + form;
        }
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            return "an IPv6 address goes in brackets: " + std::string(kind) + ":[" + std::string(host) +
                   "]:PORT";
        }
    }
    if (host.empty()) {
        return "no host: " + form;
    }
    if (port.empty()) {
        return "no port: " + form;
    }
    const std::optional<int> number = whole_number(port);
    if (!number || *number < 1 || *number > 65535) {
        return "the port " + in_quotes(port) + " is not a number from 1 to 65535";
    }
    out.host = std::string(host);
    out.port = *number;
    return {};
}

std::string control_free(std::string text) {
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            c = ' ';
        }
    }
    return text;
}

// A JSON value as placeholder text: strings as they are, numbers written out, nothing for null.
std::string value_text(const Json& j) {
    if (j.is_string()) {
        return control_free(j.get<std::string>());
    }
    if (j.is_number_integer() || j.is_number_unsigned() || j.is_number_float()) {
        return j.dump();
    }
    return {};
}

std::string field(const Json& object, const char* name) {
    if (!object.is_object()) {
        return {};
    }
    const auto it = object.find(name);
    return it == object.end() ? std::string() : value_text(*it);
}

bool running_state(const std::string& state) {
    return state == "started" || state == "capturing";
}

// What goes out to the board, as the heat changes: its own picture of the heat so far.
class Board {
public:
    explicit Board(const ScoreboardTemplates& templates) : templates_(templates) {}

    // The heat as it stands when the output begins: nothing is sent, but it is the picture a
    // scoreboard gets when it comes.
    void prime(const Json& heat) {
        on_change(heat);
        out_.clear();
    }

    // The lines for one change of the heat.
    void on_change(const Json& heat) {
        const std::string state = field(heat, "state");
        const bool running = running_state(state);
        const Values values = common_values(heat);
        if (running_ && !running && state != "aborted" && last_ms_) {
            put_running(values, *last_ms_);
            picture_.push_back(out_.back());
        }
        if (state == "aborted" && state_ != "aborted") {
            picture_ = {fill_template(templates_.clear, values)};
            out_.push_back(picture_.back());
        }
        const std::string key = heat.is_object()
                                    ? heat.value("dogs", Json()).dump() + "\n" + field(heat, "event") + "\n" +
                                          field(heat, "heat") + "\n" + field(heat, "heat_name")
                                    : std::string();
        if (state == "initiated" && (state_ != "initiated" || key != key_)) {
            Values v = values;
            const Json dogs = heat.value("dogs", Json::array());
            for (std::size_t i = 0; i < 6; ++i) {
                v["dog" + std::to_string(i + 1)] =
                    dogs.is_array() && i < dogs.size() ? value_text(dogs[i]) : std::string();
            }
            picture_ = {fill_template(templates_.heat, v)};
            out_.push_back(picture_.back());
            results_.clear();
        }
        if (running && !running_) {
            last_ms_.reset();
            tick_due_ = true;
        }
        put_results(heat, values);
        running_ = running;
        state_ = state;
        key_ = key;
    }

    // The running time now, from the feed's heat as it stands (its "running_ms").
    void on_tick(const Json& heat) {
        const Json ms = heat.is_object() ? heat.value("running_ms", Json()) : Json();
        if (ms.is_number_integer()) {
            last_ms_ = ms.get<std::int64_t>();
            put_running(common_values(heat), *last_ms_);
        }
    }

    bool running() const { return running_; }
    // Whether a running line is due at once (the heat has just started).
    bool take_tick_due() { return std::exchange(tick_due_, false); }
    std::vector<std::string> take_lines() { return std::exchange(out_, {}); }
    // The lines that show the heat as it stands: the heat and its dogs, its result, or the clear.
    const std::vector<std::string>& picture() const { return picture_; }

private:
    static Values common_values(const Json& heat) {
        return {{"event", field(heat, "event")},
                {"heat", field(heat, "heat")},
                {"heat_name", field(heat, "heat_name")}};
    }

    void put_running(Values values, std::int64_t ms) {
        values["time"] = running_time_text(ms);
        out_.push_back(fill_template(templates_.running, values));
    }

    void put_results(const Json& heat, const Values& values) {
        const Json result = heat.is_object() ? heat.value("result", Json()) : Json();
        const Json rows = result.is_object() ? result.value("results", Json()) : Json();
        if (!rows.is_array() || rows.empty()) {
            return;
        }
        std::string text = rows.dump();
        if (text == results_) {
            return;
        }
        results_ = std::move(text);
        picture_.clear();
        for (const Json& row : rows) {
            Values v = values;
            v["position"] = field(row, "position");
            v["rank"] = field(row, "rank");
            v["box"] = field(row, "box");
            v["dog"] = field(row, "dog");
            v["time"] = field(row, "finish");
            v["distance"] = field(row, "distance");
            v["no_time"] = field(row, "no_time");
            picture_.push_back(fill_template(templates_.result, v));
            out_.push_back(picture_.back());
        }
    }

    const ScoreboardTemplates& templates_;
    std::string state_;
    std::string key_;
    bool running_ = false;
    bool tick_due_ = false;
    std::optional<std::int64_t> last_ms_;
    std::string results_;
    std::vector<std::string> picture_;
    std::vector<std::string> out_;
};

} // namespace

std::string ScoreboardTarget::text() const {
    switch (kind) {
    case Kind::Udp:
    case Kind::Tcp: {
        const bool v6 = host.find(':') != std::string::npos;
        return std::string(kind == Kind::Udp ? "udp " : "tcp ") + (v6 ? "[" + host + "]" : host) + ":" +
               std::to_string(port);
    }
    case Kind::Serial:
        return "serial " + device + " " + std::to_string(baud) + " baud";
    }
    return {};
}

std::optional<ScoreboardTarget> parse_scoreboard_target(std::string_view given, std::string& error) {
    const std::string text = trim(given);
    const std::size_t colon = text.find(':');
    const std::string kind = to_lower_ascii(std::string_view(text).substr(0, colon));
    const std::string_view rest =
        colon == std::string::npos ? std::string_view() : std::string_view(text).substr(colon + 1);
    ScoreboardTarget target;
    std::string why;
    if (kind == "udp" || kind == "tcp") {
        target.kind = kind == "udp" ? ScoreboardTarget::Kind::Udp : ScoreboardTarget::Kind::Tcp;
        why = parse_address(rest, kind, target);
    } else if (kind == "serial") {
        target.kind = ScoreboardTarget::Kind::Serial;
        const std::size_t last = rest.rfind(':');
        if (last == std::string_view::npos || last + 1 == rest.size()) {
            why = "no baud rate: write serial:DEVICE:BAUD, e.g. serial:/dev/ttyUSB0:9600";
        } else if (last == 0) {
            why = "no device: write serial:DEVICE:BAUD, e.g. serial:/dev/ttyUSB0:9600";
        } else {
            const std::string_view baud = rest.substr(last + 1);
            const std::optional<int> rate = whole_number(baud);
            if (!rate || !scoreboard_detail::known_baud_rate(*rate)) {
                why = "the baud rate " + in_quotes(baud) +
                      " is not one a serial port knows (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, "
                      "...)";
            } else {
                target.device = std::string(rest.substr(0, last));
                target.baud = *rate;
            }
        }
    } else {
        why = "it must begin with udp:, tcp: or serial:";
    }
    if (!why.empty()) {
        error = "the scoreboard target " + in_quotes(text) + " is not usable: " + why;
        return std::nullopt;
    }
    return target;
}

std::string decode_escapes(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[i + 1];
        const char* simple = c == 'r'    ? "\r"
                             : c == 'n'  ? "\n"
                             : c == 't'  ? "\t"
                             : c == '\\' ? "\\"
                             : c == 'e'  ? "\x1b"
                                         : nullptr;
        if (simple != nullptr) {
            out += simple;
            ++i;
            continue;
        }
        unsigned value = 0;
        if (c == 'x' && i + 3 < text.size() &&
            std::from_chars(text.data() + i + 2, text.data() + i + 4, value, 16).ptr == text.data() + i + 4) {
            out += static_cast<char>(value);
            i += 3;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string fill_template(std::string_view text, const Values& values) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t open = text.find('{', i);
        if (open == std::string_view::npos) {
            break;
        }
        const std::size_t close = text.find_first_of("{}", open + 1);
        if (close == std::string_view::npos || text[close] == '{') {
            out.append(text.substr(i, close == std::string_view::npos ? std::string_view::npos : close - i));
            i = close == std::string_view::npos ? text.size() : close;
            continue;
        }
        out.append(text.substr(i, open - i));
        const auto it = values.find(text.substr(open + 1, close - open - 1));
        out.append(it != values.end() ? std::string_view(it->second) : text.substr(open, close - open + 1));
        i = close + 1;
    }
    if (i < text.size()) {
        out.append(text.substr(i));
    }
    return out;
}

std::string running_time_text(std::int64_t ms) {
    const std::int64_t tenths = std::max<std::int64_t>(ms, 0) / 100;
    const std::int64_t seconds = tenths / 10 % 60;
    return std::to_string(tenths / 600) + ":" + (seconds < 10 ? "0" : "") + std::to_string(seconds) + "." +
           std::to_string(tenths % 10);
}

ScoreboardTemplates scoreboard_templates_from_settings() {
    ScoreboardTemplates t;
    const auto take = [](const SettingKey& key, std::string& text) {
        const std::string value = Read_Setting(key);
        // An empty default reads back as "N/A" when the key is not set.
        if (!value.empty() && value != "N/A") {
            text = decode_escapes(value);
        }
    };
    take(keys::scoreboard_running, t.running);
    take(keys::scoreboard_result, t.result);
    take(keys::scoreboard_heat, t.heat);
    take(keys::scoreboard_clear, t.clear);
    return t;
}

ScoreboardOutput::ScoreboardOutput(LiveFeed& feed, ScoreboardTarget target, ScoreboardTemplates templates,
                                   const Clock& clock)
    : feed_(feed), target_(std::move(target)), templates_(std::move(templates)), clock_(clock) {
    Trace("Scoreboard: lines to ", target_.text());
    thread_ = std::thread([this] { run(); });
}

ScoreboardOutput::~ScoreboardOutput() {
    stop();
}

void ScoreboardOutput::stop() {
    if (!thread_.joinable()) {
        return;
    }
    stopping_ = true;
    feed_.wake_all();
    thread_.join();
    Trace("Scoreboard: stopped, ", sent_.load(), " lines sent, ", dropped_.load(), " dropped");
}

void ScoreboardOutput::run() {
    Link link(target_, clock_, sent_, dropped_);
    Board board(templates_);
    const auto parse = [](const std::string& text) { return Json::parse(text, nullptr, false); };

    link.open();
    const Json now = parse(feed_.heat_json());
    std::uint64_t last_id = now.is_object() ? now.value("id", std::uint64_t{0}) : 0;
    board.prime(now);
    std::uint32_t next_tick = clock_.millis();
    const auto send_lines = [&] {
        for (const std::string& line : board.take_lines()) {
            link.send(line);
        }
        set_state(link.state() == LinkState::Up           ? State::Up
                  : link.state() == LinkState::Connecting ? State::Connecting
                                                          : State::Down,
                  link.problem());
    };

    while (!stopping_) {
        if (link.service()) {
            for (const std::string& line : board.picture()) {
                link.send(line);
            }
        }
        if (board.take_tick_due()) {
            next_tick = clock_.millis();
        }
        if (board.running() && elapsed_ms(next_tick, clock_.millis()) >= 0) {
            board.on_tick(parse(feed_.heat_json()));
            next_tick += kTickMs;
            if (elapsed_ms(next_tick, clock_.millis()) >= 0) {
                next_tick = clock_.millis() + kTickMs;
            }
        }
        send_lines();

        // Real time passes here; the clock may be another (a manual one in tests), so anything timed
        // on it is looked at again a tick later at most.
        std::chrono::milliseconds wait(1000);
        if (board.running()) {
            const std::int32_t left = elapsed_ms(clock_.millis(), next_tick);
            wait = std::chrono::milliseconds(std::clamp<std::int32_t>(left, 0, kTickMs));
        } else if (link.busy()) {
            wait = std::chrono::milliseconds(kTickMs);
        }
        for (const LiveFeed::Change& change : feed_.changes_after(last_id, wait, stopping_)) {
            last_id = change.id;
            if (const Json heat = parse(change.heat_json); heat.is_object()) {
                board.on_change(heat);
            }
        }
        // At once: a link that comes up later gets the heat as it then stands, not these twice.
        send_lines();
    }
}

void ScoreboardOutput::set_state(State state, const std::string& problem) {
    std::string text;
    {
        const std::lock_guard lock(mutex_);
        if (state == state_ && problem == problem_) {
            return;
        }
        state_ = state;
        problem_ = problem;
        text = state_text_locked();
    }
    Trace("Scoreboard: ", text);
}

std::string ScoreboardOutput::state_text_locked() const {
    switch (state_) {
    case State::Connecting:
        return target_.text() + " connecting";
    case State::Up:
        return target_.text() + " ready";
    case State::Down:
        break;
    }
    return target_.text() + " " + problem_;
}

std::string ScoreboardOutput::status() const {
    const std::uint64_t sent = sent_.load();
    const std::uint64_t dropped = dropped_.load();
    const std::lock_guard lock(mutex_);
    if (state_ != State::Up) {
        return "Scoreboard: " + state_text_locked();
    }
    std::string text = "Scoreboard: " + target_.text() + ", " + std::to_string(sent) +
                       (sent == 1 ? " line sent" : " lines sent");
    if (dropped > 0) {
        text += ", " + std::to_string(dropped) + " dropped";
    }
    return text;
}

ScoreboardOutput::Counts ScoreboardOutput::counts() const {
    return {sent_.load(), dropped_.load()};
}

bool ScoreboardOutput::connected() const {
    const std::lock_guard lock(mutex_);
    return state_ == State::Up;
}

} // namespace veltro
