#include "capture/backends/v4l2/v4l2_device.h"

#include "capture/backends/v4l2/v4l2_controls.h"
#include "capture/mjpeg_frame.h"
#include "support/kernel_stamps.h"
#include "support/numbers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace veltro {

namespace {

constexpr unsigned kBufferCount = 4;
// A sequence number further on than this is the driver starting again, not frames lost.
constexpr std::uint32_t kMaxSequenceGap = 1u << 20;

int xioctl(int fd, unsigned long request, void* arg) {
    int r = 0;
    do {
        r = ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

int retry_ioctl(V4L2Io& io, int fd, unsigned long request, void* arg) {
    int r = 0;
    do {
        r = io.ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

std::string errno_text(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string cut_text(const unsigned char* text, std::size_t size) {
    const auto* c = reinterpret_cast<const char*>(text);
    return std::string(c, strnlen(c, size));
}

// The intervals of one size: each listed one, or the fastest of a range; the current one when the
// driver lists none.
std::vector<std::pair<std::uint32_t, std::uint32_t>> list_intervals(int fd, std::uint32_t pixelformat,
                                                                    std::uint32_t w, std::uint32_t h) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    v4l2_frmivalenum iv{};
    iv.pixel_format = pixelformat;
    iv.width = w;
    iv.height = h;
    for (iv.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &iv) == 0; ++iv.index) {
        if (iv.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            out.emplace_back(iv.discrete.numerator, iv.discrete.denominator);
        } else {
            out.emplace_back(iv.stepwise.min.numerator, iv.stepwise.min.denominator);
            break;
        }
    }
    if (out.empty()) {
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd, VIDIOC_G_PARM, &parm) == 0) {
            out.emplace_back(parm.parm.capture.timeperframe.numerator,
                             parm.parm.capture.timeperframe.denominator);
        } else {
            out.emplace_back(0, 0);
        }
    }
    return out;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> list_sizes(int fd, std::uint32_t pixelformat) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    v4l2_frmsizeenum fs{};
    fs.pixel_format = pixelformat;
    for (fs.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &fs) == 0; ++fs.index) {
        if (fs.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            out.emplace_back(fs.discrete.width, fs.discrete.height);
        } else {
            out.emplace_back(fs.stepwise.max_width, fs.stepwise.max_height);
            break;
        }
    }
    if (out.empty()) {
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd, VIDIOC_G_FMT, &f) == 0) {
            out.emplace_back(f.fmt.pix.width, f.fmt.pix.height);
        }
    }
    return out;
}

std::unique_ptr<CaptureDevice> probe(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    std::unique_ptr<CaptureDevice> device;
    v4l2_capability cap{};
    if (xioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
        const std::uint32_t caps =
            (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if ((caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING)) {
            std::vector<MediaType> formats;
            std::vector<std::pair<std::uint32_t, std::uint32_t>> intervals;
            v4l2_fmtdesc fd_desc{};
            fd_desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            for (fd_desc.index = 0; xioctl(fd, VIDIOC_ENUM_FMT, &fd_desc) == 0; ++fd_desc.index) {
                for (const auto& [w, h] : list_sizes(fd, fd_desc.pixelformat)) {
                    for (const auto& [num, den] : list_intervals(fd, fd_desc.pixelformat, w, h)) {
                        formats.push_back(v4l2_describe_format(fd_desc.pixelformat, w, h, num, den));
                        intervals.emplace_back(num, den);
                    }
                }
            }
            V4L2Identity identity{path, cut_text(cap.card, sizeof cap.card),
                                  cut_text(cap.bus_info, sizeof cap.bus_info),
                                  cut_text(cap.driver, sizeof cap.driver)};
            device =
                std::make_unique<V4L2Device>(std::move(identity), std::move(formats), std::move(intervals));
        }
    }
    close(fd);
    return device;
}

} // namespace

std::int64_t v4l2_avg_time_per_frame(std::uint32_t num, std::uint32_t den) {
    if (den == 0) {
        return 0;
    }
    return div_round_half_even(static_cast<std::int64_t>(num) * 10000000, den);
}

