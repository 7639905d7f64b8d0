// px3tool measure-delay: the capture delay measured through the start kit's LED on the demo race camera.
#include "app/demo_delay.h"
#include "app/demo_heat.h"
#include "px3tool_commands.h"

#include <iostream>

namespace px3tool {

int measure_delay(const Args& arguments) {
    Args args = arguments;
    veltro::DemoDelayOptions options;
    const std::string format = take_option(args, "--format");
    const std::string flashes = take_option(args, "--flashes");
    const std::string crop = take_option(args, "--crop");
    const std::string box = take_option(args, "--box");
    const bool demo = take_flag(args, "--demo");
    if (!args.empty()) {
        throw UsageError{"measure-delay does not know '" + args[0] + "'"};
    }
    if (!demo) {
        throw UsageError{"measure-delay needs --demo: a real camera is measured in the program's window "
                         "(Diagnostics / Measure capture delay)"};
    }
    if (!format.empty()) {
        const auto f = veltro::demo_format_from_text(format);
        if (!f) {
            throw UsageError{"--format must be 1920*1080/25 or 1920*1080/50"};
        }
        options.format = *f;
    }
    if (!flashes.empty()) {
        options.flashes = number_arg(flashes, "--flashes");
        if (options.flashes < veltro::kMinFlashes || options.flashes > veltro::kMaxFlashes) {
            throw UsageError{"--flashes must lie between " + std::to_string(veltro::kMinFlashes) + " and " +
                             std::to_string(veltro::kMaxFlashes)};
        }
    }
    if (!crop.empty()) {
        const auto c = veltro::demo_crop_from_text(crop);
        if (!c) {
            throw UsageError{"--crop must be 400*880, 600*1080 or 576*720"};
        }
        options.crop_width = c->first;
        options.crop_height = c->second;
    }
    if (!box.empty()) {
        options.box = veltro::parse_led_box(box);
        if (!options.box) {
            throw UsageError{"--box must be X,Y,W,H in pixels of the cropped picture, each side 2 to " +
                             std::to_string(veltro::kMaxLedBoxSide)};
        }
    }
    QuietOperator quiet;
    const veltro::DelayResult result = veltro::measure_demo_delay(options);
    std::cout << veltro::delay_result_text(result) << '\n';
    for (const auto& m : quiet.messages) {
        std::cerr << m << '\n';
    }
    return result.outcome == veltro::DelayResult::Outcome::Measured ? 0 : 1;
}

} // namespace px3tool
