#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace veltro {

// The thread that takes a capture device's frames: it waits on the device's descriptor and calls
// `dispatch` whenever frames are ready, so no window, dialog or slow disk stands between the device
// and its frames. `dispatch` takes its own locks; the thread holds none while it calls it.
class CaptureThread {
public:
    // `lost` (called on the thread after each dispatch) says the device is lost: while it is away its
    // descriptor may stay readable, so the thread looks again only a few times a second then.
    CaptureThread(std::function<void()> dispatch, std::function<bool()> lost);
    ~CaptureThread();
    CaptureThread(const CaptureThread&) = delete;
    CaptureThread& operator=(const CaptureThread&) = delete;

    // Watches `fd` from now on (-1: nothing). Returns once the thread has let go of the descriptor it
    // watched before, so that descriptor may be closed then.
    void watch(int fd);
    // Has the thread dispatch now, whatever its descriptor says, and returns when it has: every frame
    // the device had ready when this was called has been taken. For a capture end, and for tests
    // whose devices run on a clock that moves only when told.
    void sync();

private:
    void run();
    void wake();

    std::function<void()> dispatch_;
    std::function<bool()> lost_;
    int control_fd_ = -1;

    std::mutex mutex_;
    std::condition_variable done_;
    int wanted_fd_ = -1;
    std::uint64_t watch_asked_ = 0;
    std::uint64_t watch_done_ = 0;
    std::uint64_t sync_asked_ = 0;
    std::uint64_t sync_done_ = 0;
    bool quit_ = false;
    std::thread thread_;
};

} // namespace veltro