MediaType v4l2_describe_format(std::uint32_t pixelformat, std::uint32_t width, std::uint32_t height,
                               std::uint32_t interval_num, std::uint32_t interval_den) {
    const auto w = static_cast<std::int32_t>(std::min<std::uint32_t>(width, 65535));
    const auto h = static_cast<std::int32_t>(std::min<std::uint32_t>(height, 65535));
    return make_media_type(w, h, v4l2_avg_time_per_frame(interval_num, interval_den), pixelformat, false);
}

std::optional<std::uint32_t> v4l2_stamp_to_mill(const timeval& stamp, std::uint32_t buffer_flags) {
    if ((buffer_flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) != V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC) {
        return std::nullopt;
    }
    if (stamp.tv_sec < 0 || stamp.tv_usec < 0) {
        return std::nullopt;
    }
    return counter_ms_at(static_cast<std::int64_t>(stamp.tv_sec) * 1000000000 +
                         static_cast<std::int64_t>(stamp.tv_usec) * 1000);
}

void v4l2_rows_to_bottom_up(const std::uint8_t* src, std::int32_t width, std::int32_t height,
                            std::int32_t src_stride, std::uint8_t* dst) {
    const std::int32_t dst_stride = cDIBSection::bytes_per_scan_line(width);
    const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* out = dst + static_cast<std::size_t>(height - 1 - y) * dst_stride;
        std::memcpy(out, src + static_cast<std::size_t>(y) * src_stride, row_bytes);
        std::memset(out + row_bytes, 0, static_cast<std::size_t>(dst_stride) - row_bytes);
    }
}

std::string v4l2_lost_reason(const std::string& card, int errnum) {
    switch (errnum) {
    case ENODEV:
    case ENXIO:
        return card + " is no longer connected";
    case EIO:
        return card + " reported an input/output error";
    default:
        return card + ": " + std::strerror(errnum);
    }
}

std::string v4l2_poll_reason(const std::string& card, short revents) {
    if (revents & (POLLHUP | POLLNVAL)) {
        return card + " is no longer connected";
    }
    return card + " reported an error";
}

V4L2Device::V4L2Device(V4L2Identity identity, std::vector<MediaType> formats,
                       std::vector<std::pair<std::uint32_t, std::uint32_t>> intervals, V4L2Io& io)
    : identity_(std::move(identity)), io_(io), formats_(std::move(formats)),
      intervals_(std::move(intervals)) {
    epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
}

V4L2Device::~V4L2Device() {
    Stop();
    if (epoll_fd_ >= 0) {
        close(epoll_fd_);
    }
}

int V4L2Device::open_node(std::string& error) {
    // The same card at the same node, or, after a replug under another number, the node with the same
    // card name and bus. A node that now holds another device is not ours.
    auto identify = [this](const std::string& node, bool needs_bus, std::string& why) {
        const int fd = io_.open(node, O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            why = errno_text("Cannot open " + node);
            return -1;
        }
        v4l2_capability cap{};
        if (retry_ioctl(io_, fd, VIDIOC_QUERYCAP, &cap) < 0) {
            why = errno_text("Cannot ask " + node + " what it is");
            io_.close(fd);
            return -1;
        }
        const std::uint32_t caps =
            (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        const std::string card = cut_text(cap.card, sizeof cap.card);
        if (card != identity_.card) {
            why = node + " is now " + card + ", not " + identity_.card;
        } else if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) {
            why = node + " is a node of " + card + " that cannot capture";
        } else if (needs_bus && cut_text(cap.bus_info, sizeof cap.bus_info) != identity_.bus) {
            why = node + " is " + card + " on another bus";
        } else {
            return fd;
        }
        io_.close(fd);
        return -1;
    };
    if (const int fd = identify(identity_.path, false, error); fd >= 0) {
        return fd;
    }
    const std::string dir = std::filesystem::path(identity_.path).parent_path().string();
    for (const std::string& node : io_.video_nodes(dir)) {
        if (node == identity_.path) {
            continue;
        }
        std::string ignored;
        if (const int fd = identify(node, true, ignored); fd >= 0) {
            identity_.path = node;
            return fd;
        }
    }
    return -1;
}

