// The capture pass: the capture thread copies each frame into a free raw buffer, worker threads
// compress the buffers and give them back at once, and one writer thread hands the streams to the
// sink in capture order.
//
// Why one writer thread rather than "whoever completes the next frame writes it": the sink writes to
// disk and its flush waits for the disk (fdatasync), so a worker caught in it would stop compressing
// while frames queue up behind it; and flushing the frames before a pause in capture needs a thread
// that waits with a timeout anyway. The writer only waits on the disk, so it costs no processor time
// the workers could use.
//
// Nothing the disk does reaches the capture thread: a raw buffer is free again as soon as its frame is
// compressed, and compressed frames wait for the writer in memory (a few tens of kilobytes each). When
// the workers fall behind, more raw buffers are made; only when the stated limits are reached is a
// frame lost, and then it is counted, never waited for: a device's own buffers are few, and a capture
// thread that waits makes the device drop frames that nobody counts.
#include "recording/capture_pass.h"

#include "picture/dib_section.h"
#include "picture/jpeg_band.h"
#include "recording/jpeg_fit.h"
#include "support/clocks.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
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
// Streams kept for reuse once the writer is done with them.
constexpr std::size_t kSpareStreams = 32;

std::string picture_text(const CapturePassOptions& o) {
    return std::to_string(o.width) + " x " + std::to_string(o.height);
}

// Bytes of the picture; the options are refused before any buffer is made when they cannot be met.
std::size_t checked_picture_bytes(const CapturePassOptions& o) {
    if (o.width <= 0 || o.height <= 0 || o.width > 65535 || o.height > 65535) {
        throw VeltroError(err::kSubscriptOutOfRange,
                          "A capture pass cannot take pictures of " + picture_text(o) + " pixels");
    }
    const std::int64_t bytes =
        static_cast<std::int64_t>(cDIBSection::bytes_per_scan_line(o.width)) * o.height;
    if (bytes > std::numeric_limits<std::int32_t>::max()) {
        throw VeltroError(err::kOverflow,
                          "A picture of " + picture_text(o) + " pixels is too large to capture");
    }
    if (o.start_quality < 1 || o.start_quality > 100) {
        throw VeltroError(err::kJpeg, "JPEG quality " + std::to_string(o.start_quality) + " outside 1..100");
    }
    if (o.fixed_data_size < 0 || o.max_frames < 0) {
        throw VeltroError(err::kSubscriptOutOfRange,
                          "A capture pass needs a record size and a frame limit of "
                          "at least 0 (given " +
                              std::to_string(o.fixed_data_size) + " and " + std::to_string(o.max_frames) +
                              ")");
    }
    if (o.raw_buffers == 0) {
        throw VeltroError(err::kSubscriptOutOfRange, "A capture pass needs at least one raw picture buffer");
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
        return std::make_exception_ptr(VeltroError(err::kOutOfMemory, "Out of memory while " + doing));
    } catch (const std::exception& e) {
        return std::make_exception_ptr(
            VeltroError(err::kInternalError, "Failed while " + doing + ": " + e.what()));
    } catch (...) {
        return std::make_exception_ptr(VeltroError(err::kInternalError, "Failed while " + doing));
    }
}

} // namespace

struct CapturePass::State {
    struct Slot {
        std::vector<std::uint8_t> raw;
        JpegWindowFrame jpeg; // width > 0: raw begins with this JPEG picture (its jpg is not used)
        CompressedFrame frame;
        bool claimed = false;    // a worker compresses it
        bool compressed = false; // done (or skipped after a failure)
        bool corrupt = false;    // a JPEG picture whose window did not decode: left out
    };

    State(const CapturePassOptions& o, CompressedFrameSink& s, const Clock& c)
        : options(o), sink(s), clock(c), picture_bytes(checked_picture_bytes(o)),
          stride(cDIBSection::bytes_per_scan_line(o.width)),
          max_slots(std::max(o.raw_buffers, o.max_raw_bytes / picture_bytes)), last_flush_ms(c.millis()) {
        for (std::size_t i = 0; i < o.raw_buffers; ++i) {
            add_slot();
        }
    }

