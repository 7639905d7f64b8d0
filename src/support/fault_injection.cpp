#include "support/fault_injection.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace veltro::fault_injection {

namespace detail {
std::atomic<bool> armed{false};
} // namespace detail

namespace {
std::atomic<int> sync_delay{0};
std::atomic<bool> syncs_held{false};
std::mutex hold_lock;
std::condition_variable hold_released;
} // namespace

void slow_syncs(int ms) noexcept {
    sync_delay.store(ms, std::memory_order_relaxed);
}

void hold_syncs(bool held) {
    {
        std::lock_guard lock(hold_lock);
        syncs_held = held;
    }
    hold_released.notify_all();
}

void before_sync() {
    if (const int ms = sync_delay.load(std::memory_order_relaxed); ms > 0) [[unlikely]] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    if (syncs_held.load()) [[unlikely]] {
        std::unique_lock lock(hold_lock);
        hold_released.wait(lock, [] { return !syncs_held.load(); });
    }
}

namespace {

// Operations come from several threads (the capture pass writes its spool on its own); the armed
// state is rare, so one lock is enough.
struct State {
    std::mutex lock;
    Fault fault;
    int nth = 0;
    int seen = 0;       // operations of the fault's kind since arming
    int operations = 0; // operations of any kind since arming
    bool fired = false;
    bool disk_full = false; // a short write happened: the next write meets a full disk
};

State& state() {
    static State s;
    return s;
}

bool counts_for(Kind kind, Op op) {
    switch (kind) {
    case Kind::error:
        return true;
    case Kind::short_write:
        return op == Op::write;
    case Kind::sync_error:
        return op == Op::sync;
    }
    return false;
}

} // namespace

void arm(int nth, const Fault& fault) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    s.fault = fault;
    s.nth = nth;
    s.seen = 0;
    s.operations = 0;
    s.fired = false;
    s.disk_full = false;
    detail::armed.store(true, std::memory_order_relaxed);
}

void disarm() noexcept {
    State& s = state();
    const std::lock_guard guard(s.lock);
    detail::armed.store(false, std::memory_order_relaxed);
    s.nth = 0;
    s.disk_full = false;
}

bool fired() noexcept {
    State& s = state();
    const std::lock_guard guard(s.lock);
    return s.fired;
}

int operations() noexcept {
    State& s = state();
    const std::lock_guard guard(s.lock);
    return s.operations;
}

Verdict on_operation(Op op, std::size_t size) noexcept {
    State& s = state();
    const std::lock_guard guard(s.lock);
    ++s.operations;
    if (s.disk_full && op == Op::write) {
        s.disk_full = false;
        return {ENOSPC, 0};
    }
    if (s.nth <= 0 || s.fired || !counts_for(s.fault.kind, op) || ++s.seen != s.nth) {
        return {0, size};
    }
    s.fired = true;
    if (s.fault.kind != Kind::short_write) {
        return {s.fault.errnum, 0};
    }
    s.disk_full = true;
    const std::size_t most = size > 0 ? size - 1 : 0;
    const std::size_t take = s.fault.short_bytes > 0 ? s.fault.short_bytes : size / 2;
    return {0, take < most ? take : most};
}

} // namespace veltro::fault_injection
