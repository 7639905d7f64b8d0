#pragma once

#include "recording/finish_strip.h"
#include "support/file_io.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace veltro {

// Builds finish strips on a thread of its own, so the review is usable while a strip is made, and
// keeps the last few it made: opening a heat again, or switching between the goal and split lines,
// shows its strip at once. Only the newest request counts: a request replaces (and cancels) the one
// still running. The finished strip is handed over on the window thread: the window watches
// event_fd() and calls dispatch(), like every device.
class StripWorker {
public:
    struct Result {
        std::uint64_t request = 0;
        std::shared_ptr<const FinishStrip> strip; // null when it could not be made
        std::string error;                        // why not
    };

    explicit StripWorker(std::size_t cache_size = 4);
    ~StripWorker();
    StripWorker(const StripWorker&) = delete;
    StripWorker& operator=(const StripWorker&) = delete;

    // Starts making the strip of `path` with `options`; returns the request's number. A strip made
    // before from the same file (same size and modification time) and options is delivered at once.
    std::uint64_t request(const std::string& path, const FinishStripOptions& options);
    // Drops the request in hand: nothing is delivered for it (the recording was closed).
    void cancel();
    // The newest request, and whether its strip is still to come: true from the request until
    // dispatch hands the result over (a strip kept from before comes at once, so never busy).
    std::uint64_t latest() const { return latest_.load(); }
    bool busy() const { return busy_.load(); }
    // 0 to 100 of the strip being made.
    int progress() const { return progress_.load(); }

    // Readable when a result waits.
    int event_fd() const { return event_fd_.get(); }
    // Calls `done` with the result of the newest request, when it is there.
    void dispatch(const std::function<void(const Result&)>& done);

private:
    struct Job {
        std::uint64_t request = 0;
        std::string path;
        std::string key;
        FinishStripOptions options;
    };

    void run();
    void deliver(Result result);
    // Makes event_fd() readable.
    void wake_window();
    std::shared_ptr<const FinishStrip> cached(const std::string& key);
    void remember(const std::string& key, std::shared_ptr<const FinishStrip> strip);

    const std::size_t cache_size_;
    UniqueFd event_fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> job_;       // waiting to be taken by the thread
    std::optional<Result> result_; // waiting for dispatch()
    std::list<std::pair<std::string, std::shared_ptr<const FinishStrip>>> cache_; // newest first
    std::atomic<std::uint64_t> latest_{0};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> busy_{false};
    std::atomic<int> progress_{0};
    bool stopping_ = false;
    std::thread thread_;
};

// The cache key of a strip: the file as it is on disk now and every option that changes the picture.
// Empty when the file cannot be looked at.
std::string strip_key(const std::string& path, const FinishStripOptions& options);

} // namespace veltro
