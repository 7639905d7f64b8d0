// The window thread's cost of handing a 600*1080 frame to the capture pass, beside a plain copy of the
// same picture: store() should cost about one copy. Between timed frames the pass is left to compress
// and write what it holds, as it does in the 20 to 40 ms between real frames, so the figure is the
// window thread's own work and no wait for a free buffer.
//
// The plain copy runs undisturbed, its source and buffers staying in this processor's caches. In the
// pass another thread compresses each buffer while the storing thread waits, and the buffer and the
// picture come back from other caches or memory; the third figure is the same copy between the same
// compressions on another thread without the pass, which sets the pass's own share apart.

#include "picture/dib_section.h"
#include "picture/jpeg_codec.h"
#include "picture/test_picture.h"
#include "recording/capture_pass.h"
#include "support/clocks.h"

#include <benchmark/benchmark.h>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace veltro;

constexpr std::int32_t kWidth = 600;
constexpr std::int32_t kHeight = 1080;
constexpr std::size_t kRawBuffers = 8;
// Fixed, so that both runs time as many frames and the pass never reaches its frame limit.
constexpr std::int32_t kFrames = 2000;

const cDIBSection& picture() {
    static const cDIBSection dib = [] {
        cDIBSection d;
        d.Create(kWidth, kHeight);
        Render_Test_Picture(d, 5);
        return d;
    }();
    return dib;
}

// Discards every frame; the benchmark waits on it until the pass has written what was stored.
class DiscardSink : public CompressedFrameSink {
public:
    void append(const CompressedFrame&) override {
        std::lock_guard lock(mutex_);
        ++appended_;
        changed_.notify_all();
    }
    void flush() override {}
    void wait_for(std::int64_t frames) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return appended_ >= frames; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t appended_ = 0;
};

void BM_StoreIntoPass(benchmark::State& state) {
    const cDIBSection& dib = picture();
    DiscardSink sink;
    CapturePassOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.raw_buffers = kRawBuffers;
    options.max_frames = kFrames;
    CapturePass pass(options, sink, system_clock());
    std::int64_t stored = 0;
    for (auto _ : state) {
        pass.store(dib.DIBSectionBitsPtr(), static_cast<std::size_t>(dib.SizeImage()),
                   static_cast<std::int32_t>(stored), 20, 0);
        ++stored;
        state.PauseTiming();
        sink.wait_for(stored);
        state.ResumeTiming();
    }
    pass.finish();
    state.counters["lost"] = pass.counters().lost;
    state.SetBytesProcessed(state.iterations() * dib.SizeImage());
}

// The same picture copied into as many buffers, in turn, as the pass has raw buffers: the same
// memory traffic, and the same pauses, without the pass.
void BM_PlainCopy(benchmark::State& state) {
    const cDIBSection& dib = picture();
    const auto bytes = static_cast<std::size_t>(dib.SizeImage());
    std::vector<std::vector<std::uint8_t>> buffers(kRawBuffers, std::vector<std::uint8_t>(bytes, 0));
    std::size_t next = 0;
    for (auto _ : state) {
        std::memcpy(buffers[next].data(), dib.DIBSectionBitsPtr(), bytes);
        benchmark::DoNotOptimize(buffers[next].data());
        next = (next + 1) % kRawBuffers;
        state.PauseTiming();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * dib.SizeImage());
}

// A thread that compresses the buffer it is given while the copying thread waits, as a worker of the
// pass does.
class Compressor {
public:
    Compressor() : thread_([this] { run(); }) {}
    ~Compressor() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    void compress(const std::uint8_t* pixels) {
        std::unique_lock lock(mutex_);
        pixels_ = pixels;
        changed_.notify_all();
        changed_.wait(lock, [this] { return pixels_ == nullptr; });
    }

private:
    void run() {
        std::vector<std::uint8_t> out(static_cast<std::size_t>(picture().SizeImage()));
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stop_ || pixels_ != nullptr; });
            if (stop_) {
                return;
            }
            std::int32_t size = static_cast<std::int32_t>(out.size());
            jpg_from_pixels(pixels_, kWidth, kHeight, cDIBSection::bytes_per_scan_line(kWidth), out.data(),
                            size, 80);
            pixels_ = nullptr;
            changed_.notify_all();
        }
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    const std::uint8_t* pixels_ = nullptr;
    bool stop_ = false;
    std::thread thread_;
};

void BM_CopyCompressedElsewhere(benchmark::State& state) {
    const cDIBSection& dib = picture();
    const auto bytes = static_cast<std::size_t>(dib.SizeImage());
    std::vector<std::vector<std::uint8_t>> buffers(kRawBuffers, std::vector<std::uint8_t>(bytes, 0));
    Compressor compressor;
    std::size_t next = 0;
    for (auto _ : state) {
        std::memcpy(buffers[next].data(), dib.DIBSectionBitsPtr(), bytes);
        benchmark::DoNotOptimize(buffers[next].data());
        state.PauseTiming();
        compressor.compress(buffers[next].data());
        next = (next + 1) % kRawBuffers;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * dib.SizeImage());
}

BENCHMARK(BM_PlainCopy)->Iterations(kFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyCompressedElsewhere)->Iterations(kFrames)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreIntoPass)->Iterations(kFrames)->Unit(benchmark::kMicrosecond);

} // namespace
