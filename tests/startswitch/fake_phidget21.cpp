// A stand-in for the interface-kit vendor's C library: the calls the program makes, over one
// make-believe kit that the tests plug in, unplug and switch through the fake_kit_* calls. Like the
// real library it calls the handlers on a thread of its own, attaches only a kit whose serial the
// handle was opened for, and calls no handler of a handle once it is closed.
#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kInvalidArg = 4;
constexpr int kNotAttached = 5;
constexpr int kOutOfBounds = 14;
constexpr int kLines = 16;

using AttachHandler = int (*)(void* kit, void* user);
using ErrorHandler = int (*)(void* kit, void* user, int code, const char* text);
using InputHandler = int (*)(void* kit, void* user, int index, int state);

struct Kit {
    AttachHandler on_attach = nullptr;
    void* attach_user = nullptr;
    AttachHandler on_detach = nullptr;
    void* detach_user = nullptr;
    InputHandler on_input = nullptr;
    void* input_user = nullptr;
    bool opened = false;
    int serial = -1;
    bool attached = false;
};

// The bus with its one kit, and the library's thread that calls the handlers.
class Bus {
public:
    Bus() : thread_([this] { run(); }) {}
    ~Bus() {
        {
            const std::lock_guard lock(tasks_mutex_);
            stopping_ = true;
        }
        tasks_ready_.notify_all();
        thread_.join();
    }

    // Runs `task` on the library's thread, and waits till it has run when `wait`.
    void on_thread(std::function<void()> task, bool wait = true) {
        if (std::this_thread::get_id() == thread_.get_id()) {
            task();
            return;
        }
        auto done = std::make_shared<bool>(false);
        {
            const std::lock_guard lock(tasks_mutex_);
            tasks_.push_back([task = std::move(task), done, this] {
                task();
                const std::lock_guard l(tasks_mutex_);
                *done = true;
            });
        }
        tasks_ready_.notify_all();
        if (wait) {
            std::unique_lock lock(tasks_mutex_);
            tasks_done_.wait(lock, [&] { return *done; });
        }
    }

    std::mutex mutex; // the state below
    std::condition_variable changed;
    std::vector<Kit*> kits;
    bool present = false;
    int serial = 0;
    int inputs = kLines;
    std::array<int, kLines> in{};
    std::array<int, kLines> out{};
    int fail_open = kOk;

private:
    void run() {
        std::unique_lock lock(tasks_mutex_);
        for (;;) {
            tasks_ready_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) {
                return;
            }
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            tasks_done_.notify_all();
            lock.lock();
        }
    }

    std::mutex tasks_mutex_;
    std::condition_variable tasks_ready_;
    std::condition_variable tasks_done_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

Bus& bus() {
    static Bus b;
    return b;
}

// On the library's thread: attaches the kit on the bus to every open handle that asked for it.
void attach_waiting() {
    Bus& b = bus();
    std::vector<Kit*> taking;
    {
        const std::lock_guard lock(b.mutex);
        if (!b.present) {
            return;
        }
        for (Kit* k : b.kits) {
            if (k->opened && !k->attached && (k->serial == -1 || k->serial == b.serial)) {
                k->attached = true;
                taking.push_back(k);
            }
        }
    }
    for (Kit* k : taking) {
        if (k->on_attach) {
            k->on_attach(k, k->attach_user);
        }
    }
}

// A query of an attached kit; `read` runs under the bus's lock.
int query(void* kit, const std::function<int(Bus&)>& read) {
    if (!kit) {
        return kInvalidArg;
    }
    Bus& b = bus();
    const std::lock_guard lock(b.mutex);
    if (!static_cast<Kit*>(kit)->attached) {
        return kNotAttached;
    }
    return read(b);
}

} // namespace

