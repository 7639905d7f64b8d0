// px3tool strip: the finish strip of a recording as a PNG file; with --times the photo finish, a tick
// and label for every box's time under the strip's time scale.
#include "picture/picture_files.h"
#include "px3tool_commands.h"
#include "recording/finish_strip.h"
#include "recording/video_file_handler.h"
#include "results/photo_finish.h"
#include "support/text.h"
#include "support/veltro_error.h"
#include "timing/lengths.h"
#include "timing/published_results.h"

#include <iostream>

namespace px3tool {

using veltro::cls_VideoFile_handler;

int strip(const Args& in) {
    Args args = in;
    const std::string out = take_option(args, "-o");
    const std::string compensation = take_option(args, "--compensation");
    const bool split = take_flag(args, "--split");
    const bool times = take_flag(args, "--times");
    if (args.size() != 1 || out.empty()) {
        throw UsageError{"strip takes FILE and -o OUT.png"};
    }
    const auto dot = out.find_last_of('.');
    if (dot == std::string::npos || veltro::to_lower_ascii(out.substr(dot + 1)) != "png") {
        throw UsageError{"the output file must end in .png"};
    }
    const std::optional<std::int32_t> given_compensation =
        compensation.empty() ? std::nullopt
                             : std::optional<std::int32_t>(number_arg(compensation, "--compensation"));
    QuietOperator quiet;
    veltro::PublishedHeat heat;
    veltro::FinishStripOptions options;
    {
        cls_VideoFile_handler rec;
        open_recording(rec, args[0]);
        options = veltro::recorded_strip_options(rec, split);
        if (given_compensation)
            options.goal_compensation = *given_compensation;
        if (times)
            heat = veltro::publish_heat(rec, veltro::recorded_box_delay(rec),
                                        veltro::seconds_per_length_setting());
    }
    const veltro::FinishStrip strip = veltro::build_finish_strip(args[0], options);
    if (times) {
        const veltro::PhotoFinish finish = veltro::photo_finish_of(strip, heat);
        write_output(out, veltro::png_bytes(finish.image));
        std::cout << out << ": " << strip.pictures() << (strip.field_mode ? " fields" : " frames") << ", "
                  << finish.ticks.size() << " boxes timed\n";
        return 0;
    }
    write_output(out, veltro::png_bytes(strip.image));
    std::cout << out << ": " << strip.pictures() << (strip.field_mode ? " fields" : " frames") << ", "
              << strip.strip_height << " rows of line\n";
    return 0;
}

} // namespace px3tool
