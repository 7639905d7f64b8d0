#include "support/trace.h"

#include "support/app_paths.h"
#include "support/clocks.h"
#include "support/run_mode.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace veltro {
namespace {

// Enough for bursts of thousands of lines; beyond it the writer is stuck and lines are dropped
// rather than growing memory without end.
constexpr std::size_t kMaxQueued = 20000;

struct TraceState {
    std::mutex mutex;
    std::condition_variable wake;    // the writer: lines queued or stop asked
    std::condition_variable written; // flushers: a batch is out
    std::deque<std::string> queue;
    std::size_t dropped = 0;
    std::uint64_t queued_total = 0;
    std::uint64_t written_total = 0;
    bool started = false;
    bool stopping = false;
    bool stopped = false;
    std::thread writer;

    std::string path; // empty: the default in the data folder
    std::FILE* file = nullptr;
    std::string open_path;
    std::size_t file_size = 0;
    bool to_stderr = false;
};

// Never destroyed: trace calls from other objects' destructors at exit must still find it.
TraceState& state() {
    static TraceState* s = [] {
        auto* st = new TraceState;
        const char* env = std::getenv("VELTRO_TRACE");
        st->to_stderr = env && std::strcmp(env, "stderr") == 0;
        return st;
    }();
    return *s;
}

std::string resolved_path(const TraceState& s) {
    return s.path.empty() ? data_file("Veltro_trace.txt") : s.path;
}

std::string rotated_path(const std::string& path) {
    std::filesystem::path p(path);
    const std::string ext = p.extension().string();
    return (p.parent_path() / (p.stem().string() + ".old" + ext)).string();
}

void close_file(TraceState& s) {
    if (s.file)
        std::fclose(s.file);
    s.file = nullptr;
    s.open_path.clear();
}

// Writes one batch; called with the state's mutex NOT held by the writer thread, or held after
// shutdown (then nobody else writes).
void write_lines(TraceState& s, const std::string& path, const std::deque<std::string>& lines) {
    for (const auto& line : lines) {
        if (s.to_stderr) {
            std::fwrite(line.data(), 1, line.size(), stderr);
            std::fputc('\n', stderr);
        }
        if (s.file && s.open_path != path)
            close_file(s);
        if (!s.file) {
            s.file = std::fopen(path.c_str(), "a");
            if (!s.file)
                continue; // no data folder: the line can only reach stderr
            s.open_path = path;
            struct stat st {};
            s.file_size = fstat(fileno(s.file), &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;
        }
        if (s.file_size + line.size() + 1 > kTraceFileLimit && s.file_size > 0) {
            struct stat st {};
            const bool regular = fstat(fileno(s.file), &st) == 0 && S_ISREG(st.st_mode);
            if (regular) {
                close_file(s);
                std::rename(path.c_str(), rotated_path(path).c_str());
                s.file = std::fopen(path.c_str(), "a");
                if (!s.file)
                    continue;
                s.open_path = path;
            }
            s.file_size = 0;
        }
        std::fwrite(line.data(), 1, line.size(), s.file);
        std::fputc('\n', s.file);
        s.file_size += line.size() + 1;
    }
    if (s.file)
        std::fflush(s.file);
    if (s.to_stderr)
        std::fflush(stderr);
}

void writer_loop(TraceState& s) {
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&] { return !s.queue.empty() || s.stopping; });
        if (s.queue.empty() && s.stopping)
            return;
        std::deque<std::string> batch;
        batch.swap(s.queue);
        const std::uint64_t count = batch.size();
        if (s.dropped > 0) {
            batch.push_back("*Trace: " + std::to_string(s.dropped) + " lines dropped");
            s.dropped = 0;
        }
        const std::string path = resolved_path(s);
        lock.unlock();
        write_lines(s, path, batch);
        lock.lock();
        s.written_total += count;
        s.written.notify_all();
    }
}

void start_writer(TraceState& s) {
    s.started = true;
    s.writer = std::thread([&s] { writer_loop(s); });
    std::atexit([] { trace_shutdown(); });
}

long this_thread_id() {
    thread_local const long id = static_cast<long>(syscall(SYS_gettid));
    return id;
}

const std::string& exe_name_cached() {
    static const std::string name = executable_name();
    return name;
}

} // namespace

namespace trace_detail {

void append(std::string& out, std::string_view text) {
    out.append(text);
    out.push_back('\t');
}

void send(std::string joined) {
    std::string line = format_trace_line(exe_name_cached(), !is_debug_run(), static_cast<long>(getpid()),
                                         this_thread_id(), local_now().tm, joined);
    TraceState& s = state();
    std::unique_lock lock(s.mutex);
    if (s.stopped) {
        // After shutdown nobody else writes: write here, under the lock.
        std::deque<std::string> one{std::move(line)};
        write_lines(s, resolved_path(s), one);
        return;
    }
    if (s.queue.size() >= kMaxQueued) {
        ++s.dropped;
        return;
    }
    s.queue.push_back(std::move(line));
    ++s.queued_total;
    if (!s.started)
        start_writer(s);
    lock.unlock();
    s.wake.notify_one();
}

} // namespace trace_detail

std::string format_trace_line(std::string_view exe_name, bool compiled, long instance, long thread,
                              const std::tm& now, std::string_view joined) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d %02d%02d%02d", now.tm_year + 1900, now.tm_mon + 1,
                  now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    std::string line(exe_name);
    line += compiled ? " C" : " I";
    line += ": " + std::to_string(instance) + ": " + std::to_string(thread) + ": " + stamp + ": ";
    line.append(joined);
    return line;
}

void trace_flush() {
    TraceState& s = state();
    std::unique_lock lock(s.mutex);
    if (!s.started || s.stopped)
        return;
    const std::uint64_t target = s.queued_total;
    s.written.wait_for(lock, std::chrono::seconds(5), [&] { return s.written_total >= target; });
}

void set_trace_file(const std::string& path) {
    trace_flush();
    TraceState& s = state();
    std::lock_guard lock(s.mutex);
    s.path = path;
}

std::string trace_file_path() {
    TraceState& s = state();
    std::lock_guard lock(s.mutex);
    return resolved_path(s);
}

void trace_shutdown() {
    TraceState& s = state();
    std::unique_lock lock(s.mutex);
    if (s.stopped)
        return;
    if (s.started && s.writer.get_id() == std::this_thread::get_id())
        return; // never from the writer itself
    s.stopping = true;
    lock.unlock();
    s.wake.notify_one();
    if (s.writer.joinable())
        s.writer.join();
    lock.lock();
    s.stopped = true;
}

} // namespace veltro
