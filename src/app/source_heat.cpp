#include "app/source_heat.h"

#include "app/capture_session.h"
#include "app/demo_heat.h"
#include "capture/capture_hdmi.h"
#include "capture/format_description.h"
#include "recording/capture_spool.h"
#include "recording/video_file_handler.h"
#include "support/process_facts.h"
#include "support/text.h"
#include "support/veltro_error.h"

#include <cerrno>
#include <filesystem>
#include <poll.h>

namespace veltro {

namespace {
constexpr int kFileAlreadyExists = 58;
} // namespace

std::vector<SourceListing> list_sources(CaptureComponent& component) {
    std::vector<SourceListing> sources;
    for (const SourceRow& row : Do_Enum(component)) {
        if (sources.empty() || sources.back().source_number != row.source_number) {
            component.SelectSource("video:" + std::to_string(row.source_number));
            sources.push_back(
                {row.source_number, row.friendly_name, component.GetProperty("sourceDescription"), {}});
        }
        sources.back().formats.push_back(row);
    }
    return sources;
}

std::int16_t rate_of_format(const std::string& description) {
    const auto slash = description.rfind('/');
    if (slash == std::string::npos) {
        return 0;
    }
    try {
        const double rate = std::stod(description.substr(slash + 1));
        return rate > 0 && rate < 32767 ? static_cast<std::int16_t>(rate + 0.5) : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

SourceHeatResult record_source_heat(std::unique_ptr<CaptureComponent> component,
                                    const SourceHeatOptions& options, const Clock& clock) {
    if (options.capture_ms <= 0 || options.capture_ms > 600000) {
        throw VeltroError(err::kOverflow, "Capture time must lie between 1 ms and 10 minutes");
    }
    std::error_code ec;
    if (std::filesystem::exists(options.path, ec) || ec) {
        throw VeltroError(kFileAlreadyExists, "File already exists: " + options.path);
    }
    const std::string source = "video:" + std::to_string(options.source_number);
    if (!component->SelectSource(source)) {
        throw VeltroError(err::kSubscriptOutOfRange, "No capture source " + source);
    }
    const std::string name = component->GetProperty("sourceFriendlyName");
    component->SetProperty("SetFormat", std::to_string(options.format_number));
    const auto record = component->get_format_record("GetProp");
    if (!component->LastError().empty() || !record || !record->format) {
        throw VeltroError(err::kSubscriptOutOfRange,
                          name + " has no format " + std::to_string(options.format_number));
    }
    const auto& bmi = record->format->bmi_header;
    if (options.crop_width <= 0 || options.crop_height <= 0 || options.crop_width > bmi.bi_width ||
        options.crop_height > bmi.bi_height) {
        throw VeltroError(err::kTypeMismatch, "The picture size " + std::to_string(options.crop_width) + "*" +
                                                  std::to_string(options.crop_height) +
                                                  " does not fit in the " + std::to_string(bmi.bi_width) +
                                                  "*" + std::to_string(bmi.bi_height) + " pictures of " +
                                                  name);
    }
    component->set_controls(options.controls);

    SourceHeatResult result;
    const std::string property = Process_AMT(record);
    const std::int16_t format_rate = rate_of_format(property);
    current_capture().friendly_name = name;
    current_capture().property_string = property;
    process_facts().capture_source = name;
    process_facts().capture_property = property;

    cls_Capture_HDMI capture(std::move(component), clock);
    capture.ID_string("Goal");
    capture.set_HDMI_Crop(options.crop_width, options.crop_height);
    capture.MaxFrames(0);
    capture.Do_CROP(true);
    capture.Capture_Run();
    if (!capture.Last_Error().empty()) {
        throw VeltroError(err::kObjectRequired, name + " did not start: " + capture.Last_Error());
    }
    result.capture_info = name + " / " + property;
    if (const std::string set = capture.locked([&] { return capture.component().controls_applied(); });
        !set.empty()) {
        result.capture_info += ", " + set;
    }

    cls_VideoFile_handler recording;
    initiate_test_heat(recording, options.path, options.crop_width, options.crop_height, format_rate,
                       "Camera check");
    recording.xml_header().Streams_no(1);
    recording.xml_header().Comp_CaptureInfo(result.capture_info);
    const std::uint32_t start = clock.millis();
    recording.Velt_start_PC_mill(start);
    recording.Velt_heat_start_local(clock.local_ms());
    recording.Velt_start_DateTime(now_default_datetime());
    recording.Write_XML_header();
    recording.Close_File();

    CaptureSession session(recording, capture, clock);
    session.camera_started(options.crop_width, options.crop_height, recording.start_quality(), {0, false});
    session.begin(start);
    const std::uint32_t end = start + static_cast<std::uint32_t>(options.capture_ms);
    bool full = false;
    while (!full && capture.Running() && !capture_halted() && elapsed_ms(clock.millis(), end) > 0) {
        pollfd p{capture.notice_fd(), POLLIN, 0};
        const std::int32_t wait = std::min<std::int32_t>(elapsed_ms(clock.millis(), end), 200);
        if (poll(&p, 1, std::max(wait, 1)) < 0 && errno != EINTR) {
            break;
        }
        capture.deliver_notices();
        full = session.take_full();
    }
    capture.dispatch_now();
    capture.Stop_Capture();
    result.rate = capture.Running_Fps() > 0 ? capture.Running_Fps() : format_rate;
    recording.Measured_fps(result.rate);
    try {
        result.frames = session.end({});
    } catch (const VeltroError& e) {
        throw VeltroError(e.number(), e.description() + ". The frames are in " + spool_path(options.path) +
                                          " (px3tool recover adds them)");
    }
    // After the end: the workers find the last pictures that do not decode only then.
    result.frames_lost = capture.frames_lost_total();
    return result;
}

} // namespace veltro
