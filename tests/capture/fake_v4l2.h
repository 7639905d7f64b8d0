#pragma once

#include "capture/backends/v4l2/v4l2_device.h"
#include "support/clocks.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <linux/videodev2.h>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace veltro::testing {

// One node of the fake device.
struct FakeV4L2Node {
    std::string card = "Fake HDMI grabber";
    std::string bus = "usb-0000:00:14.0-2";
    // The size S_FMT answers with, whatever is asked, and bytes of padding after each row.
    std::uint32_t width = 64;
    std::uint32_t height = 48;
    std::uint32_t padding = 0;
    bool capture = true; // false: a metadata node of the same card, which cannot capture
    // An MJPEG camera: the pictures it sends in turn when S_FMT asks for MJPEG, as they are (each of
    // the node's size, or damaged as the test made them). Empty: it sends BGR rows.
    std::vector<std::vector<std::uint8_t>> jpeg_pictures;
};

// A scripted V4L2 device behind the back end's seam, as a grabber behaves on race night. Nodes are
// plugged in and out by path; a streaming node has a picture due every period on the test's clock
// from its STREAMON, stamped with that moment on the monotonic clock, and hands it out in a buffer of
// its own memory. It can fail the next dequeue (ENODEV, EIO, ...), hang up, or lose its signal (no
// picture while it is off). Each open descriptor is an eventfd, so the back end can watch it.
class FakeV4L2 final : public V4L2Io {
public:
    using Node = FakeV4L2Node;

    explicit FakeV4L2(const Clock& clock, std::uint32_t period_ms = 40) : clock_(clock), period_(period_ms) {}
    ~FakeV4L2() override {
        for (auto& [fd, session] : sessions_) {
            ::close(fd);
        }
    }
    FakeV4L2(const FakeV4L2&) = delete;
    FakeV4L2& operator=(const FakeV4L2&) = delete;

    void plug(const std::string& path, Node node = {}) { nodes_[path] = std::move(node); }
    // The device goes: its open descriptors fail every call with ENODEV and hang up; opening its path
    // fails with ENOENT.
    void unplug(const std::string& path) {
        nodes_.erase(path);
        for (auto& [fd, session] : sessions_) {
            if (session.path == path) {
                session.gone = true;
            }
        }
    }
    // The next dequeue on every open descriptor fails with `errnum`; the device stays.
    void fail_next_dequeue(int errnum) {
        for (auto& [fd, session] : sessions_) {
            session.fail_next = errnum;
        }
    }
    // Every open descriptor hangs up (poll: POLLHUP | POLLERR); dequeues find nothing.
    void hang_up() {
        for (auto& [fd, session] : sessions_) {
            session.hung_up = true;
        }
    }
    // No signal: no picture comes while it is off; the first one comes a period after it is back.
    void signal(bool on) {
        signal_ = on;
        for (auto& [fd, session] : sessions_) {
            session.next_due = clock_.millis() + period_;
        }
    }

    // Every call but QBUF and DQBUF, in order: "open /dev/video0", "QUERYCAP", "S_FMT 64*48",
    // "S_PARM 1/25", "REQBUFS 4", "QUERYBUF 0", "STREAMON", "STREAMOFF", "close".
    std::vector<std::string> calls;
    std::atomic<std::int32_t> pictures{0};         // handed out so far (read by tests on other threads)
    std::atomic<std::uint32_t> longest_wait_ms{0}; // longest a filled buffer waited for the host
    std::atomic<std::int32_t> dropped{0}; // dropped for want of a queued buffer (with drop_when_full)
    // From now on pictures are taken at their moments, as a driver does: one that finds no queued
    // buffer is dropped (its sequence number skipped), however late the host asks.
    void drop_when_full(bool on) { overrun_ = on; }
    int open_descriptors() const { return static_cast<int>(sessions_.size()); }
    int mapped_buffers() const { return mapped_; }

