#include "startswitch/backends/device_kit.h"

#include "support/trace.h"

#include <algorithm>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace veltro {

namespace {

void signal_fd(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd, &one, sizeof one);
}

void drain_fd(int fd) {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(fd, &count, sizeof count);
}

} // namespace

DeviceKit::DeviceKit(std::unique_ptr<KitDriver> driver, Options options, const Clock& clock)
    : driver_(std::move(driver)), options_(options), clock_(clock) {
    event_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    stop_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    lines_.fill(LineDebouncer(options_.debounce_ms));
}

DeviceKit::~DeviceKit() {
    if (thread_.joinable()) {
        stopping_ = true;
        signal_fd(stop_fd_);
        driver_->wake();
        thread_.join();
    }
    if (open_) {
        close_device(false);
    }
    for (const int fd : {event_fd_, stop_fd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void DeviceKit::open() {
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { run(); });
    }
}

bool DeviceKit::input_state(std::int16_t index) const {
    return attached_ && index >= 0 && index < kInputs && inputs_[static_cast<std::size_t>(index)];
}

bool DeviceKit::output_state(std::int16_t index) const {
    const std::lock_guard lock(mutex_);
    return index == 0 && output_;
}

void DeviceKit::output_state(std::int16_t index, bool value) {
    if (index != 0) {
        return;
    }
    const std::lock_guard lock(mutex_);
    output_ = value;
    if (open_) {
        driver_->set_output(value);
    }
}

std::string DeviceKit::problem() const {
    const std::lock_guard lock(mutex_);
    return problem_;
}

void DeviceKit::run() {
    std::vector<KitDriverEvent> events;
    while (!stopping_) {
        if (!open_ && !open_device()) {
            pause(options_.retry_ms);
            continue;
        }
        events.clear();
        bool alive = driver_->wait(wait_timeout(), events);
        // The time first, then whatever the driver holds by then, and only then are windows closed:
        // every edge stamped before that time has been seen, even when this thread was held up
        // between two reads of a burst. Else the rest of a bounce read too late would leave the
        // contact reported at rest where it only bounced.
        const std::uint32_t now = clock_.millis();
        while (!events.empty()) {
            for (const KitDriverEvent& e : events) {
                handle(e);
            }
            events.clear();
            if (alive) {
                alive = driver_->wait(0, events);
            }
        }
        settle(now);
        if (!alive && !stopping_) {
            close_device(true);
        }
    }
}

bool DeviceKit::open_device() {
    std::string why;
    {
        const std::lock_guard lock(mutex_);
        why = driver_->open();
        open_ = why.empty();
        if (open_) {
            problem_.clear();
            driver_->set_output(output_);
        } else if (why != problem_) {
            problem_ = why;
            Trace("*Interface kit: ", why);
        }
    }
    if (open_ && !driver_->reports_attach()) {
        device_attached();
    }
    return open_;
}

void DeviceKit::close_device(bool report) {
    {
        const std::lock_guard lock(mutex_);
        driver_->close();
        open_ = false;
    }
    if (device_attached_ && report) {
        post({Event::Kind::Detach});
    }
    device_attached_ = false;
}

void DeviceKit::device_attached() {
    const KitLevels raw = driver_->levels();
    Event e{Event::Kind::Attach};
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        e.levels[i] = raw[i] != options_.inverted[i];
        lines_[i].reset(e.levels[i]);
    }
    e.serial = driver_->serial();
    device_attached_ = true;
    post(e);
}

void DeviceKit::handle(const KitDriverEvent& e) {
    switch (e.kind) {
    case KitDriverEvent::Kind::Attached:
        device_attached();
        break;
    case KitDriverEvent::Kind::Detached:
        if (device_attached_) {
            device_attached_ = false;
            post({Event::Kind::Detach});
        }
        break;
    case KitDriverEvent::Kind::Edge: {
        if (!device_attached_ || e.slot < 0 || e.slot >= kInputs) {
            break;
        }
        const auto slot = static_cast<std::size_t>(e.slot);
        if (const auto change = lines_[slot].edge(e.level != options_.inverted[slot], e.stamp)) {
            post({Event::Kind::Input, e.slot, change->level, change->stamp});
        }
        break;
    }
    }
}

void DeviceKit::settle(std::uint32_t now) {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (const auto change = lines_[i].settle(now)) {
            post({Event::Kind::Input, static_cast<std::int16_t>(i), change->level, change->stamp});
        }
    }
}

int DeviceKit::wait_timeout() const {
    std::optional<std::int32_t> soonest;
    const std::uint32_t now = clock_.millis();
    for (const LineDebouncer& line : lines_) {
        if (const auto deadline = line.deadline()) {
            const std::int32_t left = std::max(elapsed_ms(now, *deadline), 0);
            soonest = soonest ? std::min(*soonest, left) : left;
        }
    }
    return soonest ? static_cast<int>(*soonest) + 1 : -1;
}

bool DeviceKit::pause(int ms) {
    pollfd p{stop_fd_, POLLIN, 0};
    return ::poll(&p, 1, ms) == 0;
}

void DeviceKit::post(Event e) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(e);
    }
    signal_fd(event_fd_);
}

void DeviceKit::dispatch() {
    drain_fd(event_fd_);
    for (;;) {
        Event e;
        {
            const std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                return;
            }
            e = queue_.front();
            queue_.pop_front();
        }
        switch (e.kind) {
        case Event::Kind::Attach:
            attached_ = true;
            serial_ = e.serial;
            inputs_ = e.levels;
            if (OnAttach) {
                OnAttach();
            }
            break;
        case Event::Kind::Detach:
            attached_ = false;
            inputs_ = {};
            if (OnDetach) {
                OnDetach();
            }
            break;
        case Event::Kind::Input:
            inputs_[static_cast<std::size_t>(e.index)] = e.state;
            if (OnInputChange) {
                OnInputChange(e.index, e.state, e.stamp);
            }
            break;
        }
    }
}

} // namespace veltro