extern "C" {

int CPhidgetInterfaceKit_create(void** kit) {
    if (!kit) {
        return kInvalidArg;
    }
    auto* k = new Kit;
    Bus& b = bus();
    const std::lock_guard lock(b.mutex);
    b.kits.push_back(k);
    *kit = k;
    return kOk;
}

int CPhidget_set_OnAttach_Handler(void* kit, AttachHandler handler, void* user) {
    const std::lock_guard lock(bus().mutex);
    static_cast<Kit*>(kit)->on_attach = handler;
    static_cast<Kit*>(kit)->attach_user = user;
    return kOk;
}

int CPhidget_set_OnDetach_Handler(void* kit, AttachHandler handler, void* user) {
    const std::lock_guard lock(bus().mutex);
    static_cast<Kit*>(kit)->on_detach = handler;
    static_cast<Kit*>(kit)->detach_user = user;
    return kOk;
}

int CPhidget_set_OnError_Handler(void*, ErrorHandler, void*) {
    return kOk;
}

int CPhidgetInterfaceKit_set_OnInputChange_Handler(void* kit, InputHandler handler, void* user) {
    const std::lock_guard lock(bus().mutex);
    static_cast<Kit*>(kit)->on_input = handler;
    static_cast<Kit*>(kit)->input_user = user;
    return kOk;
}

int CPhidget_open(void* kit, int serial) {
    Bus& b = bus();
    {
        const std::lock_guard lock(b.mutex);
        if (b.fail_open != kOk) {
            return std::exchange(b.fail_open, kOk);
        }
        static_cast<Kit*>(kit)->opened = true;
        static_cast<Kit*>(kit)->serial = serial;
    }
    b.changed.notify_all();
    // The real library finds the kit a little later, on its own thread.
    b.on_thread(attach_waiting, false);
    return kOk;
}

int CPhidget_close(void* kit) {
    // On the library's thread, so no handler of this handle is running or runs later.
    bus().on_thread([kit] {
        const std::lock_guard lock(bus().mutex);
        static_cast<Kit*>(kit)->opened = false;
        static_cast<Kit*>(kit)->attached = false;
    });
    return kOk;
}

int CPhidget_delete(void* kit) {
    Bus& b = bus();
    {
        const std::lock_guard lock(b.mutex);
        b.kits.erase(std::remove(b.kits.begin(), b.kits.end(), static_cast<Kit*>(kit)), b.kits.end());
    }
    delete static_cast<Kit*>(kit);
    return kOk;
}

int CPhidgetInterfaceKit_getInputCount(void* kit, int* count) {
    return query(kit, [&](Bus& b) {
        *count = b.inputs;
        return kOk;
    });
}

int CPhidgetInterfaceKit_getInputState(void* kit, int index, int* state) {
    return query(kit, [&](Bus& b) {
        if (index < 0 || index >= b.inputs) {
            return kOutOfBounds;
        }
        *state = b.in[static_cast<std::size_t>(index)];
        return kOk;
    });
}

int CPhidgetInterfaceKit_setOutputState(void* kit, int index, int state) {
    return query(kit, [&](Bus& b) {
        if (index < 0 || index >= kLines) {
            return kOutOfBounds;
        }
        b.out[static_cast<std::size_t>(index)] = state;
        return kOk;
    });
}

int CPhidget_getSerialNumber(void* kit, int* serial) {
    return query(kit, [&](Bus& b) {
        *serial = b.serial;
        return kOk;
    });
}

int CPhidget_getDeviceName(void* kit, const char** name) {
    return query(kit, [&](Bus&) {
        *name = "Test interface kit";
        return kOk;
    });
}

int CPhidget_getLibraryVersion(const char** version) {
    *version = "Test library 2.1";
    return kOk;
}

int CPhidget_getErrorDescription(int code, const char** text) {
    switch (code) {
    case kNotAttached:
        *text = "no kit is attached";
        return kOk;
    case 13:
        *text = "the kit did not answer in time";
        return kOk;
    default:
        return kInvalidArg;
    }
}

// ---- For the tests ----

// Resets the bus: no kit, every line low, no failure armed.
void fake_kit_reset() {
    Bus& b = bus();
    const std::lock_guard lock(b.mutex);
    b.present = false;
    b.in = {};
    b.out = {};
    b.fail_open = kOk;
}

// Unplugs the kit.
void fake_kit_detach() {
    Bus& b = bus();
    b.on_thread([&b] {
        std::vector<Kit*> losing;
        {
            const std::lock_guard lock(b.mutex);
            b.present = false;
            for (Kit* k : b.kits) {
                if (k->attached) {
                    k->attached = false;
                    losing.push_back(k);
                }
            }
        }
        for (Kit* k : losing) {
            if (k->on_detach) {
                k->on_detach(k, k->detach_user);
            }
        }
    });
}

// Plugs in a kit with `serial` and `inputs` digital inputs (its outputs start low); returns how many
// open handles took it. A kit already there is unplugged first.
int fake_kit_attach(int serial, int inputs) {
    fake_kit_detach();
    Bus& b = bus();
    int taken = 0;
    b.on_thread([&] {
        {
            const std::lock_guard lock(b.mutex);
            b.present = true;
            b.serial = serial;
            b.inputs = std::clamp(inputs, 0, kLines);
            b.out = {};
            taken = static_cast<int>(std::count_if(b.kits.begin(), b.kits.end(), [&](const Kit* k) {
                return k->opened && (k->serial == -1 || k->serial == serial);
            }));
        }
        attach_waiting();
    });
    return taken;
}

// Sets input `index`; the handlers hear of it when it changes while the kit is attached.
void fake_kit_input(int index, int state) {
    if (index < 0 || index >= kLines) {
        return;
    }
    Bus& b = bus();
    b.on_thread([&] {
        std::vector<Kit*> told;
        {
            const std::lock_guard lock(b.mutex);
            const auto i = static_cast<std::size_t>(index);
            if (b.in[i] == state) {
                return;
            }
            b.in[i] = state;
            for (Kit* k : b.kits) {
                if (k->attached && index < b.inputs) {
                    told.push_back(k);
                }
            }
        }
        for (Kit* k : told) {
            if (k->on_input) {
                k->on_input(k, k->input_user, index, state);
            }
        }
    });
}

// What the program set output `index` to on the attached kit (0 after each plug-in).
int fake_kit_output(int index) {
    Bus& b = bus();
    const std::lock_guard lock(b.mutex);
    return index >= 0 && index < kLines ? b.out[static_cast<std::size_t>(index)] : -1;
}

// Makes the next CPhidget_open fail with `code`.
void fake_kit_fail_open(int code) {
    const std::lock_guard lock(bus().mutex);
    bus().fail_open = code;
}

// Handles created and not yet deleted.
int fake_kit_handles() {
    const std::lock_guard lock(bus().mutex);
    return static_cast<int>(bus().kits.size());
}

// Waits up to `timeout_ms` until a handle is open; 1 when one is.
int fake_kit_wait_open(int timeout_ms) {
    Bus& b = bus();
    std::unique_lock lock(b.mutex);
    return b.changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                              [&b] {
                                  return std::any_of(b.kits.begin(), b.kits.end(),
                                                     [](const Kit* k) { return k->opened; });
                              })
               ? 1
               : 0;
}

} // extern "C"
