#include "startswitch/backends/phidget/phidget_kit_driver.h"

#include "support/trace.h"

#include <chrono>

namespace veltro {

PhidgetKitDriver::PhidgetKitDriver(PhidgetWiring wiring, std::vector<std::string> library, const Clock& clock)
    : wiring_(wiring), library_(std::move(library)), clock_(clock) {
    slot_of_.fill(-1);
    for (std::size_t slot = 0; slot < wiring_.inputs.size(); ++slot) {
        const int line = wiring_.inputs[slot];
        if (line >= 0 && line < PhidgetWiring::kLines) {
            slot_of_[static_cast<std::size_t>(line)] = static_cast<int>(slot);
        }
    }
}

PhidgetKitDriver::~PhidgetKitDriver() {
    close();
}

std::string PhidgetKitDriver::open() {
    const std::lock_guard lock(library_mutex_);
    if (kit_) {
        return {};
    }
    if (!api_) {
        std::string error;
        api_ = load_phidget_library(library_, error);
        if (!api_) {
            return error;
        }
        const std::string version = api_->version();
        const std::lock_guard queue_lock(mutex_);
        version_ = version;
    }
    PhidgetApi::Handle kit = nullptr;
    if (const int rc = api_->create(&kit); rc != 0 || !kit) {
        return "The Phidget library could not make a kit handle: " + api_->error_text(rc);
    }
    api_->set_on_attach(kit, &attached, this);
    api_->set_on_detach(kit, &detached, this);
    api_->set_on_error(kit, &failed, this);
    api_->set_on_input_change(kit, &input_changed, this);
    if (const int rc = api_->open(kit, wiring_.serial); rc != 0) {
        api_->destroy(kit);
        const std::string which = wiring_.serial < 0 ? "a kit" : "kit " + std::to_string(wiring_.serial);
        return "The Phidget library could not open " + which + ": " + api_->error_text(rc);
    }
    kit_ = kit;
    return {};
}

void PhidgetKitDriver::close() {
    {
        const std::lock_guard lock(library_mutex_);
        if (kit_) {
            // Once closed, the library calls none of our handlers again.
            api_->close(kit_);
            api_->destroy(kit_);
            kit_ = nullptr;
        }
    }
    const std::lock_guard lock(mutex_);
    queue_.clear();
    levels_ = {};
    device_name_.clear();
}

KitLevels PhidgetKitDriver::levels() {
    const std::lock_guard lock(mutex_);
    return levels_;
}

bool PhidgetKitDriver::wait(int timeout_ms, std::vector<KitDriverEvent>& out) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return !queue_.empty() || woken_; };
    if (timeout_ms < 0) {
        ready_.wait(lock, ready);
    } else {
        ready_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
    }
    woken_ = false;
    while (!queue_.empty()) {
        const Pending p = queue_.front();
        queue_.pop_front();
        out.push_back(p.event);
        switch (p.event.kind) {
        case KitDriverEvent::Kind::Edge:
            levels_[static_cast<std::size_t>(p.event.slot)] = p.event.level;
            break;
        case KitDriverEvent::Kind::Detached:
            levels_ = {};
            break;
        case KitDriverEvent::Kind::Attached:
            // The kit reads levels() and serial() for this attach before it sees the edges that
            // followed it, so those wait for the next call.
            levels_ = p.levels;
            serial_ = p.serial;
            return true;
        }
    }
    // An unplugged kit is a detach from the library, which goes on watching for it: the handle
    // itself never fails.
    return true;
}

void PhidgetKitDriver::wake() {
    {
        const std::lock_guard lock(mutex_);
        woken_ = true;
    }
    ready_.notify_all();
}

void PhidgetKitDriver::set_output(bool on) {
    output_ = on;
    const std::lock_guard lock(library_mutex_);
    if (kit_ && wiring_.led >= 0) {
        // Fails while no kit is attached; the attach handler puts the LED right then.
        api_->set_output_state(kit_, wiring_.led, on ? 1 : 0);
    }
}

std::int32_t PhidgetKitDriver::serial() const {
    const std::lock_guard lock(mutex_);
    return serial_;
}

std::string PhidgetKitDriver::device_type() const {
    const std::lock_guard lock(mutex_);
    return device_name_.empty() ? "Phidget interface kit" : device_name_;
}

std::string PhidgetKitDriver::library_version() const {
    const std::lock_guard lock(mutex_);
    return version_;
}

int PhidgetKitDriver::attached(PhidgetApi::Handle kit, void* self) {
    static_cast<PhidgetKitDriver*>(self)->on_attach(kit);
    return 0;
}

int PhidgetKitDriver::detached(PhidgetApi::Handle, void* self) {
    auto* driver = static_cast<PhidgetKitDriver*>(self);
    {
        const std::lock_guard lock(driver->mutex_);
        driver->device_name_.clear();
    }
    Pending p;
    p.event.kind = KitDriverEvent::Kind::Detached;
    driver->push(p);
    return 0;
}

int PhidgetKitDriver::failed(PhidgetApi::Handle, void*, int code, const char* text) {
    Trace("*Interface kit: the Phidget library reports error " + std::to_string(code) + ": " +
          (text ? text : ""));
    return 0;
}

int PhidgetKitDriver::input_changed(PhidgetApi::Handle, void* self, int index, int state) {
    auto* driver = static_cast<PhidgetKitDriver*>(self);
    // First of all: this is the moment of the edge.
    const std::uint32_t stamp = driver->clock_.millis();
    if (index < 0 || index >= PhidgetWiring::kLines) {
        return 0;
    }
    const int slot = driver->slot_of_[static_cast<std::size_t>(index)];
    if (slot < 0) {
        return 0;
    }
    Pending p;
    p.event = {KitDriverEvent::Kind::Edge, static_cast<std::int16_t>(slot), state != 0, stamp};
    driver->push(p);
    return 0;
}

void PhidgetKitDriver::on_attach(PhidgetApi::Handle kit) {
    // The handlers run only while a kit is open, and api_ is never reset once loaded.
    const PhidgetApi& api = *api_;
    Pending p;
    p.event.kind = KitDriverEvent::Kind::Attached;
    int serial = 0;
    api.get_serial_number(kit, &serial);
    p.serial = serial;
    int count = 0;
    if (api.get_input_count(kit, &count) != 0) {
        count = 0;
    }
    for (std::size_t slot = 0; slot < wiring_.inputs.size(); ++slot) {
        const int line = wiring_.inputs[slot];
        if (line < 0) {
            continue;
        }
        if (line >= count) {
            Trace("*Interface kit: the Phidget kit " + std::to_string(serial) + " has " +
                  std::to_string(count) + " inputs, no input " + std::to_string(line));
            continue;
        }
        int state = 0;
        p.levels[slot] = api.get_input_state(kit, line, &state) == 0 && state != 0;
    }
    const char* name = nullptr;
    const std::string device = api.get_device_name(kit, &name) == 0 && name ? name : "";
    apply_output(kit);
    {
        const std::lock_guard lock(mutex_);
        device_name_ = device;
    }
    push(p);
}

void PhidgetKitDriver::apply_output(PhidgetApi::Handle kit) {
    if (wiring_.led < 0) {
        return;
    }
    // The window thread may switch the LED while this runs: whichever came last, the kit ends on it.
    bool on = output_;
    for (;;) {
        api_->set_output_state(kit, wiring_.led, on ? 1 : 0);
        const bool now = output_;
        if (now == on) {
            return;
        }
        on = now;
    }
}

void PhidgetKitDriver::push(Pending pending) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(pending);
    }
    ready_.notify_all();
}

} // namespace veltro
