#include "picture/jpeg_codec.h"
#include "picture/test_picture.h"
#include "recording/capture_pass.h"
#include "support/clocks.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace veltro {
namespace {

// An odd width, so rows carry padding.
constexpr std::int32_t kWidth = 98;
constexpr std::int32_t kHeight = 64;

std::vector<cDIBSection> pictures(int count) {
    std::vector<cDIBSection> out(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        out[i].Create(kWidth, kHeight);
        Render_Test_Picture(out[i], i);
    }
    return out;
}

std::vector<std::uint8_t> jpeg_of(const cDIBSection& picture, int quality) {
    std::vector<std::uint8_t> out(200000);
    std::int32_t size = static_cast<std::int32_t>(out.size());
    JPG_From_DIB(picture, out.data(), size, quality);
    out.resize(static_cast<std::size_t>(size));
    return out;
}

// Keeps what it is given and which threads called it, and checks that they called one at a time.
// Appends wait while the test holds them, and frame `throw_at` fails.
class TestSink : public CompressedFrameSink {
public:
    const CapturePass* pass = nullptr; // to see how many frames were stored while one is appended
    std::size_t raw_buffers = 0;

    void append(const CompressedFrame& frame) override {
        enter();
        std::unique_lock lock(mutex_);
        ++attempts_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !held_; });
        if (pass != nullptr) {
            // The frame being appended still holds its raw buffer.
            EXPECT_LE(pass->counters().stored, static_cast<std::int32_t>(frames.size() + raw_buffers));
        }
        if (attempts_ == throw_at) {
            inside_ = false;
            throw VeltroError(err::kDiskFull, "The disk is full");
        }
        frames.push_back(frame);
        changed_.notify_all();
        inside_ = false;
    }
    void flush() override {
        enter();
        std::lock_guard lock(mutex_);
        flushed_at.push_back(frames.size());
        changed_.notify_all();
        inside_ = false;
    }

    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    // Waits until `done` holds of (appends begun, frames kept, flushes).
    template <class Done>
    void wait_until(Done done) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return done(attempts_, frames.size(), flushed_at.size()); });
    }
    std::size_t flushes() {
        std::lock_guard lock(mutex_);
        return flushed_at.size();
    }

    int throw_at = 0;
    std::vector<CompressedFrame> frames;
    std::vector<std::size_t> flushed_at; // frames appended at each flush
    std::set<std::thread::id> callers;

private:
    void enter() {
        EXPECT_FALSE(inside_.exchange(true)) << "two sink calls at once";
        std::lock_guard lock(mutex_);
        callers.insert(std::this_thread::get_id());
    }
    std::atomic<bool> inside_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int attempts_ = 0;
};

CapturePassOptions options(std::size_t raw_buffers, unsigned workers) {
    CapturePassOptions o;
    o.width = kWidth;
    o.height = kHeight;
    o.raw_buffers = raw_buffers;
    o.workers = workers;
    return o;
}

CapturePass::Stored store(CapturePass& pass, const cDIBSection& picture, std::int32_t n) {
    return pass.store(picture.DIBSectionBitsPtr(), static_cast<std::size_t>(picture.SizeImage()),
                      1000 + 40 * n, 40, 36000000 + n);
}

TEST(CapturePass, FramesReachTheSinkInOrderWithTheirTimesAsTheCodecMakesThem) {
    const auto pics = pictures(12);
    ManualClock clock(5000);
    TestSink sink;
    CapturePass pass(options(3, 4), sink, clock);
    for (int n = 0; n < 12; ++n) {
        EXPECT_EQ(store(pass, pics[n], n), CapturePass::Stored::Kept);
    }
    EXPECT_THROW(pass.store(pics[0].DIBSectionBitsPtr(), pics[0].SizeImage() - 1u, 0, 0, 0), VeltroError);
    pass.finish();
    pass.finish();

    ASSERT_EQ(sink.frames.size(), 12u);
    std::size_t largest = 0;
    for (int n = 0; n < 12; ++n) {
        const CompressedFrame& f = sink.frames[n];
        EXPECT_EQ(f.capture_mill, 1000 + 40 * n);
        EXPECT_EQ(f.capture_delta, 40);
        EXPECT_EQ(f.capture_local, 36000000 + n);
        EXPECT_EQ(f.quality, 80);
        EXPECT_EQ(f.jpeg, jpeg_of(pics[n], 80)) << "frame " << n;
        largest = std::max(largest, f.jpeg.size());
    }
    EXPECT_EQ(sink.flushed_at, std::vector<std::size_t>{12}) << "finish flushes every frame once";
    EXPECT_EQ(sink.callers.count(std::this_thread::get_id()), 0u);
    const CapturePassCounters c = pass.counters();
    EXPECT_EQ(c.stored, 12) << "the short frame is not counted";
    EXPECT_EQ(c.written, 12);
    EXPECT_EQ(c.reduced, 0);
    EXPECT_EQ(c.largest, static_cast<std::int32_t>(largest));
    EXPECT_GT(c.smallest, 0);

    CapturePassOptions bad = options(2, 1);
    bad.width = 0;
    EXPECT_THROW((CapturePass{bad, sink, clock}), VeltroError);
    bad = options(0, 1);
    EXPECT_THROW((CapturePass{bad, sink, clock}), VeltroError);
}

