#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <time.h>

namespace veltro {

// Runs a blocking system call that has neither a timeout nor a descriptor to poll (TIOCMIWAIT) so
// that it still ends when a timeout passes or another thread asks. Both are done with a signal sent
// to the waiting thread only, by a timer of its own: the signal's handler does nothing and is
// installed without SA_RESTART, so the call returns EINTR. A signal that lands just before the call
// is entered would be lost, so the timer keeps firing every millisecond until the call is back; it is
// stopped before run() returns, so no signal ever reaches the thread outside run().
class InterruptibleCall {
public:
    enum class Outcome { Done, TimedOut, Interrupted, Failed };
    struct Result {
        Outcome outcome = Outcome::Done;
        int value = 0; // what the call returned (Done)
        int error = 0; // its errno when it returned -1 (Done), or why waiting failed (Failed)
    };

    InterruptibleCall() = default;
    ~InterruptibleCall();
    InterruptibleCall(const InterruptibleCall&) = delete;
    InterruptibleCall& operator=(const InterruptibleCall&) = delete;

    // Runs `call` on this thread and waits at most `timeout_ms` (-1: until it returns or interrupt()).
    // TimedOut also when some other signal cut the call short. Only one thread runs at a time.
    Result run(int timeout_ms, const std::function<int()>& call);
    // Makes a run() in progress return Interrupted soon, or the next one at once; from any thread.
    void interrupt();

    // The real-time signal the waits use (chosen once per process among those nobody handles);
    // 0 when there is none free.
    static int signal_number();

private:
    int prepare();
    bool arm(long long first_ns);
    void disarm();

    std::mutex mutex_;
    bool interrupted_ = false;
    bool waiting_ = false;
    bool armed_ = false;
    bool have_timer_ = false;
    timer_t timer_{};
    pid_t timer_thread_ = 0;
};

} // namespace veltro
