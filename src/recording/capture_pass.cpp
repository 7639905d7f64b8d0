// The capture pass: the window thread copies each frame into a raw buffer of a fixed set, worker
// threads compress the buffers, and one writer thread hands the streams to the sink in capture order.
//
// Why one writer thread rather than "whoever completes the next frame writes it": the sink writes to
// disk and its flush waits for the disk (fdatasync), so a worker caught in it would stop compressing
// while frames queue up behind it; and flushing the frames before a pause in capture needs a thread
// that waits with a timeout anyway. The writer only waits on the disk, so it costs no processor time
// the workers could use.
//
// A raw buffer and the stream made from it form one slot. A slot is taken by store(), compressed by a
// worker and given back by the writer once its frame is in the sink, so no more frames than raw
// buffers are ever in flight, and neither the window thread nor the workers allocate per frame once
// the streams have reached their size. Frames are written in the order they were stored, so the slots
// go round: frame n (counted from 0) takes slot n modulo the slot count. Going round, rather than
// taking the buffer freed last, also keeps the window thread off buffers a worker has just read: their
// bytes would still sit in the worker's processor cache, and taking them back costs the copy dearly.
#include "recording/capture_pass.h"

#include "picture/dib_section.h"
#include "recording/jpeg_fit.h"
#include "support/clocks.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace veltro {

namespace {

constexpr std::int32_t kFlushIntervalMs = 1000;
// How often, in real time, the writer looks at the clock while written frames wait for a flush, so
// that the last frames before a pause in capture reach the disk within about a second too.
constexpr auto kFlushPoll = std::chrono::milliseconds(200);

std::string picture_text(const CapturePassOptions& o) {
    return std::to_string(o.width) + " x " + std::to_string(o.height);
}

// Bytes of the picture; the options are refused before any buffer is made when they cannot be met.
std::size_t checked_picture_bytes(const CapturePassOptions& o) {
    if (o.width <= 0 || o.height <= 0 || o.width > 65535 || o.height > 65535) {
        throw VeltroError(err::SubscriptOutOfRange,
                          "A capture pass cannot take pictures of " + picture_text(o) + " pixels");
    }
    const std::int64_t bytes =
        static_cast<std::int64_t>(cDIBSection::bytes_per_scan_line(o.width)) * o.height;
    if (bytes > std::numeric_limits<std::int32_t>::max()) {
        throw VeltroError(err::Overflow,
                          "A picture of " + picture_text(o) + " pixels is too large to capture");
    }
    if (o.start_quality < 1 || o.start_quality > 100) {
        throw VeltroError(err::Jpeg, "JPEG quality " + std::to_string(o.start_quality) + " outside 1..100");
    }
    if (o.fixed_data_size < 0 || o.max_frames < 0) {
        throw VeltroError(err::SubscriptOutOfRange, "A capture pass needs a record size and a frame limit of "
                                                    "at least 0 (given " +
                                                        std::to_string(o.fixed_data_size) + " and " +
                                                        std::to_string(o.max_frames) + ")");
    }
    if (o.raw_buffers == 0) {
        throw VeltroError(err::SubscriptOutOfRange, "A capture pass needs at least one raw picture buffer");
    }
    return static_cast<std::size_t>(bytes);
}

// The failure being handled, as the VeltroError that finish() rethrows.
std::exception_ptr current_failure(const std::string& doing) {
    try {
        throw;
    } catch (const VeltroError&) {
        return std::current_exception();
    } catch (const std::bad_alloc&) {
        return std::make_exception_ptr(VeltroError(err::OutOfMemory, "Out of memory while " + doing));
    } catch (const std::exception& e) {
        return std::make_exception_ptr(
            VeltroError(err::InternalError, "Failed while " + doing + ": " + e.what()));
    } catch (...) {
        return std::make_exception_ptr(VeltroError(err::InternalError, "Failed while " + doing));
    }
}

} // namespace

struct CapturePass::State {
    struct Slot {
        std::vector<std::uint8_t> raw;
        CompressedFrame frame;
        bool compressed = false; // the frame is ready for the sink (or skipped after a failure)
    };

    State(const CapturePassOptions& o, CompressedFrameSink& s, const Clock& c)
        : options(o), sink(s), clock(c), picture_bytes(checked_picture_bytes(o)),
          stride(cDIBSection::bytes_per_scan_line(o.width)), slots(o.raw_buffers), last_flush_ms(c.millis()) {
        for (Slot& slot : slots) {
            // Filled now, so every page is in memory before the first frame: the window thread's copy
            // takes no page faults.
            slot.raw.assign(picture_bytes, 0);
        }
    }

    const CapturePassOptions options;
    CompressedFrameSink& sink;
    const Clock& clock;
    const std::size_t picture_bytes; // first: it checks the options
    const std::int32_t stride;
    std::vector<Slot> slots;

