#include "app/demo_heat.h"

#include "app/capture_session.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/capture_hdmi.h"
#include "capture/format_description.h"
#include "recording/capture_spool.h"
#include "recording/video_file_handler.h"
#include "support/clocks.h"
#include "support/process_facts.h"
#include "support/text.h"
#include "support/veltro_error.h"
#include "timing/heat_timing.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <thread>

namespace veltro {

std::optional<std::size_t> demo_format_from_text(const std::string& text) {
    for (std::size_t i = 0; i < DemoCamera::kRates.size(); ++i) {
        if (text == demo_format_text(i)) {
            return i;
        }
    }
    return std::nullopt;
}

std::string demo_format_text(std::size_t format) {
    return "1920*1080/" + std::to_string(DemoCamera::kRates.at(format));
}

std::optional<std::pair<std::int16_t, std::int16_t>> demo_crop_from_text(const std::string& text) {
    if (text == "400*880") {
        return std::pair<std::int16_t, std::int16_t>{400, 880};
    }
    if (text == "600*1080") {
        return std::pair<std::int16_t, std::int16_t>{600, 1080};
    }
    if (text == "576*720") {
        return std::pair<std::int16_t, std::int16_t>{576, 720};
    }
    return std::nullopt;
}

namespace {
constexpr int kFileAlreadyExists = 58;
DemoHeatResult record(const DemoHeatOptions& options);
} // namespace

void initiate_test_heat(cls_VideoFile_handler& recording, const std::string& path, std::int16_t crop_width,
                        std::int16_t crop_height, std::int16_t rate, const std::string& heat_name) {
    recording.RGB_interlaced(interlaced_at_rate(rate));
    recording.File_name(path);
    recording.Cropped_X(crop_width);
    recording.Cropped_Y(crop_height);
    recording.Initiate_PX3_File();
    recording.Measured_fps(rate);
    recording.xml_header().RGB_Rotated(false);
    recording.Velt_event("Test Event");
    recording.Velt_Heat_ID("1");
    recording.Velt_Heat_Name(heat_name);
    const TimingSettings timing = read_timing_settings();
    recording.Velt_box_delay(std::to_string(timing.box_delay));
    recording.Velt_Goal_compensation(std::to_string(timing.goal_compensation));
    recording.Velt_Split_compensation(std::to_string(timing.split_compensation));
}

DemoHeatResult record_demo_heat(const DemoHeatOptions& options) {
    if (options.format >= DemoCamera::kRates.size()) {
        throw VeltroError(err::kSubscriptOutOfRange, "The demo camera has formats 0 to " +
                                                         std::to_string(DemoCamera::kRates.size() - 1));
    }
    if (options.capture_ms <= 0 || options.capture_ms > 600000) {
        throw VeltroError(err::kOverflow, "Capture time must lie between 1 ms and 10 minutes");
    }
    if (!demo_crop_from_text(std::to_string(options.crop_width) + "*" +
                             std::to_string(options.crop_height))) {
        throw VeltroError(err::kTypeMismatch, "The picture size must be 400*880, 600*1080 or 576*720");
    }
    std::error_code ec;
    if (std::filesystem::exists(options.path, ec) || ec) {
        throw VeltroError(kFileAlreadyExists, "File already exists: " + options.path);
    }
    try {
        return record(options);
    } catch (const VeltroError& e) {
        // A recording is never deleted because a write failed: it is made whole or not at all, and
        // what was captured stays with it (in its spool when the final pass failed).
        std::string kept;
        if (std::filesystem::exists(options.path, ec)) {
            kept = ". What was recorded is kept in " + options.path;
            if (std::filesystem::exists(spool_path(options.path), ec) &&
                e.description().find("px3tool recover") == std::string::npos) {
                kept += " and " + spool_path(options.path) + " (px3tool recover adds it)";
            }
        }
        throw VeltroError(e.number(), e.description() + kept);
    }
}

namespace {

// Capture runs until options.capture_ms after `start`, the recording is full or the source stops.
// This thread does what the window thread does: it hears of frames through the notice descriptor,
// and does nothing during the options' stall. On the manual clock a thread of its own stands for the
// device: it moves the clock one picture period at a time and has the capture thread take what is due.
void run_capture(cls_Capture_HDMI& capture, CaptureSession& session, ManualClock* manual, const Clock& clock,
                 std::uint32_t start, const DemoHeatOptions& options) {
    const std::uint32_t end = start + static_cast<std::uint32_t>(options.capture_ms);
    // Whole milliseconds, at most one period: at 120 a step now and then makes two frames due.
    const auto period = static_cast<std::uint32_t>(1000 / DemoCamera::kRates[options.format]);
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::atomic<std::uint32_t> moves{0}; // wakes a stalled window thread on the manual clock
    auto on = [&] { return capture.Running() && !capture_halted() && elapsed_ms(clock.millis(), end) > 0; };
    std::jthread device;
    if (manual != nullptr) {
        device = std::jthread([&] {
            while (!stop && on()) {
                capture.dispatch_now();
                manual->advance(period);
                moves.fetch_add(1);
                moves.notify_all();
            }
            done = true;
            moves.fetch_add(1);
            moves.notify_all();
        });
    }
    const std::uint32_t stall_end =
        start + static_cast<std::uint32_t>(options.stall_from_ms + options.stall_ms);
    bool full = false;
    while (!full && (manual != nullptr ? !done : on())) {
        const std::int32_t at = elapsed_ms(start, clock.millis());
        if (options.stall_ms > 0 && at >= options.stall_from_ms &&
            elapsed_ms(clock.millis(), stall_end) > 0) {
            if (manual == nullptr) {
                std::this_thread::sleep_for(std::chrono::milliseconds(elapsed_ms(clock.millis(), stall_end)));
            } else if (const std::uint32_t seen = moves.load(); !done) {
                moves.wait(seen); // read before `done`: the device's last move wakes this
            }
            continue;
        }
        pollfd p{capture.notice_fd(), POLLIN, 0};
        if (poll(&p, 1, 200) < 0 && errno != EINTR) {
            break;
        }
        capture.deliver_notices();
        full = session.take_full();
    }
    stop = true;
    if (manual == nullptr) {
        capture.dispatch_now(); // what came before the end; on the manual clock nothing is due yet
    }
}

DemoHeatResult record(const DemoHeatOptions& options) {

    // In fast mode a manual clock drives the camera and the capture source alike; it starts at the
    // system clock's present reading so the recording looks like one made now.
    ManualClock manual(system_clock().millis(), system_clock().local_ms());
    const Clock& clock = options.fast ? static_cast<const Clock&>(manual) : system_clock();
    auto camera = options.fast ? std::make_unique<DemoCamera>(manual) : std::make_unique<DemoCamera>();
    DemoCamera& demo = *camera;
    std::vector<std::unique_ptr<CaptureDevice>> devices;
    devices.push_back(std::move(camera));
    cls_Capture_HDMI capture(make_capture_component(std::move(devices), clock), clock);
    capture.ID_string("Goal");
    CaptureComponent& component = capture.component();
    component.SelectSource("video:1");
    component.SetProperty("SetFormat", std::to_string(options.format));
    current_capture().friendly_name = DemoCamera::kFriendlyName;
    current_capture().property_string = Process_AMT(component.get_format_record("GetProp"));
    process_facts().capture_source = current_capture().friendly_name;
    process_facts().capture_property = current_capture().property_string;

    // Start camera, then initiate the recording as the heat lifecycle does.
    capture.set_HDMI_Crop(options.crop_width, options.crop_height);
    capture.MaxFrames(0);
    capture.Do_CROP(true);
    capture.Capture_Run();
    if (!capture.Last_Error().empty()) {
        throw VeltroError(err::kObjectRequired, "The demo camera did not start: " + capture.Last_Error());
    }

    cls_VideoFile_handler recording;
    const auto rate = static_cast<std::int16_t>(DemoCamera::kRates[options.format]);
    initiate_test_heat(recording, options.path, options.crop_width, options.crop_height, rate, "Test Heat");

    // The start signal: the dogs leave the boxes when the camera starts.
    DemoHeatResult result;
    result.start_pc_mill = demo.race_start();
    const std::int32_t start_local = clock.local_ms() - elapsed_ms(result.start_pc_mill, clock.millis());
    recording.Velt_start_PC_mill(result.start_pc_mill);
    recording.Velt_heat_start_local(start_local);
    recording.Velt_start_DateTime(now_default_datetime());
    recording.Write_XML_header();
    recording.Close_File();

    // Capture on from the start: every frame is taken on the capture thread and compressed while
    // the capture runs.
    CaptureSession session(recording, capture, clock);
    session.camera_started(options.crop_width, options.crop_height, recording.start_quality(), {0, false});
    session.begin(result.start_pc_mill);
    run_capture(capture, session, options.fast ? &manual : nullptr, clock, result.start_pc_mill, options);
    capture.Stop_Capture();
    result.frames_dropped = demo.frames_dropped();

    // Capture end: the frames go into the recording.
    recording.Measured_fps(capture.Running_Fps() > 0 ? capture.Running_Fps() : rate);
    try {
        result.frames = session.end({});
    } catch (const VeltroError& e) {
        // What is on disk is said as it is: frames kept only in memory end with this program.
        const CaptureSession::Waiting w = session.waiting();
        std::string where = ". " + std::to_string(w.on_disk) + " frames are in " + spool_path(options.path) +
                            " (px3tool recover adds them)";
        if (w.in_memory > 0) {
            where += "; " + std::to_string(w.in_memory) +
                     " more were kept in memory only, as the disk did "
                     "not take them, and are lost with this program";
        }
        throw VeltroError(e.number(), e.description() + where);
    }
    result.append_ms = session.last_end_ms();

    for (int box = 1; box <= 6; ++box) {
        const std::int32_t at = DemoRaceScene::crossing_ms(box);
        if (at < options.capture_ms) {
            result.crossing_ms[static_cast<std::size_t>(box - 1)] = at;
        }
    }
    return result;
}

} // namespace

} // namespace veltro
