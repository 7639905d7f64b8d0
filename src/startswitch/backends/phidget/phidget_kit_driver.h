#pragma once

#include "startswitch/backends/phidget/phidget_library.h"
#include "startswitch/kit_driver.h"
#include "support/clocks.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace veltro {

// How the program's inputs sit on a vendor kit.
struct PhidgetWiring {
    // The kits have at most this many digital inputs and as many outputs.
    static constexpr int kLines = 16;

    int serial = -1; // -1: the first kit the library finds
    // The kit's input number for each of the program's inputs; -1: not wired.
    std::array<int, InterfaceKit::kInputs> inputs{-1, -1, -1, -1, -1, -1};
    int led = -1; // the kit's output number; -1: no LED
};

// A start switch on a kit of the vendor's, through its C library loaded at run time. The library
// watches the bus itself and calls its handlers on a thread of its own: each handler only stamps and
// queues what it was told and wakes the kit's thread, so an input edge is stamped the moment the
// library reports it. Attach and detach come from the library; the kit stays open while unplugged.
class PhidgetKitDriver final : public KitDriver {
public:
    // `library`: the names or paths tried, in order, on each open() until one loads.
    // `clock` (not owned, outliving the driver) stamps the changes the library reports.
    PhidgetKitDriver(PhidgetWiring wiring, std::vector<std::string> library, const Clock& clock);
    ~PhidgetKitDriver() override;
    PhidgetKitDriver(const PhidgetKitDriver&) = delete;
    PhidgetKitDriver& operator=(const PhidgetKitDriver&) = delete;

    std::string open() override;
    void close() override;
    KitLevels levels() override;
    bool wait(int timeout_ms, std::vector<KitDriverEvent>& out) override;
    void wake() override;
    void set_output(bool on) override;
    bool reports_attach() const override { return true; }
    std::int32_t serial() const override;
    std::string device_type() const override;
    std::string library_version() const override;

private:
    // What a handler queued; an attach carries the kit's inputs and serial as they were then.
    struct Pending {
        KitDriverEvent event;
        KitLevels levels{};
        std::int32_t serial = 0;
    };

    static int attached(PhidgetApi::Handle kit, void* self);
    static int detached(PhidgetApi::Handle kit, void* self);
    static int failed(PhidgetApi::Handle kit, void* self, int code, const char* text);
    static int input_changed(PhidgetApi::Handle kit, void* self, int index, int state);

    void on_attach(PhidgetApi::Handle kit);
    void apply_output(PhidgetApi::Handle kit);
    void push(Pending pending);

    const PhidgetWiring wiring_;
    const std::vector<std::string> library_;
    const Clock& clock_;
    // The program's input for each of the kit's inputs; -1: not wired.
    std::array<int, PhidgetWiring::kLines> slot_of_{};
    std::atomic<bool> output_{false};

    // The library and the open kit: used by the kit's thread (open, close) and the window thread (the
    // LED), never by the library's handlers, so it is never held while a handler waits.
    mutable std::mutex library_mutex_;
    std::optional<PhidgetApi> api_;
    PhidgetApi::Handle kit_ = nullptr;

    // Between the library's handlers and the kit's thread; never held while calling the library.
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Pending> queue_;
    bool woken_ = false;
    KitLevels levels_{};
    std::int32_t serial_ = 0;
    std::string device_name_;
    std::string version_;
};

} // namespace veltro