    const CapturePassOptions options;
    CompressedFrameSink& sink;
    const Clock& clock;
    const std::size_t picture_bytes; // first: it checks the options
    const std::int32_t stride;
    const std::size_t max_slots;

    std::vector<std::unique_ptr<Slot>> slots;
    std::vector<Slot*> free_slots;
    std::deque<Slot*> in_flight;       // raw frames in capture order, oldest first
    std::deque<CompressedFrame> ready; // compressed, in capture order, waiting for the writer
    std::size_t ready_bytes = 0;
    std::vector<std::vector<std::uint8_t>> spare_streams;

    mutable std::mutex mutex;
    std::condition_variable work_queued; // workers wait for a frame to compress
    std::condition_variable writer_wake; // the writer waits for the next frame, a flush check or the end
    std::condition_variable writer_done; // check_flush() and drain() wait for the writer

    std::int64_t stored = 0;  // frames taken, raw and compressed
    std::int64_t handled = 0; // frames the writer has handed to the sink or skipped

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

    void add_slot() {
        auto slot = std::make_unique<Slot>();
        // Filled now, so every page is in memory before the frame: the capture thread's copy takes
        // no page faults.
        slot->raw.assign(picture_bytes, 0);
        free_slots.push_back(slot.get());
        slots.push_back(std::move(slot));
        counters.raw_buffers = static_cast<std::int32_t>(slots.size());
    }

    // A free raw buffer, made when none is free and the limit allows; null when it does not.
    Slot* take_slot() {
        if (free_slots.empty()) {
            if (slots.size() >= max_slots) {
                return nullptr;
            }
            try {
                add_slot();
            } catch (const std::bad_alloc&) {
                return nullptr;
            }
        }
        Slot* slot = free_slots.back();
        free_slots.pop_back();
        return slot;
    }

    std::vector<std::uint8_t> spare_stream() {
        if (spare_streams.empty()) {
            return {};
        }
        std::vector<std::uint8_t> s = std::move(spare_streams.back());
        spare_streams.pop_back();
        return s;
    }

    void queue_ready(CompressedFrame&& frame) {
        ready_bytes += frame.jpeg.size();
        counters.waiting_max =
            std::max<std::int64_t>(counters.waiting_max, static_cast<std::int64_t>(ready_bytes));
        ready.push_back(std::move(frame));
    }

    // Compressed raw frames at the front of the line go to the writer, and their buffers are free.
    // A corrupt one is left out as if it had never been stored.
    void release_compressed() {
        bool released = false;
        bool left_out = false;
        while (!in_flight.empty() && in_flight.front()->compressed) {
            Slot* slot = in_flight.front();
            in_flight.pop_front();
            if (slot->corrupt) {
                --stored;
                --counters.stored;
                ++counters.corrupt;
                left_out = true;
            } else {
                queue_ready(std::move(slot->frame));
                slot->frame.jpeg = spare_stream();
            }
            slot->claimed = false;
            slot->compressed = false;
            slot->corrupt = false;
            free_slots.push_back(slot);
            released = true;
        }
        if (released) {
            writer_wake.notify_one();
        }
        if (left_out) {
            writer_done.notify_all(); // drain() may be waiting for this very frame
        }
    }

    void fail(std::exception_ptr error) {
        if (failure == nullptr) {
            failure = std::move(error);
        }
    }

    Slot* next_unclaimed() {
        for (Slot* slot : in_flight) {
            if (!slot->claimed) {
                return slot;
            }
        }
        return nullptr;
    }

    Stored count_in() {
        ++stored;
        ++counters.stored;
        return counters.stored == options.max_frames ? Stored::Last : Stored::Kept;
    }

    // A raw buffer for the next frame; null, with the answer to give, when the frame is not to be
    // copied. The slot is then the capture thread's alone until queue_slot puts it in the line.
    Slot* slot_for_frame(Stored& answer) {
        std::lock_guard lock(mutex);
        if (finishing || abandon) {
            throw VeltroError(err::kInternalError, "The capture pass has ended; the frame is not stored");
        }
        if (counters.stored >= options.max_frames) {
            answer = Stored::Full;
            return nullptr;
        }
        // After a failure nothing reaches the sink any more, so the frame is only counted.
        if (failure != nullptr) {
            ++counters.stored;
            answer = counters.stored == options.max_frames ? Stored::Last : Stored::Kept;
            return nullptr;
        }
        Slot* slot = ready_bytes >= options.max_waiting_bytes ? nullptr : take_slot();
        if (slot == nullptr) {
            ++counters.lost;
            answer = Stored::Lost;
        }
        return slot;
    }

