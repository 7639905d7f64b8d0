#include "app/demo_delay.h"

#include "app/demo_heat.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/backends/demo/demo_led.h"
#include "capture/capture_hdmi.h"
#include "support/clocks.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <memory>

namespace veltro {

DelayResult measure_demo_delay(const DemoDelayOptions& options) {
    if (options.format >= DemoCamera::kRates.size()) {
        throw VeltroError(err::kSubscriptOutOfRange, "The demo camera has formats 0 to " +
                                                         std::to_string(DemoCamera::kRates.size() - 1));
    }
    if (options.flashes < kMinFlashes || options.flashes > kMaxFlashes) {
        throw VeltroError(err::kOverflow, "The number of flashes must lie between " +
                                              std::to_string(kMinFlashes) + " and " +
                                              std::to_string(kMaxFlashes));
    }
    if (!demo_crop_from_text(std::to_string(options.crop_width) + "*" +
                             std::to_string(options.crop_height))) {
        throw VeltroError(err::kTypeMismatch, "The picture size must be 400*880, 600*1080 or 576*720");
    }
    const LedBox box = options.box.value_or(demo_led_box(options.crop_width, options.crop_height));
    if (!led_box_inside(box, options.crop_width, options.crop_height)) {
        throw VeltroError(err::kSubscriptOutOfRange, "The LED box " + led_box_text(box) +
                                                         " does not lie inside the " +
                                                         std::to_string(options.crop_width) + "*" +
                                                         std::to_string(options.crop_height) + " picture");
    }
    const bool interlaced = options.format == 0;
    const double frame_period = 1000.0 / DemoCamera::kRates[options.format];

    ManualClock clock(system_clock().millis(), system_clock().local_ms());
    std::vector<std::unique_ptr<CaptureDevice>> devices;
    devices.push_back(std::make_unique<DemoCamera>(clock));
    cls_Capture_HDMI capture(make_capture_component(std::move(devices), clock), clock);
    capture.ID_string("Goal");
    capture.component().SelectSource("video:1");
    capture.component().SetProperty("SetFormat", std::to_string(options.format));
    capture.set_HDMI_Crop(options.crop_width, options.crop_height);
    capture.MaxFrames(0);
    capture.Do_CROP(true);
    auto probe = std::make_shared<LedProbe>(box, interlaced);
    capture.picture_probe(
        [probe](const cDIBSection& picture, std::uint32_t at) { probe->take(picture, at); });
    demo_led().clear();
    capture.Capture_Run();
    if (!capture.Last_Error().empty()) {
        throw VeltroError(err::kObjectRequired, "The demo camera did not start: " + capture.Last_Error());
    }

    // This thread is the kit and the window at once: it switches the LED when a switch is due, stamped
    // with the clock's reading, and has the frames due by then taken and measured.
    DelayMeasurement measurement(options.flashes, frame_period, interlaced, options.seed);
    measurement.begin(clock.millis());
    while (!measurement.finished(clock.millis())) {
        const std::uint32_t now = clock.millis();
        if (const std::optional<bool> on = measurement.due(now)) {
            demo_led().switched(*on, now);
            measurement.switched(*on, now);
            continue;
        }
        capture.dispatch_now();
        measurement.add(probe->take_samples());
        clock.advance(static_cast<std::uint32_t>(std::clamp(measurement.wait_ms(now), 1, 10)));
    }
    capture.dispatch_now();
    measurement.add(probe->take_samples());
    capture.picture_probe({});
    capture.Stop_Capture();
    // The switches were on this run's own clock: whatever films the demo next starts with a dark lamp.
    demo_led().clear();
    return measurement.result();
}

} // namespace veltro
