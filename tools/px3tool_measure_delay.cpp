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
    demo_format_arg(format, options.format);
    if (!flashes.empty()) {
        options.flashes = number_arg(flashes, "--flashes");
        if (options.flashes < veltro::kMinFlashes || options.flashes > veltro::kMaxFlashes) {
            throw UsageError{"--flashes must lie between " + std::to_string(veltro::kMinFlashes) + " and " +
                             std::to_string(veltro::kMaxFlashes)};
        }
    }
    demo_crop_arg(crop, options.crop_width, options.crop_height);
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
