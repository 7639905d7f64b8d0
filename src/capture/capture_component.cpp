#include "capture/capture_component.h"

#include "capture/mjpeg_frame.h"
#include "support/clocks.h"
#include "support/numbers.h"
#include "veltro_version.h"

#include <algorithm>
#include <utility>

namespace veltro {

MediaType make_media_type(std::int32_t width, std::int32_t height, std::int64_t avg_time_per_frame,
                          std::uint32_t subtype, bool interlaced) {
    MediaType m;
    m.subtype = subtype;
    m.interlaced = interlaced;
    VideoInfoHeader v;
    v.rc_source = {0, 0, width, height};
    v.rc_target = {0, 0, width, height};
    v.avg_time_per_frame = avg_time_per_frame;
    v.bmi_header.bi_width = width;
    v.bmi_header.bi_height = height;
    const std::int64_t image = static_cast<std::int64_t>(cDIBSection::bytes_per_scan_line(width)) * height;
    v.bmi_header.bi_size_image = static_cast<std::uint32_t>(image);
    if (avg_time_per_frame > 0) {
        v.dw_bit_rate = static_cast<std::uint32_t>(
            std::min<std::int64_t>(image * 8 * 10000000 / avg_time_per_frame, UINT32_MAX));
    }
    m.format = v;
    return m;
}

namespace {

class DeviceCaptureComponent final : public CaptureComponent {
public:
    DeviceCaptureComponent(std::vector<std::unique_ptr<CaptureDevice>> devices, const Clock& clock)
        : devices_(std::move(devices)), clock_(clock) {}

    ~DeviceCaptureComponent() override { Stop(); }

    std::int32_t Advise(CaptureEventSink& sink) override {
        const std::int32_t cookie = ++last_cookie_;
        sinks_.emplace_back(cookie, &sink);
        return cookie;
    }

    void Unadvise(std::int32_t cookie) override {
        std::erase_if(sinks_, [cookie](const auto& s) { return s.first == cookie; });
    }

    bool SelectSource(const std::string& name) override {
        last_error_.clear();
        const std::string prefix = "video:";
        if (name.compare(0, prefix.size(), prefix) != 0 || !is_decimal_number(name.substr(prefix.size()))) {
            last_error_ = "Unknown source name " + name;
            return false;
        }
        const std::int32_t n = parse_long(name.substr(prefix.size()));
        if (n < 1 || static_cast<std::size_t>(n) > devices_.size()) {
            last_error_ = "No source " + name;
            return false;
        }
        Stop();
        selected_ = devices_[static_cast<std::size_t>(n - 1)].get();
        format_index_ = default_format(selected_->formats());
        max_interval_.clear();
        min_interval_.clear();
        return true;
    }

    void SetProperty(const std::string& name, const std::string& value) override {
        last_error_.clear();
        if (name == "GetIntervals") {
            fill_intervals();
        } else if (name == "CaptureFps") {
            if (!is_decimal_number(value) || parse_long(value) < 0) {
                last_error_ = "CaptureFps needs a whole number, not " + value;
                return;
            }
            max_fps_ = parse_long(value);
        } else if (name == "SetFormat") {
            if (!selected_) {
                last_error_ = "No source selected";
                return;
            }
            const auto& formats = selected_->formats();
            if (!is_decimal_number(value) || parse_long(value) < 0 ||
                static_cast<std::size_t>(parse_long(value)) >= formats.size()) {
                last_error_ = "No format " + value + " on " + selected_->friendly_name();
                return;
            }
            format_index_ = static_cast<std::size_t>(parse_long(value));
        } else {
            last_error_ = "Unknown property " + name;
        }
    }

    std::string GetProperty(const std::string& name) override {
        if (name == "BuildNumber" || name == "buildNumber") {
            return kVersionText;
        }
        if (!selected_) {
            return {};
        }
        if (name == "sourceFriendlyName") {
            return selected_->friendly_name();
        }
        if (name == "sourceDescription") {
            return selected_->description();
        }
        if (name == "numprops") {
            return std::to_string(selected_->formats().size());
        }
        if (name == "MaxInterval") {
            return max_interval_;
        }
        if (name == "MinInterval") {
            return min_interval_;
        }
        return {};
    }

    std::optional<MediaType> get_format_record(const std::string& name) override {
        if (!selected_) {
            return std::nullopt;
        }
        const auto& formats = selected_->formats();
        if (name == "GetProp" || name == "VIDEOINFOHEADER") {
            if (format_index_ >= formats.size()) {
                return std::nullopt;
            }
            return formats[format_index_];
        }
        if (name.size() == 8 && name.compare(0, 6, "getAMT") == 0 && is_decimal_number(name.substr(6))) {
            const std::size_t index = static_cast<std::size_t>(parse_long(name.substr(6)));
            if (index < formats.size()) {
                return formats[index];
            }
        }
        return std::nullopt;
    }

    void Run() override {
        last_error_.clear();
        if (!selected_) {
            last_error_ = "No source selected";
            return;
        }
        if (running_) {
            return;
        }
        if (format_index_ >= selected_->formats().size()) {
            last_error_ = selected_->friendly_name() + " offers no format";
            return;
        }
        last_error_ = selected_->start(format_index_);
        running_ = last_error_.empty();
        note_running_format();
        lost_.clear();
        lost_told_ = 0;
        last_delivered_.reset();
    }