    int open(const std::string& path, int) override {
        calls.push_back("open " + path);
        if (nodes_.count(path) == 0) {
            errno = ENOENT;
            return -1;
        }
        const int fd = eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC);
        sessions_[fd].path = path;
        sessions_[fd].node = nodes_[path];
        return fd;
    }

    int close(int fd) override {
        calls.push_back("close");
        if (sessions_.erase(fd) == 0) {
            errno = EBADF;
            return -1;
        }
        return ::close(fd);
    }

    int ioctl(int fd, unsigned long request, void* arg) override {
        const auto it = sessions_.find(fd);
        if (it == sessions_.end()) {
            errno = EBADF;
            return -1;
        }
        Session& s = it->second;
        if (request != VIDIOC_QBUF && request != VIDIOC_DQBUF) {
            calls.push_back(name_of(request, arg));
        }
        if (s.gone) {
            errno = ENODEV;
            return -1;
        }
        switch (request) {
        case VIDIOC_QUERYCAP: {
            auto& cap = *static_cast<v4l2_capability*>(arg);
            cap = {};
            copy_text(cap.driver, sizeof cap.driver, "fakev4l2");
            copy_text(cap.card, sizeof cap.card, s.node.card);
            copy_text(cap.bus_info, sizeof cap.bus_info, s.node.bus);
            cap.device_caps =
                s.node.capture ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING : V4L2_CAP_META_CAPTURE;
            cap.capabilities = cap.device_caps | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        case VIDIOC_S_FMT: {
            auto& f = *static_cast<v4l2_format*>(arg);
            s.jpeg = !s.node.jpeg_pictures.empty() && f.fmt.pix.pixelformat == V4L2_PIX_FMT_MJPEG;
            if (s.jpeg) {
                f.fmt.pix.width = s.node.width;
                f.fmt.pix.height = s.node.height;
                f.fmt.pix.bytesperline = 0;
                f.fmt.pix.sizeimage = static_cast<std::uint32_t>(largest_picture(s.node));
                f.fmt.pix.field = V4L2_FIELD_NONE;
                return 0;
            }
            f.fmt.pix.width = s.node.width;
            f.fmt.pix.height = s.node.height;
            f.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
            f.fmt.pix.bytesperline = s.node.width * 3 + s.node.padding;
            f.fmt.pix.sizeimage = f.fmt.pix.bytesperline * s.node.height;
            f.fmt.pix.field = V4L2_FIELD_NONE;
            return 0;
        }
        case VIDIOC_S_PARM:
        case VIDIOC_G_PARM:
            return 0;
        case VIDIOC_REQBUFS: {
            auto& req = *static_cast<v4l2_requestbuffers*>(arg);
            req.count = std::min<std::uint32_t>(req.count, 4);
            s.buffers.clear();
            for (std::uint32_t i = 0; i < req.count; ++i) {
                memory_.emplace_back(s.jpeg ? largest_picture(s.node)
                                            : (s.node.width * 3 + s.node.padding) * s.node.height);
                s.buffers.push_back({&memory_.back(), false});
            }
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto& b = *static_cast<v4l2_buffer*>(arg);
            if (b.index >= s.buffers.size()) {
                errno = EINVAL;
                return -1;
            }
            b.length = static_cast<std::uint32_t>(s.buffers[b.index].memory->size());
            b.m.offset = b.index * b.length;
            return 0;
        }
        case VIDIOC_QBUF: {
            auto& b = *static_cast<v4l2_buffer*>(arg);
            if (b.index >= s.buffers.size()) {
                errno = EINVAL;
                return -1;
            }
            s.buffers[b.index].queued = true;
            return 0;
        }
        case VIDIOC_DQBUF:
            return dequeue(s, *static_cast<v4l2_buffer*>(arg));
        case VIDIOC_STREAMON:
            s.streaming = true;
            s.next_due = clock_.millis() + period_;
            s.sequence = 0;
            s.filled.clear();
            return 0;
        case VIDIOC_STREAMOFF:
            s.streaming = false;
            return 0;
        default:
            errno = ENOTTY;
            return -1;
        }
    }

    int poll(pollfd* fds, nfds_t count, int) override {
        int ready = 0;
        for (nfds_t i = 0; i < count; ++i) {
            fds[i].revents = 0;
            const auto it = sessions_.find(fds[i].fd);
            if (it == sessions_.end()) {
                fds[i].revents = POLLNVAL;
            } else if (it->second.gone || it->second.hung_up) {
                fds[i].revents = POLLERR | POLLHUP;
            } else if (it->second.streaming && signal_ &&
                       (!it->second.filled.empty() ||
                        elapsed_ms(it->second.next_due, clock_.millis()) >= 0)) {
                fds[i].revents = POLLIN;
            }
            ready += fds[i].revents != 0;
        }
        return ready;
    }

    void* mmap(std::size_t length, int, int, int fd, std::int64_t offset) override {
        const auto it = sessions_.find(fd);
        if (it == sessions_.end() || it->second.gone || length == 0) {
            errno = it == sessions_.end() ? EBADF : ENODEV;
            return MAP_FAILED;
        }
        const auto index = static_cast<std::size_t>(offset) / length;
        if (index >= it->second.buffers.size()) {
            errno = EINVAL;
            return MAP_FAILED;
        }
        ++mapped_;
        return it->second.buffers[index].memory->data();
    }

    int munmap(void*, std::size_t) override {
        --mapped_;
        return 0;
    }

    std::vector<std::string> video_nodes(const std::string& dir) override {
        std::vector<std::pair<int, std::string>> found;
        for (const auto& [path, node] : nodes_) {
            if (path.rfind(dir + "/video", 0) == 0) {
                found.emplace_back(std::stoi(path.substr(dir.size() + 6)), path);
            }
        }
        std::sort(found.begin(), found.end());
        std::vector<std::string> out;
        for (auto& f : found) {
            out.push_back(f.second);
        }
        return out;
    }

private:
    struct Buffer {
        std::vector<std::uint8_t>* memory;
        bool queued;
        bool filled = false;
        std::uint32_t used = 0; // bytes of the picture in it
    };
    struct Filled {
        std::uint32_t index = 0;
        std::uint32_t sequence = 0;
        std::uint32_t due = 0;
    };
    struct Session {
        std::string path;
        Node node;
        std::vector<Buffer> buffers;
        bool streaming = false;
        bool gone = false;
        bool hung_up = false;
        bool jpeg = false;       // streams the node's JPEG pictures
        std::size_t painted = 0; // pictures put into buffers
        int fail_next = 0;
        std::uint32_t next_due = 0;
        std::uint32_t sequence = 0;     // of the next picture to come due
        std::uint32_t sequence_out = 0; // of the picture being handed out
        std::deque<Filled> filled;      // pictures in buffers, oldest first
    };

    int dequeue(Session& s, v4l2_buffer& b) {
        if (s.fail_next != 0) {
            errno = s.fail_next;
            s.fail_next = 0;
            return -1;
        }
        if (!s.streaming) {
            errno = EINVAL;
            return -1;
        }
        const std::uint32_t now = clock_.millis();
        if (overrun_ && !s.hung_up && signal_) {
            return dequeue_filled(s, now, b);
        }
        if (s.hung_up || !signal_ || elapsed_ms(s.next_due, now) < 0) {
            errno = EAGAIN;
            return -1;
        }
        const auto free =
            std::find_if(s.buffers.begin(), s.buffers.end(), [](const Buffer& x) { return x.queued; });
        if (free == s.buffers.end()) {
            errno = EAGAIN;
            return -1;
        }
        free->queued = false;
        paint(s, *free);
        b.index = static_cast<std::uint32_t>(free - s.buffers.begin());
        stamp(s, b, s.next_due);
        s.next_due += period_;
        ++s.sequence;
        return 0;
    }

    // As a driver does: each picture that comes due goes into the next queued buffer; with none
    // queued it is dropped, and only its sequence number is used up.
    int dequeue_filled(Session& s, std::uint32_t now, v4l2_buffer& b) {
        while (elapsed_ms(s.next_due, now) >= 0) {
            const auto free = std::find_if(s.buffers.begin(), s.buffers.end(),
                                           [](const Buffer& x) { return x.queued && !x.filled; });
            if (free != s.buffers.end()) {
                free->filled = true;
                paint(s, *free);
                s.filled.push_back(
                    {static_cast<std::uint32_t>(free - s.buffers.begin()), s.sequence, s.next_due});
            } else {
                ++dropped;
            }
            ++s.sequence;
            s.next_due += period_;
        }
        if (s.filled.empty()) {
            errno = EAGAIN;
            return -1;
        }
        const Filled f = s.filled.front();
        s.filled.pop_front();
        longest_wait_ms =
            std::max<std::uint32_t>(longest_wait_ms, static_cast<std::uint32_t>(elapsed_ms(f.due, now)));
        Buffer& buffer = s.buffers[f.index];
        buffer.queued = false;
        buffer.filled = false;
        b.index = f.index;
        s.sequence_out = f.sequence;
        stamp(s, b, f.due);
        return 0;
    }

    void stamp(Session& s, v4l2_buffer& b, std::uint32_t due) {
        b.bytesused = s.buffers[b.index].used;
        b.flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
        b.timestamp.tv_sec = due / 1000;
        b.timestamp.tv_usec = static_cast<suseconds_t>(due % 1000) * 1000;
        b.sequence = overrun_ ? s.sequence_out : s.sequence;
        ++pictures;
    }

    void paint(Session& s, Buffer& buffer) {
        if (s.jpeg) {
            const auto& picture = s.node.jpeg_pictures[s.painted++ % s.node.jpeg_pictures.size()];
            std::copy(picture.begin(), picture.end(), buffer.memory->begin());
            buffer.used = static_cast<std::uint32_t>(picture.size());
            return;
        }
        const std::uint32_t stride = s.node.width * 3 + s.node.padding;
        buffer.used = stride * s.node.height;
        // Stripes that move from picture to picture, and a row number in green.
        std::vector<std::uint8_t>& m = *buffer.memory;
        for (std::uint32_t y = 0; y < s.node.height; ++y) {
            for (std::uint32_t x = 0; x < s.node.width; ++x) {
                std::uint8_t* p = m.data() + static_cast<std::size_t>(y) * stride + x * 3;
                p[0] = static_cast<std::uint8_t>((x + static_cast<std::uint32_t>(pictures) * 8) & 0xFF);
                p[1] = static_cast<std::uint8_t>(y & 0xFF);
                p[2] = 0x40;
            }
        }
    }

    static std::size_t largest_picture(const Node& node) {
        std::size_t largest = 1;
        for (const auto& p : node.jpeg_pictures) {
            largest = std::max(largest, p.size());
        }
        return largest;
    }

    static void copy_text(std::uint8_t* into, std::size_t size, const std::string& text) {
        std::memcpy(into, text.data(), std::min(size - 1, text.size()));
    }

    static std::string name_of(unsigned long request, void* arg) {
        switch (request) {
        case VIDIOC_QUERYCAP:
            return "QUERYCAP";
        case VIDIOC_S_FMT: {
            const auto& f = *static_cast<const v4l2_format*>(arg);
            return "S_FMT " + std::to_string(f.fmt.pix.width) + "*" + std::to_string(f.fmt.pix.height);
        }
        case VIDIOC_S_PARM: {
            const auto& p = static_cast<const v4l2_streamparm*>(arg)->parm.capture.timeperframe;
            return "S_PARM " + std::to_string(p.numerator) + "/" + std::to_string(p.denominator);
        }
        case VIDIOC_REQBUFS:
            return "REQBUFS " + std::to_string(static_cast<const v4l2_requestbuffers*>(arg)->count);
        case VIDIOC_QUERYBUF:
            return "QUERYBUF " + std::to_string(static_cast<const v4l2_buffer*>(arg)->index);
        case VIDIOC_STREAMON:
            return "STREAMON";
        case VIDIOC_STREAMOFF:
            return "STREAMOFF";
        default:
            return "ioctl " + std::to_string(request);
        }
    }

    const Clock& clock_;
    std::uint32_t period_;
    bool signal_ = true;
    bool overrun_ = false;
    std::map<std::string, Node> nodes_;
    std::map<int, Session> sessions_;
    std::list<std::vector<std::uint8_t>> memory_; // kept while mapped, as the kernel keeps it
    int mapped_ = 0;
};

// A V4L2 device on `io` with one format: the node's size in YUYV at 25 pictures a second.
inline std::unique_ptr<V4L2Device> fake_grabber(FakeV4L2& io, const std::string& path = "/fake/video0",
                                                const FakeV4L2::Node& node = {}) {
    V4L2Identity identity{path, node.card, node.bus, "fakev4l2"};
    std::vector<MediaType> formats{v4l2_describe_format(V4L2_PIX_FMT_YUYV, node.width, node.height, 1, 25)};
    return std::make_unique<V4L2Device>(std::move(identity), std::move(formats),
                                        std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 25}}, io);
}

} // namespace veltro::testing
