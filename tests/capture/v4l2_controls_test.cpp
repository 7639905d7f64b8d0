// Exposure and gain of a V4L2 device, through the back end's seam: a scripted grabber with a sensor's
// controls.
#include "capture/backends/v4l2/v4l2_controls.h"
#include "fake_v4l2.h"

#include <gtest/gtest.h>
#include <map>

namespace veltro {
namespace {

// The fake grabber with controls: each has its range and value, and refuses a value outside its range
// with ERANGE, or any value with `refuse` (a busy sensor). Every set is logged ("name=value").
class ControlledV4L2 final : public V4L2Io {
public:
    struct Control {
        std::int32_t min = 0;
        std::int32_t max = 0;
        std::int32_t value = 0;
        int refuse = 0;
    };
    explicit ControlledV4L2(testing::FakeV4L2& device) : device_(device) {}

    std::map<std::uint32_t, Control> controls;
    std::vector<std::string> sets;

    int open(const std::string& path, int flags) override { return device_.open(path, flags); }
    int close(int fd) override { return device_.close(fd); }
    int poll(pollfd* fds, nfds_t count, int timeout_ms) override {
        return device_.poll(fds, count, timeout_ms);
    }
    void* mmap(std::size_t length, int prot, int flags, int fd, std::int64_t offset) override {
        return device_.mmap(length, prot, flags, fd, offset);
    }
    int munmap(void* start, std::size_t length) override { return device_.munmap(start, length); }
    std::vector<std::string> video_nodes(const std::string& dir) override { return device_.video_nodes(dir); }

    int ioctl(int fd, unsigned long request, void* arg) override {
        if (request == VIDIOC_QUERYCTRL) {
            auto& q = *static_cast<v4l2_queryctrl*>(arg);
            const auto it = controls.find(q.id);
            if (it == controls.end()) {
                errno = EINVAL;
                return -1;
            }
            q.type = V4L2_CTRL_TYPE_INTEGER;
            q.minimum = it->second.min;
            q.maximum = it->second.max;
            q.step = 1;
            return 0;
        }
        if (request == VIDIOC_G_CTRL || request == VIDIOC_S_CTRL) {
            auto& c = *static_cast<v4l2_control*>(arg);
            const auto it = controls.find(c.id);
            if (it == controls.end()) {
                errno = EINVAL;
                return -1;
            }
            if (request == VIDIOC_G_CTRL) {
                c.value = it->second.value;
                return 0;
            }
            sets.push_back(name_of(c.id) + "=" + std::to_string(c.value));
            if (it->second.refuse != 0 || c.value < it->second.min || c.value > it->second.max) {
                errno = it->second.refuse != 0 ? it->second.refuse : ERANGE;
                return -1;
            }
            it->second.value = c.value;
            return 0;
        }
        return device_.ioctl(fd, request, arg);
    }

private:
    static std::string name_of(std::uint32_t id) {
        switch (id) {
        case V4L2_CID_EXPOSURE_AUTO:
            return "exposure_auto";
        case V4L2_CID_EXPOSURE_ABSOLUTE:
            return "exposure_absolute";
        case V4L2_CID_AUTOGAIN:
            return "autogain";
        case V4L2_CID_GAIN:
            return "gain";
        case V4L2_CID_ANALOGUE_GAIN:
            return "analogue_gain";
        default:
            return std::to_string(id);
        }
    }
    testing::FakeV4L2& device_;
};

class V4L2Controls : public ::testing::Test {
protected:
    V4L2Controls() {
        fake.plug("/fake/video0");
        io.controls[V4L2_CID_EXPOSURE_AUTO] = {0, 3, V4L2_EXPOSURE_APERTURE_PRIORITY};
        io.controls[V4L2_CID_EXPOSURE_ABSOLUTE] = {1, 5000, 156};
        io.controls[V4L2_CID_AUTOGAIN] = {0, 1, 1};
        io.controls[V4L2_CID_GAIN] = {0, 255, 32};
    }
    std::unique_ptr<V4L2Device> grabber() {
        const testing::FakeV4L2Node node;
        return std::make_unique<V4L2Device>(
            V4L2Identity{"/fake/video0", node.card, node.bus, "fakev4l2"},
            std::vector<MediaType>{v4l2_describe_format(V4L2_PIX_FMT_YUYV, node.width, node.height, 1, 25)},
            std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 25}}, io);
    }

    ManualClock clock{50000};
    testing::FakeV4L2 fake{clock};
    ControlledV4L2 io{fake};
};

TEST_F(V4L2Controls, TheChoiceIsSetInManualModeAtStartInWholeStepsAndSaidAsSet) {
    auto device = grabber();
    // Offered in µs: the driver's 100 µs steps.
    const auto exposure = device->control(ControlKind::Exposure);
    ASSERT_TRUE(exposure);
    EXPECT_EQ(exposure->min, 100);
    EXPECT_EQ(exposure->max, 500000);
    EXPECT_EQ(exposure->value, 15600);
    EXPECT_EQ(exposure->unit, "µs");
    const auto gain = device->control(ControlKind::Gain);
    ASSERT_TRUE(gain);
    EXPECT_EQ(gain->max, 255);
    EXPECT_EQ(gain->unit, "");
    EXPECT_EQ(fake.open_descriptors(), 0); // asked without holding the node

    // Nothing chosen: nothing set, the device keeps its own.
    ASSERT_EQ(device->start(0), "");
    EXPECT_TRUE(io.sets.empty());
    EXPECT_EQ(device->controls_applied(), "");

    device->set_controls({1049.0, 6.0});
    ASSERT_EQ(device->start(0), "");
    EXPECT_EQ(io.sets,
              (std::vector<std::string>{"exposure_auto=1", "exposure_absolute=10", "autogain=0", "gain=6"}));
    EXPECT_EQ(device->controls_applied(), "exposure 1000 µs, gain 6");
    device->Stop();
}

TEST_F(V4L2Controls, ASensorWithAnalogueGainOnlyAndAValueTheDriverRefuses) {
    io.controls.erase(V4L2_CID_GAIN);
    io.controls.erase(V4L2_CID_EXPOSURE_ABSOLUTE);
    io.controls[V4L2_CID_ANALOGUE_GAIN] = {16, 64, 16};
    auto device = grabber();
    EXPECT_FALSE(device->control(ControlKind::Exposure));
    ASSERT_TRUE(device->control(ControlKind::Gain));

    // An exposure the device has no control for is left out; the gain goes to the analogue one.
    device->set_controls({2000.0, 20.0});
    ASSERT_EQ(device->start(0), "");
    EXPECT_EQ(device->controls_applied(), "gain 20");
    device->Stop();

    // A driver that refuses the value: the start fails, says why, and lets go of the node.
    io.controls[V4L2_CID_ANALOGUE_GAIN].refuse = EBUSY;
    EXPECT_EQ(device->start(0), "Cannot set the gain: Device or resource busy");
    EXPECT_EQ(fake.open_descriptors(), 0);
}

} // namespace
} // namespace veltro