    mutable std::mutex mutex;
    std::condition_variable slot_freed;  // the window thread waits for a raw buffer
    std::condition_variable work_queued; // workers wait for a frame to compress
    std::condition_variable writer_wake; // the writer waits for the next frame, a flush check or the end
    std::condition_variable writer_done; // check_flush() waits for the writer's look at the clock

    // Frames counted from 0: those from next_write up to next_store are in flight, those from
    // next_compress on wait for a worker.
    std::int64_t next_store = 0;
    std::int64_t next_compress = 0;
    std::int64_t next_write = 0;

    bool finishing = false; // finish(): write every stored frame, then end
    bool abandon = false;   // destructor: end now
    bool finished = false;
    bool writer_ended = false;
    std::exception_ptr failure; // the first; from then on nothing more reaches the sink

    bool appended_since_flush = false;
    std::uint32_t last_flush_ms;
    std::uint64_t checks_asked = 0;
    std::uint64_t checks_done = 0;

    CapturePassCounters counters;

    std::vector<std::thread> threads;

    void fail(std::exception_ptr error) {
        if (failure == nullptr) {
            failure = std::move(error);
        }
        // A store waiting for a buffer goes on without one.
        slot_freed.notify_all();
    }

    Slot& slot_of(std::int64_t frame) {
        return slots[static_cast<std::size_t>(frame % static_cast<std::int64_t>(slots.size()))];
    }
    bool slot_free() const { return next_store - next_write < static_cast<std::int64_t>(slots.size()); }

    void compress_loop();
    void write_loop();
    void flush_sink(std::unique_lock<std::mutex>& lock, std::uint32_t now);
    void stop_threads() noexcept;
};

void CapturePass::State::compress_loop() {
    std::vector<std::uint8_t> stream; // this worker's output buffer, kept from frame to frame
    std::unique_lock lock(mutex);
    for (;;) {
        work_queued.wait(lock, [this] { return abandon || finishing || next_compress < next_store; });
        if (abandon || next_compress == next_store) {
            return;
        }
        Slot& slot = slot_of(next_compress++);
        const bool skip = failure != nullptr;
        lock.unlock();

        bool reduced = false;
        std::exception_ptr error;
        if (!skip) {
            try {
                const FittedStream fitted =
                    compress_to_fit(slot.raw.data(), options.width, options.height, stride,
                                    options.start_quality, options.fixed_data_size, stream);
                slot.frame.quality = static_cast<std::int16_t>(fitted.quality);
                slot.frame.jpeg.assign(stream.data(), stream.data() + fitted.size);
                reduced = fitted.reduced(options.start_quality);
            } catch (...) {
                error = current_failure("compressing a captured frame");
            }
        }

        lock.lock();
        if (error != nullptr) {
            fail(error);
        }
        if (reduced) {
            ++counters.reduced;
        }
        slot.compressed = true;
        writer_wake.notify_one();
    }
}

void CapturePass::State::flush_sink(std::unique_lock<std::mutex>& lock, std::uint32_t now) {
    appended_since_flush = false;
    last_flush_ms = now;
    lock.unlock();
    std::exception_ptr error;
    try {
        sink.flush();
    } catch (...) {
        error = current_failure("flushing the captured frames");
    }
    lock.lock();
    if (error != nullptr) {
        fail(error);
    }
}

void CapturePass::State::write_loop() {
    std::unique_lock lock(mutex);
    const auto next_ready = [this] { return next_write < next_store && slot_of(next_write).compressed; };
    for (;;) {
        while (!abandon && next_ready()) {
            Slot& slot = slot_of(next_write);
            const bool skip = failure != nullptr;
            lock.unlock();
            std::exception_ptr error;
            if (!skip) {
                try {
                    sink.append(slot.frame);
                } catch (...) {
                    error = current_failure("keeping a captured frame");
                }
            }
            lock.lock();
            if (error != nullptr) {
                fail(error);
            } else if (!skip) {
                const auto size = static_cast<std::int32_t>(slot.frame.jpeg.size());
                ++counters.written;
                counters.largest = std::max(counters.largest, size);
                counters.smallest = counters.smallest == 0 ? size : std::min(counters.smallest, size);
                appended_since_flush = true;
            }
            slot.compressed = false;
            ++next_write;
            slot_freed.notify_one();
        }
        if (abandon) {
            break;
        }
        if (finishing && next_write == next_store) {
            if (failure == nullptr) {
                flush_sink(lock, clock.millis());
            }
            break;
        }
        // The clock is read after the checks asked so far were seen, so a check asked after the
        // clock moved sees it move.
        const std::uint64_t asked = checks_asked;
        if (failure == nullptr && appended_since_flush) {
            const std::uint32_t now = clock.millis();
            if (elapsed_ms(last_flush_ms, now) >= kFlushIntervalMs) {
                flush_sink(lock, now);
            }
        }
        if (checks_done != asked) {
            checks_done = asked;
            writer_done.notify_all();
        }
        const auto woken = [&] {
            return abandon || next_ready() || checks_asked != checks_done ||
                   (finishing && next_write == next_store);
        };
        if (appended_since_flush && failure == nullptr) {
            writer_wake.wait_for(lock, kFlushPoll, woken);
        } else {
            writer_wake.wait(lock, woken);
        }
    }
    writer_ended = true;
    writer_done.notify_all();
}

