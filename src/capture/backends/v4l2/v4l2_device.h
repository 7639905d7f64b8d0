#pragma once

#include "capture/backends/v4l2/v4l2_io.h"
#include "capture/capture_backends.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/time.h>
#include <vector>

struct v4l2_buffer;

namespace veltro {

// Capture devices of the V4L2 interface: every video node that can capture and stream. The friendly
// name is the device's card name; the formats are its own pixel formats with each frame size and
// frame interval it lists. Frames are taken with memory-mapped streaming through libv4l2, which
// converts whatever the device sends into BGR rows, and are turned bottom-up for the program; MJPEG
// formats are the exception: their pictures are passed on as sent, for the capture source to decode.
//
// A grabber can go on race night: unplugged, switched off, or failing. A dequeue that fails (ENODEV,
// EIO, ...) or a hang-up or error on the node ends the stream at once: the device lets go of its
// buffers and node and says why (lost()); the component tells its sinks. start() then opens it again
// where it is now: at its old node when that is still the same card, else at the node with the same
// card name and bus.

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

// Which device a node is: where it was found, its card name, bus and driver (VIDIOC_QUERYCAP).
struct V4L2Identity {
    std::string path;
    std::string card;
    std::string bus;
    std::string driver;
};

// Why a stream stopped, for the operator: from the errno of a failed dequeue, or from poll flags.
std::string v4l2_lost_reason(const std::string& card, int errnum);
std::string v4l2_poll_reason(const std::string& card, short revents);

class V4L2Device final : public CaptureDevice {
public:
    // `intervals` holds the frame interval (num, den) of each format. `io` (not owned) is the device
    // access, the machine's by default.
    V4L2Device(V4L2Identity identity, std::vector<MediaType> formats,
               std::vector<std::pair<std::uint32_t, std::uint32_t>> intervals, V4L2Io& io = system_v4l2_io());
    ~V4L2Device() override;
    V4L2Device(const V4L2Device&) = delete;
    V4L2Device& operator=(const V4L2Device&) = delete;

    std::string friendly_name() const override { return identity_.card; }
    std::string description() const override { return identity_.driver + " " + identity_.bus; }
    const std::vector<MediaType>& formats() const override { return formats_; }
    std::string start(std::size_t index) override;
    void Stop() override;
    // An epoll descriptor watching the node: the same one from construction to destruction, so the
    // window keeps watching it while the device is opened again, perhaps at another node.
    int event_fd() const override { return epoll_fd_; }
    void dispatch(const FrameCallback& deliver) override;
    std::string lost() const override { return lost_; }
    std::int64_t frames_lost() const override { return frames_lost_; }
    // Exposure and gain (v4l2_controls.h); asked of the running node, or of the node opened for it.
    std::optional<ControlRange> control(ControlKind kind) override;
    void set_controls(const ControlChoice& choice) override { controls_ = choice; }
    std::string controls_applied() const override { return controls_applied_; }

    // The node opened last (it changes when the device comes back under another number).
    const std::string& path() const { return identity_.path; }

private:
    struct Mapped {
        void* start = nullptr;
        std::size_t length = 0;
    };

    // Opens the device: its node when that is still this card, else the node of this card and bus.
    // Returns the descriptor, or -1 with `error` set.
    int open_node(std::string& error);
    // Lets go of the stream, the buffers and the node.
    void release();
    void lose(const std::string& reason);
    void count_sequence(std::uint32_t sequence, bool whole);
    // Passes on the JPEG picture in dequeued buffer `b` and queues the buffer again.
    void dispatch_jpeg(v4l2_buffer& b, const FrameCallback& deliver);

    V4L2Identity identity_;
    V4L2Io& io_;
    std::vector<MediaType> formats_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> intervals_; // per format: num, den
    int epoll_fd_ = -1;
    int fd_ = -1;
    std::string lost_;
    std::vector<Mapped> buffers_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t stride_ = 0;
    bool jpeg_ = false; // the format runs as MJPEG: frame_ holds one picture as the device sent it
    std::vector<std::uint8_t> frame_;
    // The driver numbers every frame, also those it had no free buffer for: a gap is frames lost.
    std::optional<std::uint32_t> last_sequence_;
    std::int64_t frames_lost_ = 0;
    ControlChoice controls_;
    std::string controls_applied_;
};

// The capture devices under `dev_dir` (video0, video1, ... in number order).
std::vector<std::unique_ptr<CaptureDevice>> enumerate_v4l2_devices(const std::string& dev_dir);

// Adds the V4L2 capture devices of this machine to the program's back ends.
void register_v4l2_backend(CaptureBackends& backends);

} // namespace veltro
