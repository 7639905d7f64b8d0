// A 50 pictures a second capture with the live results served under load, against the same capture
// with the server off, in one run: 200 event streams open, 50 page requests a second, and a result
// change every 100 ms. What the capture loses (pictures dropped at the grabber, and the longest a
// picture waited for the capture thread, on the grabber's clock that steps a frame period at a time:
// 0 when none waited a whole period) and how long a change
// takes from its publishing to the streams (p50, p99). Real time: each case films 5 s. Loopback only.
#include "fake_heat.h"
#include "results/live_server.h"
#include "support/settings.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <httplib.h>
#include <map>
#include <mutex>
#include <thread>

namespace {

using namespace veltro;
using bench::kPeriod;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kFrames = 250;
constexpr int kStreams = 200;

// The load on the server while the capture runs, and what it measured.
class Load {
public:
    Load(LiveFeed& feed, int port) : feed_(feed) {
        for (int i = 0; i < kStreams; ++i)
            threads_.emplace_back([this, port] { stream(port); });
        threads_.emplace_back([this, port] { pages(port); });
        threads_.emplace_back([this] { changes(); });
    }
    void stop() {
        stopping_ = true;
        for (std::thread& t : threads_)
            t.join();
    }
    // Publishing to arrival in a stream, ms, every change in every stream.
    std::vector<double> latencies() const { return latencies_; }
    int pages_served() const { return pages_; }

private:
    void stream(int port) {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(2, 0);
        std::string text;
        while (!stopping_) {
            client.Get("/api/stream", [&](const char* data, std::size_t length) {
                const auto now = steady_clock::now();
                text.append(data, length);
                for (std::size_t end; (end = text.find("\n\n")) != std::string::npos;
                     text.erase(0, end + 2)) {
                    if (text.rfind("id: ", 0) == 0)
                        arrived(std::stoull(text.substr(4)), now);
                }
                return !stopping_;
            });
        }
    }
    void arrived(std::uint64_t id, steady_clock::time_point at) {
        const std::lock_guard lock(mutex_);
        if (const auto sent = published_.find(id); sent != published_.end())
            latencies_.push_back(std::chrono::duration<double, std::milli>(at - sent->second).count());
    }
    void pages(int port) {
        httplib::Client client("127.0.0.1", port);
        for (auto at = steady_clock::now(); !stopping_; at += milliseconds(20)) {
            if (const auto res = client.Get("/"); res && res->status == 200)
                ++pages_;
            std::this_thread::sleep_until(at);
        }
    }
    void changes() {
        for (int n = 0; !stopping_; ++n) {
            std::this_thread::sleep_for(milliseconds(100));
            // The lock keeps a stream from looking for the change before it is noted.
            const std::lock_guard lock(mutex_);
            const auto at = steady_clock::now();
            feed_.publish("result", [&](LiveFeed::Heat& h) {
                h.result_json = R"({"results":[{"box":)" + std::to_string(n % 6 + 1) + "}]}";
            });
            published_[feed_.last_id()] = at;
        }
    }

    LiveFeed& feed_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> pages_{0};
    std::mutex mutex_;
    std::map<std::uint64_t, steady_clock::time_point> published_;
    std::vector<double> latencies_;
    std::vector<std::thread> threads_;
};

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

void capture_with_server(benchmark::State& state, bool served) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "veltro_bench_live";
    std::filesystem::create_directories(dir);
    set_settings_path((dir / "Veltro_HDMI.ini").string());
    for (auto _ : state) {
        std::filesystem::remove(dir / "heat.px3");
        bench::FakeHeat h(dir / "heat.px3", true);

        LiveFeed feed(h.clock);
        LiveServer server(feed);
        std::unique_ptr<Load> load;
        std::string error;
        if (served && server.start("127.0.0.1", 0, error))
            load = std::make_unique<Load>(feed, server.port());
        auto at = steady_clock::now();
        for (int i = 0; i < kFrames; ++i) {
            at += milliseconds(kPeriod);
            std::this_thread::sleep_until(at);
            h.clock.advance(kPeriod);
        }
        // The last picture is taken by the capture thread before the capture ends, as a heat's would be.
        for (const auto deadline = steady_clock::now() + std::chrono::seconds(1);
             h.io.pictures < kFrames && steady_clock::now() < deadline;)
            std::this_thread::yield();
        h.end();
        if (load) {
            load->stop();
            const std::vector<double> latencies = load->latencies();
            state.counters["p50_ms"] = percentile(latencies, 0.5);
            state.counters["p99_ms"] = percentile(latencies, 0.99);
            state.counters["arrivals"] = static_cast<double>(latencies.size());
            state.counters["pages_per_s"] = load->pages_served() / (kFrames * kPeriod / 1000.0);
        }
        server.stop();
        state.counters["lost"] = h.io.dropped.load();
        state.counters["stored"] = h.recording.xml_header().G_Frames_no();
        state.counters["longest_wait_ms"] = h.io.longest_wait_ms.load();
        h.heat.finish();
    }
    set_settings_path({});
    std::filesystem::remove_all(dir);
}

void BM_CaptureServerOff(benchmark::State& state) {
    capture_with_server(state, false);
}
void BM_CaptureServerOnUnderLoad(benchmark::State& state) {
    capture_with_server(state, true);
}

BENCHMARK(BM_CaptureServerOff)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureServerOnUnderLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
