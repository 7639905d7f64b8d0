#pragma once

#include "capture/backends/aravis/genicam_frames.h"
#include "capture/capture_backends.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Aravis's own types, kept out of the program's headers.
struct _ArvCamera;
struct _ArvStream;

namespace veltro {

// What is known of one GenICam camera before it runs: found by Aravis, opened once to read its
// formats and controls, and let go again (a GigE camera takes one controlling host at a time).
struct GenICamIdentity {
    std::string device_id; // Aravis's name for it ("Fake_1", "<vendor>-<serial>")
    std::string vendor;
    std::string model;
    std::string serial;
    std::string protocol; // "GigEVision", "USB3Vision", "Fake"
};

// An industrial camera (GigE Vision, USB3 Vision, or Aravis's simulated one) through Aravis. Its
// formats are one pixel format (genicam_preferred_format) at its present picture size and at its full
// sensor size, each at the rates genicam_offered_rates gives. Frames come on Aravis's stream thread,
// which only signals event_fd(); dispatch() takes the filled buffers, turns them into the program's
// rows and gives each buffer back, so nothing is allocated per frame. Each frame is stamped with the
// camera's own time stamp put on the monotonic clock (CameraStampMap, the offset fixed at the first
// frame from its host arrival), or its host arrival when the camera gives none.
class AravisCamera final : public CaptureDevice {
public:
    AravisCamera(GenICamIdentity identity, std::uint32_t pixel_format, std::vector<MediaType> formats,
                 std::vector<double> rates, std::optional<ControlRange> exposure,
                 std::optional<ControlRange> gain);
    ~AravisCamera() override;
    AravisCamera(const AravisCamera&) = delete;
    AravisCamera& operator=(const AravisCamera&) = delete;

    std::string friendly_name() const override;
    std::string description() const override;
    const std::vector<MediaType>& formats() const override { return formats_; }
    std::string start(std::size_t index) override;
    void Stop() override;
    // An eventfd, the same from construction to destruction.
    int event_fd() const override { return event_fd_; }
    void dispatch(const FrameCallback& deliver) override;
    std::string lost() const override { return lost_; }
    std::int64_t frames_lost() const override { return frames_lost_; }

    std::optional<ControlRange> control(ControlKind kind) override;
    void set_controls(const ControlChoice& choice) override { choice_ = choice; }
    std::string controls_applied() const override { return applied_; }

    // From Aravis's threads: a buffer is filled, or (`control_lost`) the camera stopped answering.
    void signal(bool control_lost);

private:
    void release();
    std::string apply_controls();

    GenICamIdentity identity_;
    std::uint32_t pixel_format_;
    std::vector<MediaType> formats_;
    std::vector<double> rates_; // per format
    std::optional<ControlRange> exposure_;
    std::optional<ControlRange> gain_;
    ControlChoice choice_;
    std::string applied_;
    int event_fd_ = -1;
    _ArvCamera* camera_ = nullptr;
    _ArvStream* stream_ = nullptr;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::vector<std::uint8_t> frame_;
    CameraStampMap stamps_;
    std::atomic<bool> control_lost_{false};
    std::string lost_;
    std::int64_t frames_lost_ = 0;
    std::uint64_t underruns_ = 0;
};

// The cameras Aravis finds now; its simulated camera ("Fake_1") too when `simulated` is set.
std::vector<std::unique_ptr<CaptureDevice>> enumerate_aravis_cameras(bool simulated);

// Adds the industrial cameras of this machine to the program's back ends, Aravis's simulated camera
// with them when `simulated` is set.
void register_aravis_backend(CaptureBackends& backends, bool simulated);

} // namespace veltro