    // The slot, filled by the capture thread outside the lock, joins the line.
    Stored queue_slot(Slot* slot, std::int32_t capture_mill, std::int32_t capture_delta,
                      std::int32_t capture_local) {
        slot->frame.capture_mill = capture_mill;
        slot->frame.capture_delta = capture_delta;
        slot->frame.capture_local = capture_local;
        std::unique_lock lock(mutex);
        in_flight.push_back(slot);
        const Stored result = count_in();
        lock.unlock();
        work_queued.notify_one();
        return result;
    }

    // The window of a JPEG slot as bottom-up rows in `pixels`; false, with the reason, when it does
    // not decode.
    bool decode_window(const Slot& slot, JpegBandDecoder& decoder, std::vector<std::uint8_t>& pixels,
                       std::string& why) const {
        pixels.resize(picture_bytes);
        try {
            decoder.decode_into(slot.raw.data(), slot.jpeg.length, slot.jpeg.width, slot.jpeg.height,
                                slot.jpeg.window,
                                pixels.data() + static_cast<std::size_t>(options.height - 1) * stride,
                                -std::ptrdiff_t{stride});
            return true;
        } catch (const VeltroError& e) {
            why = e.what();
            return false;
        }
    }

    void compress_loop();
    void write_loop();
    void flush_sink(std::unique_lock<std::mutex>& lock, std::uint32_t now);
    void stop_threads() noexcept;
};

