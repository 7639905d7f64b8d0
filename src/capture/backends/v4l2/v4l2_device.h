#pragma once

#include "capture/capture_backends.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/time.h>
#include <vector>

namespace veltro {

// Capture devices of the V4L2 interface: every video node that can capture and stream. The friendly
// name is the device's card name; the formats are its own pixel formats with each frame size and
// frame interval it lists. Frames are taken with memory-mapped streaming through libv4l2, which
// converts whatever the device sends into BGR rows, and are turned bottom-up for the program.

// Time per frame in 100 ns units for a frame interval of num/den seconds, halves to even; 0 for a
// zero denominator.
std::int64_t v4l2_avg_time_per_frame(std::uint32_t num, std::uint32_t den);

// The format record of one device format (pixel format, size, frame interval).
MediaType v4l2_describe_format(std::uint32_t pixelformat, std::uint32_t width, std::uint32_t height,
                               std::uint32_t interval_num, std::uint32_t interval_den);

// A buffer's driver time stamp on the PC millisecond counter. Only monotonic stamps share the
// counter's base; for any other kind (or none) the moment is unknown.
std::optional<std::uint32_t> v4l2_stamp_to_mill(const timeval& stamp, std::uint32_t buffer_flags);

// Copies `height` top-down BGR rows of `src_stride` bytes into bottom-up rows padded to 4 bytes.
void v4l2_rows_to_bottom_up(const std::uint8_t* src, std::int32_t width, std::int32_t height,
                            std::int32_t src_stride, std::uint8_t* dst);

class V4L2Device final : public CaptureDevice {
public:
    V4L2Device(std::string path, std::string card, std::string description, std::vector<MediaType> formats,
               std::vector<std::pair<std::uint32_t, std::uint32_t>> intervals);
    ~V4L2Device() override;
    V4L2Device(const V4L2Device&) = delete;
    V4L2Device& operator=(const V4L2Device&) = delete;

    std::string Friendly_Name() const override { return card_; }
    std::string Description() const override { return description_; }
    const std::vector<MediaType>& Formats() const override { return formats_; }
    std::string Start(std::size_t index) override;
    void Stop() override;
    int Event_fd() const override { return fd_; }
    void dispatch(const FrameCallback& deliver) override;

private:
    struct Mapped {
        void* start = nullptr;
        std::size_t length = 0;
    };

    std::string path_;
    std::string card_;
    std::string description_;
    std::vector<MediaType> formats_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> intervals_; // per format: num, den
    int fd_ = -1;
    std::vector<Mapped> buffers_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t stride_ = 0;
    std::vector<std::uint8_t> frame_;
};

// The capture devices under `dev_dir` (video0, video1, ... in number order).
std::vector<std::unique_ptr<CaptureDevice>> enumerate_v4l2_devices(const std::string& dev_dir = "/dev");

// Adds the V4L2 capture devices of this machine to the program's back ends.
void register_v4l2_backend(CaptureBackends& backends);

} // namespace veltro