    void Stop() override {
        if (running_ && selected_) {
            selected_->Stop();
        }
        running_ = false;
        lost_.clear();
    }

    std::string LastError() const override { return last_error_; }

    int event_fd() const override { return running_ && selected_ ? selected_->event_fd() : -1; }

    void dispatch() override {
        if (!running_ || !selected_ || !lost_.empty()) {
            return;
        }
        selected_->dispatch(
            [this](const std::uint8_t* frame, std::int32_t length, std::optional<std::uint32_t> arrival) {
                deliver(frame, length, arrival);
            });
        if (const std::int64_t lost = selected_->frames_lost(); lost > lost_told_) {
            const auto sinks = sinks_;
            for (const auto& s : sinks) {
                s.second->on_frames_lost(lost - lost_told_);
            }
            lost_told_ = lost;
        }
        // Said once the device's dispatch is over: a sink that tells the operator may run window
        // events, and with them a reconnect().
        if (running_ && lost_.empty()) {
            lost_ = selected_->lost();
            if (!lost_.empty()) {
                const std::string reason = lost_;
                const auto sinks = sinks_;
                for (const auto& s : sinks) {
                    s.second->on_source_lost(reason);
                }
            }
        }
    }

    std::string source_lost() const override { return running_ ? lost_ : std::string(); }

    bool reconnect() override {
        if (!running_ || !selected_ || lost_.empty()) {
            return false;
        }
        last_error_ = selected_->start(format_index_);
        if (!last_error_.empty()) {
            return false;
        }
        note_running_format();
        lost_.clear();
        lost_told_ = 0;
        last_delivered_.reset();
        return true;
    }

    std::optional<ControlRange> control(ControlKind kind) override {
        return selected_ ? selected_->control(kind) : std::nullopt;
    }
    void set_controls(const ControlChoice& choice) override {
        if (selected_) {
            selected_->set_controls(choice);
        }
    }
    std::string controls_applied() const override {
        return running_ && selected_ ? selected_->controls_applied() : std::string();
    }

private:
    void note_running_format() {
        const MediaType& running = selected_->formats()[format_index_];
        jpeg_frames_ = is_jpeg_format(running) && running.format;
        if (jpeg_frames_) {
            jpeg_width_ = running.format->bmi_header.bi_width;
            jpeg_height_ = running.format->bmi_header.bi_height;
        }
    }

    void deliver(const std::uint8_t* frame, std::int32_t length, std::optional<std::uint32_t> arrival) {
        if (max_fps_ > 0) {
            // Frames closer than 90 % of the limited period to the last one passed on are dropped, so
            // a 50 frames per second source limited to 25 passes every second frame.
            const std::uint32_t at = arrival ? *arrival : clock_.millis();
            if (last_delivered_ &&
                static_cast<std::int64_t>(elapsed_ms(*last_delivered_, at)) * max_fps_ < 900) {
                return;
            }
            last_delivered_ = at;
        }
        const auto sinks = sinks_; // a sink may unadvise itself while it runs
        for (const auto& s : sinks) {
            if (jpeg_frames_) {
                s.second->on_jpeg_event(frame, length, jpeg_width_, jpeg_height_, arrival);
            } else {
                s.second->OnRGBEvent(frame, length, arrival);
            }
        }
    }

    void fill_intervals() {
        if (!selected_) {
            last_error_ = "No source selected";
            return;
        }
        std::optional<std::int64_t> lo;
        std::optional<std::int64_t> hi;
        for (const auto& f : selected_->formats()) {
            if (f.format && f.format->avg_time_per_frame > 0) {
                lo = std::min(lo.value_or(f.format->avg_time_per_frame), f.format->avg_time_per_frame);
                hi = std::max(hi.value_or(f.format->avg_time_per_frame), f.format->avg_time_per_frame);
            }
        }
        min_interval_ = lo ? std::to_string(*lo) : std::string("0");
        max_interval_ = hi ? std::to_string(*hi) : std::string("0");
    }

    std::vector<std::unique_ptr<CaptureDevice>> devices_;
    const Clock& clock_;
    std::vector<std::pair<std::int32_t, CaptureEventSink*>> sinks_;
    std::int32_t last_cookie_ = 0;
    CaptureDevice* selected_ = nullptr;
    std::size_t format_index_ = 0;
    std::int32_t max_fps_ = 0;
    std::optional<std::uint32_t> last_delivered_;
    bool running_ = false;
    bool jpeg_frames_ = false; // the running format sends JPEG pictures of this size, not rows
    std::int32_t jpeg_width_ = 0;
    std::int32_t jpeg_height_ = 0;
    std::string lost_;           // why the running source stopped by itself
    std::int64_t lost_told_ = 0; // frames the device lost that the sinks have heard of
    std::string last_error_;
    std::string max_interval_;
    std::string min_interval_;
};

} // namespace

std::unique_ptr<CaptureComponent> make_capture_component(std::vector<std::unique_ptr<CaptureDevice>> devices,
                                                         const Clock& clock) {
    return std::make_unique<DeviceCaptureComponent>(std::move(devices), clock);
}

} // namespace veltro
