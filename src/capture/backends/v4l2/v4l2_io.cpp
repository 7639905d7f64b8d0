#include "capture/backends/v4l2/v4l2_io.h"

#include "support/numbers.h"

#include <algorithm>
#include <filesystem>
#include <libv4l2.h>

namespace veltro {

namespace {

class SystemV4L2Io final : public V4L2Io {
public:
    int open(const std::string& path, int flags) override { return v4l2_open(path.c_str(), flags); }
    int close(int fd) override { return v4l2_close(fd); }
    int ioctl(int fd, unsigned long request, void* arg) override { return v4l2_ioctl(fd, request, arg); }
    int poll(pollfd* fds, nfds_t count, int timeout_ms) override { return ::poll(fds, count, timeout_ms); }
    void* mmap(std::size_t length, int prot, int flags, int fd, std::int64_t offset) override {
        return v4l2_mmap(nullptr, length, prot, flags, fd, offset);
    }
    int munmap(void* start, std::size_t length) override { return v4l2_munmap(start, length); }
    std::vector<std::string> video_nodes(const std::string& dir) override { return list_video_nodes(dir); }
};

} // namespace

V4L2Io& system_v4l2_io() {
    static SystemV4L2Io io;
    return io;
}

std::vector<std::string> list_video_nodes(const std::string& dir) {
    std::vector<std::pair<std::int32_t, std::string>> nodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 5 && name.compare(0, 5, "video") == 0 && is_decimal_number(name.substr(5))) {
            nodes.emplace_back(parse_long(name.substr(5)), entry.path().string());
        }
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> out;
    for (auto& node : nodes) {
        out.push_back(std::move(node.second));
    }
    return out;
}

} // namespace veltro
