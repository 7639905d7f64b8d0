#include "review/strip_worker.h"

#include "support/trace.h"
#include "support/veltro_error.h"

#include <sstream>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro {

std::string strip_key(const std::string& path, const FinishStripOptions& options) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    std::ostringstream key;
    const StripLine& l = options.line;
    key << path << '|' << st.st_dev << ':' << st.st_ino << ':' << st.st_size << ':' << st.st_mtim.tv_sec
        << '.' << st.st_mtim.tv_nsec << '|' << l.x1 << ',' << l.y1 << ',' << l.x2 << ',' << l.y2 << '|'
        << options.column_width << '|' << options.goal_compensation << '|' << options.line_colour;
    return key.str();
}

StripWorker::StripWorker(std::size_t cache_size)
    : cache_size_(cache_size), event_fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!event_fd_) {
        throw VeltroError(err::kPathFileAccess, "The finish strip cannot signal the window (eventfd failed)");
    }
    thread_ = std::thread([this] { run(); });
}

StripWorker::~StripWorker() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        cancel_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::uint64_t StripWorker::request(const std::string& path, const FinishStripOptions& options) {
    const std::string key = strip_key(path, options);
    std::uint64_t request = 0;
    bool ready = false;
    {
        const std::lock_guard lock(mutex_);
        request = latest_.load() + 1;
        latest_ = request;
        cancel_ = true;
        result_.reset();
        if (auto strip = key.empty() ? nullptr : cached(key)) {
            job_.reset();
            result_ = Result{request, std::move(strip), {}};
            busy_ = false;
            ready = true;
        } else {
            job_ = Job{request, path, key, options};
            busy_ = true;
            progress_ = 0;
        }
    }
    if (ready) {
        wake_window();
    }
    wake_.notify_all();
    return request;
}

void StripWorker::cancel() {
    const std::lock_guard lock(mutex_);
    latest_ = latest_.load() + 1;
    cancel_ = true;
    job_.reset();
    result_.reset();
    busy_ = false;
}

void StripWorker::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || job_.has_value(); });
            if (stopping_) {
                return;
            }
            job = std::move(*job_);
            job_.reset();
            cancel_ = false;
        }
        Result result{job.request, nullptr, {}};
        try {
            auto strip = std::make_shared<FinishStrip>(build_finish_strip(
                job.path, job.options, &cancel_, [this](int percent) { progress_ = percent; }));
            if (strip->pictures() > 0) {
                result.strip = std::move(strip);
            }
        } catch (const VeltroError& e) {
            result.error = e.description();
        } catch (const std::exception& e) {
            result.error = e.what();
        }
        if (!result.strip && result.error.empty()) {
            continue; // cancelled
        }
        if (!result.error.empty()) {
            Trace("Finish strip of ", job.path, " failed: ", result.error);
        }
        // Kept only when the file did not change while it was read; otherwise the next request
        // reads it again.
        if (result.strip && !job.key.empty() && strip_key(job.path, job.options) == job.key) {
            const std::lock_guard lock(mutex_);
            remember(job.key, result.strip);
        }
        deliver(std::move(result));
    }
}

void StripWorker::deliver(Result result) {
    {
        const std::lock_guard lock(mutex_);
        if (result.request != latest_.load()) {
            return;
        }
        result_ = std::move(result);
    }
    wake_window();
}

void StripWorker::wake_window() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(event_fd_.get(), &one, sizeof one);
}

void StripWorker::dispatch(const std::function<void(const Result&)>& done) {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(event_fd_.get(), &count, sizeof count);
    std::optional<Result> result;
    {
        const std::lock_guard lock(mutex_);
        if (result_ && result_->request == latest_.load()) {
            result = std::move(result_);
            busy_ = false;
        }
        result_.reset();
    }
    if (result && done) {
        done(*result);
    }
}

std::shared_ptr<const FinishStrip> StripWorker::cached(const std::string& key) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->first == key) {
            cache_.splice(cache_.begin(), cache_, it);
            return cache_.front().second;
        }
    }
    return nullptr;
}

void StripWorker::remember(const std::string& key, std::shared_ptr<const FinishStrip> strip) {
    if (cached(key)) {
        return;
    }
    cache_.emplace_front(key, std::move(strip));
    while (cache_.size() > cache_size_) {
        cache_.pop_back();
    }
}

} // namespace veltro
