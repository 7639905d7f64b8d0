#pragma once

#include <cstddef>
#include <cstdint>
#include <poll.h>
#include <string>
#include <vector>

namespace veltro {

// What the V4L2 back end asks of a device: the calls of libv4l2 (which converts whatever the device
// sends into the BGR rows the program takes), poll, and the list of video nodes. It is the seam where
// tests put a scripted device: no capture device is needed to run the back end through unplugging,
// failing and coming back. Every call answers as its system call does: -1 (MAP_FAILED for mmap) with
// errno set on failure.
class V4L2Io {
public:
    virtual ~V4L2Io() = default;
    virtual int open(const std::string& path, int flags) = 0;
    virtual int close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual int poll(pollfd* fds, nfds_t count, int timeout_ms) = 0;
    virtual void* mmap(std::size_t length, int prot, int flags, int fd, std::int64_t offset) = 0;
    virtual int munmap(void* start, std::size_t length) = 0;
    // The video nodes in folder `dir` ("video0", "video1", ... in number order), as full paths.
    virtual std::vector<std::string> video_nodes(const std::string& dir) = 0;
};

// The machine's devices, through libv4l2.
V4L2Io& system_v4l2_io();

// The "video<n>" entries of folder `dir` in number order, as full paths; none when it cannot be read.
std::vector<std::string> list_video_nodes(const std::string& dir);

} // namespace veltro