std::string V4L2Device::start(std::size_t index) {
    if (index >= formats_.size() || !formats_[index].format) {
        return "No such format";
    }
    Stop();
    last_sequence_.reset();
    frames_lost_ = 0;
    const auto& bmi = formats_[index].format->bmi_header;
    // MJPEG is taken as the device sends it: the capture source decodes only the part it keeps.
    jpeg_ = is_jpeg_format(formats_[index]);
    const std::uint32_t pixelformat = jpeg_ ? formats_[index].subtype : V4L2_PIX_FMT_BGR24;
    std::string open_error;
    fd_ = open_node(open_error);
    if (fd_ < 0) {
        return open_error;
    }
    auto fail = [this](const std::string& text) {
        Stop();
        return text;
    };
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = static_cast<std::uint32_t>(bmi.bi_width);
    f.fmt.pix.height = static_cast<std::uint32_t>(bmi.bi_height);
    f.fmt.pix.pixelformat = pixelformat;
    f.fmt.pix.field = V4L2_FIELD_ANY;
    if (retry_ioctl(io_, fd_, VIDIOC_S_FMT, &f) < 0) {
        return fail(errno_text("Cannot set the format"));
    }
    if (f.fmt.pix.pixelformat != pixelformat || f.fmt.pix.width != static_cast<std::uint32_t>(bmi.bi_width) ||
        f.fmt.pix.height != static_cast<std::uint32_t>(bmi.bi_height)) {
        return fail("The device does not deliver " + std::to_string(bmi.bi_width) + "*" +
                    std::to_string(bmi.bi_height) + " pictures in " + (jpeg_ ? "MJPEG" : "BGR"));
    }
    width_ = static_cast<std::int32_t>(f.fmt.pix.width);
    height_ = static_cast<std::int32_t>(f.fmt.pix.height);
    stride_ = static_cast<std::int32_t>(std::max<std::uint32_t>(f.fmt.pix.bytesperline, f.fmt.pix.width * 3));
    formats_[index].interlaced = f.fmt.pix.field == V4L2_FIELD_INTERLACED ||
                                 f.fmt.pix.field == V4L2_FIELD_INTERLACED_TB ||
                                 f.fmt.pix.field == V4L2_FIELD_INTERLACED_BT;

    if (intervals_[index].second != 0) {
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parm.parm.capture.timeperframe.numerator = intervals_[index].first;
        parm.parm.capture.timeperframe.denominator = intervals_[index].second;
        retry_ioctl(io_, fd_, VIDIOC_S_PARM, &parm); // drivers without rate control keep their own
    }

    std::string refused;
    controls_applied_ = v4l2_apply_controls(io_, fd_, controls_, refused);
    if (!refused.empty()) {
        return fail(refused);
    }

    v4l2_requestbuffers req{};
    req.count = kBufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (retry_ioctl(io_, fd_, VIDIOC_REQBUFS, &req) < 0 || req.count == 0) {
        return fail(errno_text("Cannot get capture buffers"));
    }
    for (unsigned i = 0; i < req.count; ++i) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        b.index = i;
        if (retry_ioctl(io_, fd_, VIDIOC_QUERYBUF, &b) < 0) {
            return fail(errno_text("Cannot query a capture buffer"));
        }
        void* p = io_.mmap(b.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, b.m.offset);
        if (p == MAP_FAILED) {
            return fail(errno_text("Cannot map a capture buffer"));
        }
        buffers_.push_back({p, b.length});
        if (retry_ioctl(io_, fd_, VIDIOC_QBUF, &b) < 0) {
            return fail(errno_text("Cannot queue a capture buffer"));
        }
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (retry_ioctl(io_, fd_, VIDIOC_STREAMON, &type) < 0) {
        return fail(errno_text("Cannot start streaming"));
    }
    epoll_event watch{};
    watch.events = EPOLLIN;
    watch.data.fd = fd_;
    if (epoll_fd_ < 0 || epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd_, &watch) < 0) {
        return fail(errno_text("Cannot watch " + identity_.path));
    }
    if (jpeg_) {
        std::size_t largest = 0;
        for (const auto& m : buffers_) {
            largest = std::max(largest, m.length);
        }
        frame_.assign(largest, 0);
    } else {
        frame_.assign(static_cast<std::size_t>(cDIBSection::bytes_per_scan_line(width_)) * height_, 0);
    }
    return {};
}

void V4L2Device::release() {
    if (fd_ < 0) {
        return;
    }
    if (epoll_fd_ >= 0) {
        epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd_, nullptr); // not there when the start failed before it
    }
    // A device that is gone refuses these; its buffers and node are let go all the same.
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    retry_ioctl(io_, fd_, VIDIOC_STREAMOFF, &type);
    for (const auto& m : buffers_) {
        io_.munmap(m.start, m.length);
    }
    buffers_.clear();
    io_.close(fd_);
    fd_ = -1;
}

