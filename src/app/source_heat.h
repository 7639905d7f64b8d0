#pragma once

#include "capture/capture_component.h"
#include "capture/source_selection.h"
#include "support/clocks.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace veltro {

// A heat recorded from any capture source through the window's capture path: the capture source
// object with its capture thread, the centre crop, the capture session that compresses while
// capturing, and its final pass into the recording. For checking a camera before race night, and for
// tests against real devices.
struct SourceHeatOptions {
    std::string path;
    std::int16_t source_number = 0; // n of "video:n"
    std::int16_t format_number = 0;
    std::int32_t capture_ms = 2000;
    std::int16_t crop_width = 0; // within the source's picture
    std::int16_t crop_height = 0;
    ControlChoice controls; // set on the source before its start
};

struct SourceHeatResult {
    std::int32_t frames = 0;
    std::int64_t frames_lost = 0;
    std::string capture_info; // as written into the recording's header
    std::int16_t rate = 0;    // the rate the recording says it was taken at
};

// One source and its formats, as the source selection lists them.
struct SourceListing {
    std::int16_t source_number = 0;
    std::string friendly_name;
    std::string description;
    std::vector<SourceRow> formats;
};
std::vector<SourceListing> list_sources(CaptureComponent& component);

// The rate a format description ("512*512/100") names, whole pictures a second; 0 for none.
std::int16_t rate_of_format(const std::string& description);

// Records options.capture_ms of pictures from the source into the new file options.path, the heat's
// start being the moment capture began. Fails with VeltroError, and leaves no file, when the file
// exists, the source or format is not there, the crop does not fit in its pictures or the source
// does not start; a recording that was made is kept with what was recorded.
SourceHeatResult record_source_heat(std::unique_ptr<CaptureComponent> component,
                                    const SourceHeatOptions& options, const Clock& clock);

} // namespace veltro
