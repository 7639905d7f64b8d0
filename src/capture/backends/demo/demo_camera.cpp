#include "capture/backends/demo/demo_camera.h"

#include "capture/backends/demo/demo_led.h"
#include "support/clocks.h"
#include "support/settings.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <sys/eventfd.h>
#include <unistd.h>

namespace veltro {

namespace {
// Frames waiting for the capture thread: 80 ms worth, at least three, as a grabber's buffers hold.
std::size_t slot_count(std::int64_t rate) {
    return static_cast<std::size_t>(std::max<std::int64_t>(3, rate * 80 / 1000));
}
constexpr std::int32_t kW = DemoRaceScene::kWidth;
constexpr std::int32_t kH = DemoRaceScene::kHeight;

// The system clock's counter in nanoseconds, for sleeping to each frame's moment: the real-time
// stamps in milliseconds are those of SystemClock::millis().
std::int64_t monotonic_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
} // namespace

DemoCamera::DemoCamera() {
    for (std::size_t i = 0; i < kRates.size(); ++i) {
        // Time per frame in 100 ns units, as a device lists it (120: 83333).
        formats_.push_back(make_media_type(kW, kH, 10000000 / kRates[i], fourcc('B', 'G', 'R', '3'), i == 0));
    }
    event_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

DemoCamera::DemoCamera(const Clock& manual) : DemoCamera() {
    manual_ = &manual;
}

DemoCamera::~DemoCamera() {
    Stop();
    if (event_fd_ >= 0) {
        close(event_fd_);
    }
}

std::string DemoCamera::description() const {
    return "Built-in finish-line scene with six dogs, pictures " + std::to_string(kCaptureDelayMs) +
           " ms late like an HDMI capture device";
}

std::uint32_t DemoCamera::crossing_mill(int box, int lap) const {
    return race_start_ +
           static_cast<std::uint32_t>(lap * DemoRaceScene::kLapMs + DemoRaceScene::crossing_ms(box));
}

// The counter reads the whole milliseconds gone by: a frame is stamped with the millisecond its
// picture arrived in.
std::uint32_t DemoCamera::stamp_of(std::int64_t frame) const {
    return race_start_ + static_cast<std::uint32_t>(moment_ns(frame) / 1000000) + kCaptureDelayMs;
}

void DemoCamera::render(std::uint8_t* into, std::int64_t frame) const {
    const double top = static_cast<double>(moment_ns(frame)) / 1e6;
    const double half = 500.0 / static_cast<double>(rate_);
    scene_.render(into, top, interlaced_ ? top + half : top);
    const std::uint32_t first = race_start_ + static_cast<std::uint32_t>(moment_ns(frame) / 1000000);
    const std::uint32_t second =
        race_start_ + static_cast<std::uint32_t>((moment_ns(frame) + 500000000 / rate_) / 1000000);
    draw_demo_led(into, demo_led().lit_at(first), demo_led().lit_at(interlaced_ ? second : first));
    if (shift_ != SceneShift{}) {
        shift_scene(into, kW, kH, DemoRaceScene::kStride, shift_);
    }
}

std::string DemoCamera::start(std::size_t index) {
    if (index >= formats_.size()) {
        return "No such format";
    }
    Stop();
    try {
        shift_ = parse_scene_shift(Read_Setting(keys::demo_camera_shift));
    } catch (const VeltroError& e) {
        return e.description();
    }
    format_ = index;
    interlaced_ = formats_[index].interlaced;
    rate_ = kRates[index];
    next_frame_ = 0;
    dropped_ = 0;
    running_ = true;
    if (manual_) {
        race_start_ = manual_->millis();
        manual_frame_.assign(static_cast<std::size_t>(DemoRaceScene::kImageSize), 0);
        return {};
    }
    const std::int64_t start_ns = monotonic_ns();
    race_start_ = static_cast<std::uint32_t>(start_ns / 1000000);
    slots_.assign(slot_count(rate_), Slot{});
    for (auto& s : slots_) {
        s.pixels.assign(static_cast<std::size_t>(DemoRaceScene::kImageSize), 0);
    }
    stop_ = false;
    thread_ = std::thread([this, start_ns] { timer_thread(start_ns - start_ns % 1000000); });
    return {};
}

void DemoCamera::Stop() {
    if (!running_) {
        return;
    }
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    running_ = false;
    std::uint64_t count = 0;
    while (read(event_fd_, &count, sizeof count) > 0) {
    }
    std::lock_guard lock(mutex_);
    slots_.clear();
}

void DemoCamera::timer_thread(std::int64_t start_ns) {
    std::int64_t frame = 0;
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(DemoRaceScene::kImageSize));
    while (!stop_) {
        const std::int64_t due = start_ns + moment_ns(frame) + std::int64_t{kCaptureDelayMs} * 1000000;
        // Sleep in short steps so that Stop() never waits long.
        while (!stop_ && monotonic_ns() < due) {
            const std::int64_t step = std::min<std::int64_t>(due - monotonic_ns(), 5000000);
            if (step <= 0) {
                break;
            }
            timespec rel{0, static_cast<long>(step)};
            nanosleep(&rel, nullptr);
        }
        if (stop_) {
            break;
        }
        render(scratch.data(), frame);
        {
            std::lock_guard lock(mutex_);
            Slot* free_slot = nullptr;
            for (auto& s : slots_) {
                if (!s.ready) {
                    free_slot = &s;
                    break;
                }
            }
            if (free_slot) {
                free_slot->pixels.swap(scratch);
                free_slot->stamp = stamp_of(frame);
                free_slot->ready = true;
            } else {
                ++dropped_;
            }
        }
        const std::uint64_t one = 1;
        (void)!write(event_fd_, &one, sizeof one);
        ++frame;
    }
}

void DemoCamera::dispatch(const FrameCallback& deliver) {
    if (!running_) {
        return;
    }
    if (manual_) {
        while (running_ && elapsed_ms(stamp_of(next_frame_), manual_->millis()) >= 0) {
            const std::int64_t frame = next_frame_++;
            if (drop_pending_ > 0) {
                --drop_pending_;
                ++dropped_;
                continue;
            }
            render(manual_frame_.data(), frame);
            deliver(manual_frame_.data(), DemoRaceScene::kImageSize, stamp_of(frame));
        }
        return;
    }
    std::uint64_t count = 0;
    (void)!read(event_fd_, &count, sizeof count);
    std::vector<std::uint8_t>& frame = spare_;
    frame.resize(static_cast<std::size_t>(DemoRaceScene::kImageSize));
    for (;;) {
        std::uint32_t stamp = 0;
        {
            // Oldest ready frame first; its pixels are swapped out so the thread can render on.
            std::lock_guard lock(mutex_);
            Slot* oldest = nullptr;
            for (auto& s : slots_) {
                if (s.ready && (!oldest || elapsed_ms(s.stamp, oldest->stamp) > 0)) {
                    oldest = &s;
                }
            }
            if (!oldest) {
                break;
            }
            oldest->pixels.swap(frame);
            stamp = oldest->stamp;
            oldest->ready = false;
        }
        deliver(frame.data(), DemoRaceScene::kImageSize, stamp);
        if (!running_) {
            break;
        }
    }
}

void register_demo_backend(CaptureBackends& backends) {
    backends.add({"Demo", [] {
                      std::vector<std::unique_ptr<CaptureDevice>> one;
                      one.push_back(std::make_unique<DemoCamera>());
                      return one;
                  }});
    // A newcomer's first heat works with no set-up: the demo race is filmed until a source is chosen.
    if (backends.first_start_source.empty())
        backends.first_start_source = DemoCamera::kFriendlyName;
}

} // namespace veltro