// Frames of an MJPEG camera: each stream is copied as it came, a worker decodes its window, and a
// frame whose window does not decode is left out and told, also when it is the last one.
TEST(CapturePass, JpegFramesGiveTheirWindowsAndDamagedOnesAreLeftOutInOrder) {
    constexpr std::int32_t kSourceW = 160;
    constexpr std::int32_t kSourceH = 96;
    const JpegBand window{30, 16, kWidth, kHeight};
    std::vector<std::vector<std::uint8_t>> sent;
    std::vector<cDIBSection> windows;
    for (int i = 0; i < 3; ++i) {
        cDIBSection source;
        source.Create(kSourceW, kSourceH);
        Render_Test_Picture(source, i);
        sent.push_back(jpeg_of(source, 90));
        cDIBSection whole;
        ASSERT_TRUE(DIB_From_JPG(whole, sent.back().data(), static_cast<std::int32_t>(sent.back().size())));
        cDIBSection crop;
        crop.Create(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y) {
            std::memcpy(crop.scan_line(y), whole.scan_line(y + window.top) + window.left * 3, kWidth * 3);
        }
        windows.push_back(std::move(crop));
    }
    const std::vector<std::uint8_t> cut(sent[1].begin(),
                                        sent[1].begin() + static_cast<std::ptrdiff_t>(sent[1].size() / 2));
    const std::vector<const std::vector<std::uint8_t>*> order{&sent[0], &cut, &sent[1], &cut, &sent[2], &cut};

    ManualClock clock(5000);
    TestSink sink;
    CapturePassOptions o = options(2, 3);
    std::mutex told_mutex;
    std::vector<std::int32_t> told;
    o.corrupt_frame = [&](std::int32_t mill, const std::string& why) {
        std::lock_guard lock(told_mutex);
        told.push_back(mill);
        EXPECT_FALSE(why.empty());
    };
    CapturePass pass(o, sink, clock);
    for (std::size_t n = 0; n < order.size(); ++n) {
        const JpegWindowFrame frame{order[n]->data(), order[n]->size(), kSourceW, kSourceH, window};
        EXPECT_EQ(pass.store_jpeg(frame, 1000 + 8 * static_cast<std::int32_t>(n), 8, 0),
                  CapturePass::Stored::Kept);
    }
    EXPECT_THROW(
        pass.store_jpeg({sent[0].data(), sent[0].size(), kSourceW, kSourceH, {0, 0, kWidth, 8}}, 0, 0, 0),
        VeltroError);
    pass.drain();
    pass.finish();

    ASSERT_EQ(sink.frames.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sink.frames[i].capture_mill, 1000 + 16 * static_cast<std::int32_t>(i));
        EXPECT_EQ(sink.frames[i].jpeg, jpeg_of(windows[i], 80)) << "frame " << i;
    }
    std::sort(told.begin(), told.end());
    EXPECT_EQ(told, (std::vector<std::int32_t>{1008, 1024, 1040}));
    const CapturePassCounters c = pass.counters();
    EXPECT_EQ(c.stored, 3);
    EXPECT_EQ(c.written, 3);
    EXPECT_EQ(c.corrupt, 3);
}

// A disk that hangs (a flush of a second, a USB stick) holds up the writer, never the capture thread:
// store() returns at once for every frame, and the frames wait in memory until the sink takes them.
TEST(CapturePass, ASinkThatHangsNeverHoldsUpStoreAndEveryFrameIsKept) {
    const auto pics = pictures(20);
    ManualClock clock;
    TestSink sink;
    sink.hold();
    CapturePass pass(options(2, 2), sink, clock);
    for (int n = 0; n < 20; ++n) {
        EXPECT_EQ(store(pass, pics[n], n), CapturePass::Stored::Kept); // would hang before the change
    }
    sink.wait_until([](int begun, auto, auto) { return begun == 1; });
    sink.release();
    pass.drain();
    EXPECT_EQ(sink.frames.size(), 20u) << "drained: every frame stored is in the sink";
    pass.finish();

    ASSERT_EQ(sink.frames.size(), 20u);
    for (int n = 0; n < 20; ++n) {
        EXPECT_EQ(sink.frames[n].capture_mill, 1000 + 40 * n);
    }
    const CapturePassCounters c = pass.counters();
    EXPECT_EQ(c.written, 20);
    EXPECT_EQ(c.lost, 0);
    EXPECT_LE(c.raw_buffers, 20);
    EXPECT_GT(c.waiting_max, 0);
    EXPECT_EQ(sink.callers.count(std::this_thread::get_id()), 0u) << "the sink is never called from store()";
}