void CapturePass::State::stop_threads() noexcept {
    for (std::thread& t : threads) {
        if (t.joinable()) {
            t.join();
        }
    }
}

CapturePass::CapturePass(const CapturePassOptions& options, CompressedFrameSink& sink, const Clock& clock) {
    try {
        state_ = std::make_unique<State>(options, sink, clock);
    } catch (const std::bad_alloc&) {
        throw VeltroError(err::OutOfMemory, "Not enough memory for " + std::to_string(options.raw_buffers) +
                                                " raw pictures of " + picture_text(options) + " pixels");
    }
    unsigned workers = options.workers;
    if (workers == 0) {
        const unsigned processors = std::thread::hardware_concurrency();
        workers = processors > 1 ? processors - 1 : 1;
    }
    State& s = *state_;
    try {
        s.threads.reserve(workers + 1);
        s.threads.emplace_back([&s] { s.write_loop(); });
        for (unsigned i = 0; i < workers; ++i) {
            s.threads.emplace_back([&s] { s.compress_loop(); });
        }
    } catch (const std::system_error& e) {
        {
            std::lock_guard lock(s.mutex);
            s.abandon = true;
        }
        s.work_queued.notify_all();
        s.writer_wake.notify_all();
        s.stop_threads();
        throw VeltroError(err::OutOfMemory, std::string("Cannot start the compression threads: ") + e.what());
    }
}

CapturePass::~CapturePass() {
    State& s = *state_;
    {
        std::lock_guard lock(s.mutex);
        s.abandon = true;
    }
    s.work_queued.notify_all();
    s.writer_wake.notify_all();
    s.stop_threads();
}

CapturePass::Stored CapturePass::store(const std::uint8_t* pixels, std::size_t length,
                                       std::int32_t capture_mill, std::int32_t capture_delta,
                                       std::int32_t capture_local) {
    State& s = *state_;
    if (pixels == nullptr || length < s.picture_bytes) {
        throw VeltroError(err::SubscriptOutOfRange,
                          "A captured frame of " + std::to_string(pixels == nullptr ? 0 : length) +
                              " bytes is too small for a " + picture_text(s.options) + " picture (" +
                              std::to_string(s.picture_bytes) + " bytes); not stored");
    }
    std::unique_lock lock(s.mutex);
    if (s.finishing || s.abandon) {
        throw VeltroError(err::InternalError, "The capture pass has ended; the frame is not stored");
    }
    if (s.counters.stored >= s.options.max_frames) {
        return Stored::Full;
    }
    if (!s.slot_free() && s.failure == nullptr) {
        // Counted as it begins, so that a wait that lasts shows at once.
        ++s.counters.waits;
        const auto begin = std::chrono::steady_clock::now();
        s.slot_freed.wait(lock, [&s] { return s.slot_free() || s.failure != nullptr; });
        const auto waited = std::chrono::steady_clock::now() - begin;
        s.counters.wait_us += std::chrono::duration_cast<std::chrono::microseconds>(waited).count();
    }
    // After a failure nothing reaches the sink any more, so the frame is only counted.
    if (s.failure == nullptr) {
        // The free slot of the next frame is the window thread's alone until the frame is counted in.
        State::Slot& slot = s.slot_of(s.next_store);
        lock.unlock();
        std::memcpy(slot.raw.data(), pixels, s.picture_bytes);
        slot.frame.capture_mill = capture_mill;
        slot.frame.capture_delta = capture_delta;
        slot.frame.capture_local = capture_local;
        lock.lock();
        ++s.next_store;
    }
    ++s.counters.stored;
    const bool last = s.counters.stored == s.options.max_frames;
    lock.unlock();
    s.work_queued.notify_one();
    return last ? Stored::Last : Stored::Kept;
}

void CapturePass::finish() {
    State& s = *state_;
    {
        std::lock_guard lock(s.mutex);
        if (s.finished) {
            return;
        }
        s.finishing = true;
    }
    s.work_queued.notify_all();
    s.writer_wake.notify_all();
    s.stop_threads();
    std::exception_ptr failure;
    {
        std::lock_guard lock(s.mutex);
        s.finished = true;
        failure = s.failure;
    }
    if (failure != nullptr) {
        std::rethrow_exception(failure);
    }
}

void CapturePass::check_flush() {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    if (s.writer_ended || s.finishing || s.abandon) {
        return;
    }
    const std::uint64_t ticket = ++s.checks_asked;
    s.writer_wake.notify_one();
    s.writer_done.wait(lock, [&s, ticket] { return s.checks_done >= ticket || s.writer_ended; });
}

CapturePassCounters CapturePass::counters() const {
    std::lock_guard lock(state_->mutex);
    return state_->counters;
}

} // namespace veltro