void CapturePass::State::compress_loop() {
    std::vector<std::uint8_t> stream;         // this worker's output buffer, kept from frame to frame
    std::unique_ptr<JpegBandDecoder> decoder; // made at this worker's first JPEG frame
    std::vector<std::uint8_t> window;         // the decoded window of a JPEG frame
    std::unique_lock lock(mutex);
    for (;;) {
        Slot* slot = nullptr;
        work_queued.wait(lock, [&] {
            slot = next_unclaimed();
            return abandon || finishing || slot != nullptr;
        });
        if (abandon || slot == nullptr) {
            return;
        }
        slot->claimed = true;
        const bool skip = failure != nullptr;
        lock.unlock();

        bool reduced = false;
        bool corrupt = false;
        std::string why;
        std::exception_ptr error;
        if (!skip) {
            try {
                const std::uint8_t* pixels = slot->raw.data();
                if (slot->jpeg.width > 0) {
                    if (!decoder) {
                        decoder = std::make_unique<JpegBandDecoder>();
                    }
                    corrupt = !decode_window(*slot, *decoder, window, why);
                    pixels = window.data();
                }
                if (!corrupt) {
                    const FittedStream fitted =
                        compress_to_fit(pixels, options.width, options.height, stride, options.start_quality,
                                        options.fixed_data_size, stream);
                    slot->frame.quality = static_cast<std::int16_t>(fitted.quality);
                    slot->frame.jpeg.assign(stream.data(), stream.data() + fitted.size);
                    reduced = fitted.reduced(options.start_quality);
                }
            } catch (...) {
                error = current_failure("compressing a captured frame");
            }
        }
        if (corrupt && options.corrupt_frame) {
            try {
                options.corrupt_frame(slot->frame.capture_mill, why);
            } catch (...) {
                // Telling of it may fail; leaving the frame out may not.
            }
        }

        lock.lock();
        if (error != nullptr) {
            fail(error);
        }
        if (reduced) {
            ++counters.reduced;
        }
        slot->corrupt = corrupt;
        slot->compressed = true;
        release_compressed();
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
    for (;;) {
        while (!abandon && !ready.empty()) {
            CompressedFrame frame = std::move(ready.front());
            ready.pop_front();
            ready_bytes -= frame.jpeg.size();
            const bool skip = failure != nullptr;
            lock.unlock();
            std::exception_ptr error;
            if (!skip) {
                try {
                    sink.append(frame);
                } catch (...) {
                    error = current_failure("keeping a captured frame");
                }
            }
            lock.lock();
            if (error != nullptr) {
                fail(error);
            } else if (!skip) {
                const auto size = static_cast<std::int32_t>(frame.jpeg.size());
                ++counters.written;
                counters.largest = std::max(counters.largest, size);
                counters.smallest = counters.smallest == 0 ? size : std::min(counters.smallest, size);
                appended_since_flush = true;
            }
            if (spare_streams.size() < kSpareStreams) {
                frame.jpeg.clear();
                spare_streams.push_back(std::move(frame.jpeg));
            }
            ++handled;
            writer_done.notify_all();
        }
        if (abandon) {
            break;
        }
        if (finishing && handled == stored) {
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
            return abandon || !ready.empty() || checks_asked != checks_done ||
                   (finishing && handled == stored);
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
        throw VeltroError(err::kOutOfMemory, "Not enough memory for " + std::to_string(options.raw_buffers) +
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
        throw VeltroError(err::kOutOfMemory,
                          std::string("Cannot start the compression threads: ") + e.what());
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
        throw VeltroError(err::kSubscriptOutOfRange,
                          "A captured frame of " + std::to_string(pixels == nullptr ? 0 : length) +
                              " bytes is too small for a " + picture_text(s.options) + " picture (" +
                              std::to_string(s.picture_bytes) + " bytes); not stored");
    }
    Stored answer = Stored::Kept;
    State::Slot* slot = s.slot_for_frame(answer);
    if (slot == nullptr) {
        return answer;
    }
    std::memcpy(slot->raw.data(), pixels, s.picture_bytes);
    slot->jpeg = {};
    return s.queue_slot(slot, capture_mill, capture_delta, capture_local);
}

CapturePass::Stored CapturePass::store_jpeg(const JpegWindowFrame& frame, std::int32_t capture_mill,
                                            std::int32_t capture_delta, std::int32_t capture_local) {
    State& s = *state_;
    if (frame.jpg == nullptr || frame.length == 0 || frame.width <= 0 || frame.height <= 0 ||
        frame.window.width != s.options.width || frame.window.height != s.options.height) {
        throw VeltroError(err::kSubscriptOutOfRange,
                          "A captured JPEG frame of " + std::to_string(frame.length) + " bytes with a " +
                              std::to_string(frame.window.width) + " x " +
                              std::to_string(frame.window.height) + " window does not fit a " +
                              picture_text(s.options) + " pass; not stored");
    }
    Stored answer = Stored::Kept;
    State::Slot* slot = s.slot_for_frame(answer);
    if (slot == nullptr) {
        return answer;
    }
    if (slot->raw.size() < frame.length) {
        // A stream larger than the raw window: rare, and only then does the capture thread allocate.
        try {
            slot->raw.resize(frame.length);
        } catch (const std::bad_alloc&) {
            std::lock_guard lock(s.mutex);
            s.free_slots.push_back(slot);
            ++s.counters.lost;
            return Stored::Lost;
        }
    }
    std::memcpy(slot->raw.data(), frame.jpg, frame.length);
    slot->jpeg = frame;
    slot->jpeg.jpg = nullptr;
    return s.queue_slot(slot, capture_mill, capture_delta, capture_local);
}

CapturePass::Stored CapturePass::store_compressed(CompressedFrame frame) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    if (s.finishing || s.abandon) {
        throw VeltroError(err::kInternalError, "The capture pass has ended; the frame is not stored");
    }
    if (!s.in_flight.empty()) {
        throw VeltroError(err::kInternalError,
                          "A compressed frame must come before the raw frames of a pass");
    }
    if (s.counters.stored >= s.options.max_frames) {
        return Stored::Full;
    }
    if (s.failure == nullptr) {
        s.queue_ready(std::move(frame));
        s.writer_wake.notify_one();
        return s.count_in();
    }
    ++s.counters.stored;
    return s.counters.stored == s.options.max_frames ? Stored::Last : Stored::Kept;
}

void CapturePass::drain() {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    s.writer_done.wait(lock, [&s] { return s.writer_ended || s.handled == s.stored; });
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
