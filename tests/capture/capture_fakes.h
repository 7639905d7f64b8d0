#pragma once

#include "capture/capture_component.h"

#include <memory>
#include <string>
#include <vector>

namespace veltro::testing {

// A source with fixed formats that never delivers frames by itself: tests hand frames to the
// capture object directly.
class FakeDevice final : public CaptureDevice {
public:
    FakeDevice(std::string name, std::vector<MediaType> formats)
        : name_(std::move(name)), formats_(std::move(formats)) {}
    std::string friendly_name() const override { return name_; }
    std::string description() const override { return "fake " + name_; }
    const std::vector<MediaType>& formats() const override { return formats_; }
    std::string start(std::size_t index) override {
        started_format = static_cast<int>(index);
        applied = controls_text(exposure ? chosen.exposure_us : std::nullopt,
                                gain ? chosen.gain : std::nullopt, gain ? gain->unit : "");
        return {};
    }
    void Stop() override { started_format = -1; }
    int event_fd() const override { return -1; }
    void dispatch(const FrameCallback&) override {}
    std::optional<ControlRange> control(ControlKind kind) override {
        return kind == ControlKind::Exposure ? exposure : gain;
    }
    void set_controls(const ControlChoice& choice) override { chosen = choice; }
    std::string controls_applied() const override { return applied; }

    int started_format = -1;
    // Its controls (none unless given), the choice its next start sets, and what the last one set.
    std::optional<ControlRange> exposure;
    std::optional<ControlRange> gain;
    ControlChoice chosen;
    std::string applied;

private:
    std::string name_;
    std::vector<MediaType> formats_;
};

// Forwards to a component and writes down every call, so tests can see the order of the calls.
class LoggingComponent final : public CaptureComponent {
public:
    explicit LoggingComponent(std::unique_ptr<CaptureComponent> inner, std::vector<std::string>& log)
        : inner_(std::move(inner)), log_(log) {}
    std::int32_t Advise(CaptureEventSink& sink) override {
        log_.push_back("Advise");
        return inner_->Advise(sink);
    }
    void Unadvise(std::int32_t cookie) override {
        log_.push_back("Unadvise");
        inner_->Unadvise(cookie);
    }
    bool SelectSource(const std::string& name) override {
        log_.push_back("SelectSource " + name);
        return inner_->SelectSource(name);
    }
    void SetProperty(const std::string& name, const std::string& value) override {
        log_.push_back("SetProperty " + name + " " + value);
        inner_->SetProperty(name, value);
    }
    std::string GetProperty(const std::string& name) override { return inner_->GetProperty(name); }
    std::optional<MediaType> get_format_record(const std::string& name) override {
        return inner_->get_format_record(name);
    }
    void Run() override {
        log_.push_back("Run");
        inner_->Run();
    }
    void Stop() override {
        log_.push_back("Stop");
        inner_->Stop();
    }
    std::string LastError() const override { return inner_->LastError(); }
    int event_fd() const override { return inner_->event_fd(); }
    void dispatch() override { inner_->dispatch(); }
    std::string source_lost() const override { return inner_->source_lost(); }
    bool reconnect() override {
        log_.push_back("Reconnect");
        return inner_->reconnect();
    }

private:
    std::unique_ptr<CaptureComponent> inner_;
    std::vector<std::string>& log_;
};

inline MediaType hd_format(std::int64_t avg_time_per_frame = 400000) {
    return make_media_type(1920, 1080, avg_time_per_frame, fourcc('B', 'G', 'R', '3'), false);
}

} // namespace veltro::testing