void V4L2Device::Stop() {
    release();
    lost_.clear();
}

void V4L2Device::lose(const std::string& reason) {
    release();
    lost_ = reason;
}

void V4L2Device::count_sequence(std::uint32_t sequence, bool whole) {
    if (last_sequence_) {
        const std::uint32_t gap = sequence - *last_sequence_ - 1;
        // A driver that numbers nothing (always 0) or starts again is no loss.
        if (sequence != *last_sequence_ && gap < kMaxSequenceGap) {
            frames_lost_ += gap;
        }
    }
    last_sequence_ = sequence;
    if (!whole) {
        ++frames_lost_; // a frame the driver marked as damaged is not passed on
    }
}

void V4L2Device::dispatch(const FrameCallback& deliver) {
    while (fd_ >= 0) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        if (retry_ioctl(io_, fd_, VIDIOC_DQBUF, &b) < 0) {
            if (errno != EAGAIN) {
                lose(v4l2_lost_reason(identity_.card, errno));
                return;
            }
            // Nothing more is ready. A node that hung up or failed says so only through poll, and
            // would keep the window's watch firing.
            pollfd p{fd_, POLLIN, 0};
            if (io_.poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
                lose(v4l2_poll_reason(identity_.card, p.revents));
            }
            return;
        }
        if (jpeg_) {
            dispatch_jpeg(b, deliver);
            continue;
        }
        const bool whole = !(b.flags & V4L2_BUF_FLAG_ERROR) && b.index < buffers_.size() &&
                           static_cast<std::int64_t>(b.bytesused) >=
                               static_cast<std::int64_t>(stride_) * (height_ - 1) + width_ * 3;
        if (whole) {
            v4l2_rows_to_bottom_up(static_cast<const std::uint8_t*>(buffers_[b.index].start), width_, height_,
                                   stride_, frame_.data());
        }
        const auto stamp = v4l2_stamp_to_mill(b.timestamp, b.flags);
        count_sequence(b.sequence, whole);
        retry_ioctl(io_, fd_, VIDIOC_QBUF, &b);
        if (whole) {
            deliver(frame_.data(), static_cast<std::int32_t>(frame_.size()), stamp);
        }
    }
}

void V4L2Device::dispatch_jpeg(v4l2_buffer& b, const FrameCallback& deliver) {
    // Whether the picture in it is whole only a decode can tell: the capture source counts the
    // damaged ones. The buffer goes back to the driver at once, as for rows.
    const bool filled = !(b.flags & V4L2_BUF_FLAG_ERROR) && b.index < buffers_.size() && b.bytesused > 0 &&
                        b.bytesused <= buffers_[b.index].length && b.bytesused <= frame_.size();
    if (filled) {
        std::memcpy(frame_.data(), buffers_[b.index].start, b.bytesused);
    }
    const auto stamp = v4l2_stamp_to_mill(b.timestamp, b.flags);
    count_sequence(b.sequence, filled);
    retry_ioctl(io_, fd_, VIDIOC_QBUF, &b);
    if (filled) {
        deliver(frame_.data(), static_cast<std::int32_t>(b.bytesused), stamp);
    }
}

std::optional<ControlRange> V4L2Device::control(ControlKind kind) {
    if (fd_ >= 0) {
        return v4l2_query_control(io_, fd_, kind);
    }
    std::string error;
    const int fd = open_node(error);
    if (fd < 0) {
        return std::nullopt;
    }
    auto range = v4l2_query_control(io_, fd, kind);
    io_.close(fd);
    return range;
}

std::vector<std::unique_ptr<CaptureDevice>> enumerate_v4l2_devices(const std::string& dev_dir) {
    std::vector<std::unique_ptr<CaptureDevice>> out;
    for (const std::string& node : list_video_nodes(dev_dir)) {
        if (auto device = probe(node)) {
            out.push_back(std::move(device));
        }
    }
    return out;
}

void register_v4l2_backend(CaptureBackends& backends) {
    backends.add({"V4L2", [] { return enumerate_v4l2_devices("/dev"); }});
}

} // namespace veltro