TEST(CapturePass, StreamsAboveTheRecordSizeAreCompressedAgainAtLowerQualities) {
    const auto pics = pictures(4);
    std::size_t smallest = 999999;
    for (const auto& p : pics) {
        smallest = std::min(smallest, jpeg_of(p, 80).size());
    }
    ManualClock clock;
    for (const std::int32_t data_size : {static_cast<std::int32_t>(smallest * 7 / 10), 300}) {
        TestSink sink;
        CapturePassOptions o = options(2, 2);
        o.fixed_data_size = data_size;
        CapturePass pass(o, sink, clock);
        for (int n = 0; n < 4; ++n) {
            store(pass, pics[n], n);
        }
        pass.finish();
        ASSERT_EQ(sink.frames.size(), 4u);
        for (int n = 0; n < 4; ++n) {
            const CompressedFrame& f = sink.frames[n];
            ASSERT_LT(f.quality, 80);
            ASSERT_LE(f.jpeg.size(), static_cast<std::size_t>(data_size));
            auto expected = jpeg_of(pics[n], f.quality);
            if (f.quality == 1 && expected.size() > static_cast<std::size_t>(data_size)) {
                expected.resize(static_cast<std::size_t>(data_size)); // cut at quality 1
            }
            EXPECT_EQ(f.jpeg, expected) << "record size " << data_size << ", frame " << n;
        }
        EXPECT_EQ(pass.counters().reduced, 4);
    }
}

TEST(CapturePass, FrameLimitEndsThePassWithLastThenFull) {
    const auto pics = pictures(1);
    ManualClock clock;
    TestSink sink;
    CapturePassOptions o = options(2, 1);
    o.max_frames = 3;
    CapturePass pass(o, sink, clock);
    EXPECT_EQ(store(pass, pics[0], 0), CapturePass::Stored::Kept);
    EXPECT_EQ(store(pass, pics[0], 1), CapturePass::Stored::Kept);
    EXPECT_EQ(store(pass, pics[0], 2), CapturePass::Stored::Last);
    EXPECT_EQ(store(pass, pics[0], 3), CapturePass::Stored::Full);
    pass.finish();
    EXPECT_EQ(sink.frames.size(), 3u);
    EXPECT_EQ(pass.counters().stored, 3);
}

TEST(CapturePass, SinkFailureStopsTheWritingAndFinishRethrowsIt) {
    const auto pics = pictures(1);
    ManualClock clock;
    TestSink sink;
    sink.throw_at = 3;
    CapturePass pass(options(2, 2), sink, clock);
    for (int n = 0; n < 30; ++n) {
        store(pass, pics[0], n);
    }
    try {
        pass.finish();
        ADD_FAILURE() << "finish() kept quiet about the failure";
    } catch (const VeltroError& e) {
        EXPECT_EQ(e.number(), err::kDiskFull);
    }
    EXPECT_NO_THROW(pass.finish());
    EXPECT_EQ(sink.frames.size(), 2u);
    EXPECT_TRUE(sink.flushed_at.empty()) << "nothing is flushed after a failure";
    EXPECT_EQ(pass.counters().stored, 30);
    EXPECT_EQ(pass.counters().written, 2);

    // Destroyed without finish(), after a failure.
    TestSink other;
    other.throw_at = 1;
    auto failed = std::make_unique<CapturePass>(options(1, 1), other, clock);
    store(*failed, pics[0], 0);
    other.wait_until([](int begun, auto, auto) { return begun == 1; });
    EXPECT_NO_THROW(failed.reset());
}

TEST(CapturePass, SinkIsFlushedOnceASecondOfTheClockWhileFramesCome) {
    const auto pics = pictures(1);
    ManualClock clock(5000);
    TestSink sink;
    CapturePass pass(options(2, 1), sink, clock);
    store(pass, pics[0], 0);
    store(pass, pics[0], 1);
    sink.wait_until([](int, std::size_t kept, auto) { return kept == 2; });
    clock.advance(999);
    pass.check_flush();
    EXPECT_EQ(sink.flushes(), 0u);
    clock.advance(1);
    pass.check_flush();
    EXPECT_EQ(sink.flushes(), 1u);
    clock.advance(5000);
    pass.check_flush();
    EXPECT_EQ(sink.flushes(), 1u) << "no frame came since the flush";
    // A frame after a second of the clock is flushed without being asked.
    store(pass, pics[0], 2);
    sink.wait_until([](int, auto, std::size_t flushes) { return flushes == 2; });
    pass.finish();
    EXPECT_EQ(sink.flushed_at, (std::vector<std::size_t>{2, 3, 3}));
}

} // namespace
} // namespace veltro
