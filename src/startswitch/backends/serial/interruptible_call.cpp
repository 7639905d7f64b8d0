#include "startswitch/backends/serial/interruptible_call.h"

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <unistd.h>
#include <utility>

namespace veltro {

namespace {

// Repeats the signal until the call is back: covers a signal that came just before it was entered.
constexpr long kRepeatNs = 1000000;

void on_wait_signal(int) {}

int choose_signal() {
    // From the top, where other code is least likely to have made a claim.
    for (int s = SIGRTMAX; s >= SIGRTMIN; --s) {
        struct sigaction old {};
        if (::sigaction(s, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction sa {};
        sa.sa_handler = on_wait_signal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0; // no SA_RESTART: the blocked call must come back with EINTR
        if (::sigaction(s, &sa, nullptr) == 0) {
            return s;
        }
    }
    return 0;
}

timespec from_ns(long long ns) {
    return {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

} // namespace

int InterruptibleCall::signal_number() {
    static const int number = choose_signal();
    return number;
}

InterruptibleCall::~InterruptibleCall() {
    if (have_timer_) {
        ::timer_delete(timer_);
    }
}

int InterruptibleCall::prepare() {
    const pid_t thread = ::gettid();
    if (have_timer_ && timer_thread_ == thread) {
        return 0;
    }
    const int number = signal_number();
    if (number == 0) {
        return EAGAIN;
    }
    if (have_timer_) {
        ::timer_delete(timer_);
        have_timer_ = false;
    }
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = number;
#ifdef sigev_notify_thread_id
    event.sigev_notify_thread_id = thread;
#else
    event._sigev_un._tid = thread;
#endif
    if (::timer_create(CLOCK_MONOTONIC, &event, &timer_) != 0) {
        return errno;
    }
    have_timer_ = true;
    timer_thread_ = thread;
    // A thread started with the signal blocked would never be woken.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, number);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return 0;
}

bool InterruptibleCall::arm(long long first_ns) {
    itimerspec when{};
    when.it_value = from_ns(first_ns);
    when.it_interval = from_ns(kRepeatNs);
    armed_ = ::timer_settime(timer_, 0, &when, nullptr) == 0;
    return armed_;
}

void InterruptibleCall::disarm() {
    if (armed_) {
        const itimerspec stop{};
        ::timer_settime(timer_, 0, &stop, nullptr);
        armed_ = false;
    }
}

InterruptibleCall::Result InterruptibleCall::run(int timeout_ms, const std::function<int()>& call) {
    std::unique_lock lock(mutex_);
    if (const int error = prepare()) {
        return {Outcome::Failed, 0, error};
    }
    if (std::exchange(interrupted_, false)) {
        return {Outcome::Interrupted};
    }
    // A zero timeout still has to fire: a zero it_value would disarm the timer instead.
    if (timeout_ms >= 0 && !arm(timeout_ms > 0 ? timeout_ms * 1000000LL : 1)) {
        return {Outcome::Failed, 0, errno};
    }
    waiting_ = true;
    lock.unlock();

    errno = 0;
    const int value = call();
    const int error = value == -1 ? errno : 0;

    lock.lock();
    waiting_ = false;
    disarm();
    const bool interrupted = std::exchange(interrupted_, false);
    if (value != -1 || error != EINTR) {
        return {Outcome::Done, value, error};
    }
    return {interrupted ? Outcome::Interrupted : Outcome::TimedOut};
}

void InterruptibleCall::interrupt() {
    const std::lock_guard lock(mutex_);
    interrupted_ = true;
    if (waiting_) {
        arm(1);
    }
}

} // namespace veltro
