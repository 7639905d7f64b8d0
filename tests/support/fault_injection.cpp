#include "support/fault_injection.h"

#include "support/file_io.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace veltro::fault_injection {
namespace {

using Op = DiskFaults::Op;

bool counts_for(Kind kind, Op op) {
    switch (kind) {
    case Kind::error:
        return true;
    case Kind::short_write:
        return op == Op::Write;
    case Kind::sync_error:
        return op == Op::Sync;
    }
    return false;
}

// Operations come from several threads (the capture pass writes its spool on its own); the armed
// state is rare, so one lock is enough.
class Injector final : public DiskFaults {
public:
    std::atomic<bool> armed{false};
    std::mutex lock;
    Fault fault;
    int nth = 0;
    int seen = 0;       // operations of the fault's kind since arming
    int operations = 0; // operations of any kind since arming
    bool fired = false;
    bool disk_full = false; // a short write happened: the next write meets a full disk

    std::atomic<int> sync_delay{0};
    std::atomic<bool> syncs_held{false};
    std::mutex hold_lock;
    std::condition_variable hold_released;

    int on_operation(Op op, std::size_t& size) noexcept override {
        if (!armed.load(std::memory_order_relaxed)) {
            return 0;
        }
        const std::lock_guard guard(lock);
        ++operations;
        if (disk_full && op == Op::Write) {
            disk_full = false;
            return ENOSPC;
        }
        if (nth <= 0 || fired || !counts_for(fault.kind, op) || ++seen != nth) {
            return 0;
        }
        fired = true;
        if (fault.kind != Kind::short_write) {
            return fault.errnum;
        }
        disk_full = true;
        const std::size_t most = size > 0 ? size - 1 : 0;
        const std::size_t take = fault.short_bytes > 0 ? fault.short_bytes : size / 2;
        size = take < most ? take : most;
        return 0;
    }

    void before_sync() override {
        if (const int ms = sync_delay.load(std::memory_order_relaxed); ms > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
        if (syncs_held.load()) {
            std::unique_lock hold(hold_lock);
            hold_released.wait(hold, [this] { return !syncs_held.load(); });
        }
    }
};

// Installed on first use, and for good: the file calls of other threads may still be asking it.
Injector& injector() {
    static Injector* const installed = [] {
        static Injector one;
        install_disk_faults(&one);
        return &one;
    }();
    return *installed;
}

} // namespace

void arm(int nth, const Fault& fault) {
    Injector& s = injector();
    const std::lock_guard guard(s.lock);
    s.fault = fault;
    s.nth = nth;
    s.seen = 0;
    s.operations = 0;
    s.fired = false;
    s.disk_full = false;
    s.armed.store(true, std::memory_order_relaxed);
}

void disarm() noexcept {
    Injector& s = injector();
    const std::lock_guard guard(s.lock);
    s.armed.store(false, std::memory_order_relaxed);
    s.nth = 0;
    s.disk_full = false;
}

bool fired() noexcept {
    Injector& s = injector();
    const std::lock_guard guard(s.lock);
    return s.fired;
}

int operations() noexcept {
    Injector& s = injector();
    const std::lock_guard guard(s.lock);
    return s.operations;
}

void slow_syncs(int ms) noexcept {
    injector().sync_delay.store(ms, std::memory_order_relaxed);
}

void hold_syncs(bool held) {
    Injector& s = injector();
    {
        std::lock_guard guard(s.hold_lock);
        s.syncs_held = held;
    }
    s.hold_released.notify_all();
}

} // namespace veltro::fault_injection
