#include "startswitch/backends/evdev/evdev_backend.h"

#include "startswitch/backends/evdev/evdev_driver.h"
#include "startswitch/backends/evdev/evdev_wiring.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/input.h>
#include <set>
#include <sys/ioctl.h>
#include <unistd.h>

namespace veltro {

namespace {

namespace fs = std::filesystem;

struct Probe {
    bool keys = false;
    std::string name;
    std::string problem; // why it could not be read
};

Probe probe(const fs::path& node) {
    Probe p;
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        p.problem = std::string("cannot be read: ") + std::strerror(errno);
        return p;
    }
    unsigned long types = 0;
    p.keys = ::ioctl(fd, EVIOCGBIT(0, sizeof types), &types) >= 0 && ((types >> EV_KEY) & 1u);
    char text[256] = {};
    if (::ioctl(fd, EVIOCGNAME(sizeof text - 1), text) >= 0) {
        p.name = text;
    }
    ::close(fd);
    return p;
}

// event2 before event10.
bool node_order(const fs::path& a, const fs::path& b) {
    const std::string x = a.filename().string();
    const std::string y = b.filename().string();
    return x.size() != y.size() ? x.size() < y.size() : x < y;
}

} // namespace

std::vector<std::string> evdev_devices(const std::string& root) {
    std::vector<std::string> list;
    std::set<fs::path> listed;
    std::error_code ec;

    std::vector<fs::path> links;
    for (const auto& entry : fs::directory_iterator(fs::path(root) / "by-id", ec)) {
        if (entry.path().filename().string().find("-event-") != std::string::npos) {
            links.push_back(entry.path());
        }
    }
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links) {
        const fs::path node = fs::canonical(link, ec);
        if (ec) {
            continue;
        }
        const Probe p = probe(node);
        if (p.keys || !p.problem.empty()) {
            list.push_back(link.string() + (p.problem.empty() ? "" : " (" + p.problem + ")"));
            listed.insert(node);
        }
    }

    std::vector<fs::path> nodes;
    for (const auto& entry : fs::directory_iterator(fs::path(root), ec)) {
        if (entry.path().filename().string().rfind("event", 0) == 0) {
            nodes.push_back(entry.path());
        }
    }
    std::sort(nodes.begin(), nodes.end(), node_order);
    for (const fs::path& node : nodes) {
        if (listed.count(fs::canonical(node, ec))) {
            continue;
        }
        const Probe p = probe(node);
        if (!p.problem.empty()) {
            list.push_back(node.string() + " (" + p.problem + ")");
        } else if (p.keys) {
            list.push_back(node.string() + (p.name.empty() ? "" : " (" + p.name + ")"));
        }
    }
    return list;
}

void register_evdev_backend(KitBackends& backends) {
    KitBackend b;
    b.id = "evdev";
    b.label = "USB encoder, foot switch or keyboard (input device)";
    b.device_hint = "An input device; a name under /dev/input/by-id/ stays the same when the device is "
                    "plugged in again, /dev/input/eventN may not";
    b.line_hint = "A key or button name (KEY_A, KEY_F1, BTN_0, BTN_TRIGGER) or a key number; the LED is a "
                  "keyboard LED such as LED_SCROLLL";
    b.defaults = [] {
        // The first six buttons of a USB game-controller encoder, the cheapest board to wire contacts to.
        KitConfig c;
        c.backend = "evdev";
        c.lines = {"BTN_TRIGGER", "BTN_THUMB", "BTN_THUMB2", "BTN_TOP", "BTN_TOP2", "BTN_PINKIE"};
        return c;
    };
    b.devices = [] { return evdev_devices("/dev/input"); };
    // Input events carry the kernel's stamps.
    b.make_driver = [](const KitConfig& config, const Clock&,
                       std::string& error) -> std::unique_ptr<KitDriver> {
        std::optional<EvdevWiring> wiring = evdev_wiring(config, error);
        if (!wiring) {
            return nullptr;
        }
        return std::make_unique<EvdevDriver>(std::move(*wiring));
    };
    backends.add(std::move(b));
}

} // namespace veltro
