#include "capture/capture_thread.h"

#include "support/veltro_error.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace veltro {

namespace {
// How often a lost device's descriptor is looked at while it stays readable.
constexpr int kLostPollMs = 200;
} // namespace

CaptureThread::CaptureThread(std::function<void()> dispatch, std::function<bool()> lost)
    : dispatch_(std::move(dispatch)), lost_(std::move(lost)) {
    control_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (control_fd_ < 0) {
        throw VeltroError(err::kOutOfMemory,
                          std::string("Cannot start the capture thread: ") + std::strerror(errno));
    }
    thread_ = std::thread([this] { run(); });
}

CaptureThread::~CaptureThread() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake();
    thread_.join();
    ::close(control_fd_);
}

void CaptureThread::wake() {
    const std::uint64_t one = 1;
    (void)!::write(control_fd_, &one, sizeof one);
}

void CaptureThread::watch(int fd) {
    std::unique_lock lock(mutex_);
    wanted_fd_ = fd;
    const std::uint64_t ticket = ++watch_asked_;
    wake();
    done_.wait(lock, [&] { return watch_done_ >= ticket || quit_; });
}

void CaptureThread::sync() {
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = ++sync_asked_;
    wake();
    done_.wait(lock, [&] { return sync_done_ >= ticket || quit_; });
}

void CaptureThread::run() {
    int fd = -1;
    bool resting = false; // the device is lost: its descriptor is looked at a few times a second
    for (;;) {
        pollfd fds[2] = {{control_fd_, POLLIN, 0}, {fd, POLLIN, 0}};
        const nfds_t count = fd >= 0 && !resting ? 2 : 1;
        const int timeout = fd >= 0 && resting ? kLostPollMs : -1;
        const int n = ::poll(fds, count, timeout);
        if (n < 0 && errno != EINTR) {
            // Nothing to wait on that works: look again shortly rather than spin.
            ::poll(nullptr, 0, kLostPollMs);
        }
        bool dispatch_now = count == 2 && (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        if (resting && n == 0) {
            dispatch_now = true;
        }
        std::uint64_t sync_ticket = 0;
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t value = 0;
            (void)!::read(control_fd_, &value, sizeof value);
            std::lock_guard lock(mutex_);
            if (quit_) {
                return;
            }
            if (watch_done_ != watch_asked_) {
                fd = wanted_fd_;
                resting = false;
                watch_done_ = watch_asked_;
                done_.notify_all();
            }
            if (sync_done_ != sync_asked_) {
                sync_ticket = sync_asked_;
                dispatch_now = true;
            }
        }
        if (dispatch_now) {
            dispatch_();
            resting = lost_ && lost_();
        }
        if (sync_ticket != 0) {
            std::lock_guard lock(mutex_);
            sync_done_ = sync_ticket;
            done_.notify_all();
        }
    }
}

} // namespace veltro
