// px3tool demo: a heat recorded from the demo race camera.
#include "app/demo_heat.h"
#include "px3tool_commands.h"
#include "timing/time_text.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <iostream>

namespace px3tool {

void demo_format_arg(const std::string& text, std::size_t& format) {
    if (text.empty()) {
        return;
    }
    const auto f = veltro::demo_format_from_text(text);
    if (!f) {
        throw UsageError{"--format must be 1920*1080/ followed by 25, 50, 100, 120 or 200"};
    }
    format = *f;
}

void demo_crop_arg(const std::string& text, std::int16_t& width, std::int16_t& height) {
    if (text.empty()) {
        return;
    }
    const auto c = veltro::demo_crop_from_text(text);
    if (!c) {
        throw UsageError{"--crop must be 400*880, 600*1080 or 576*720"};
    }
    width = c->first;
    height = c->second;
}

namespace {

std::int32_t seconds_arg(const std::string& text) {
    double seconds = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !(seconds > 0) || seconds > 600) {
        throw UsageError{"--seconds '" + text + "' must be a number of seconds above 0 and at most 600"};
    }
    return static_cast<std::int32_t>(std::lround(seconds * 1000));
}

} // namespace

int demo(const Args& arguments) {
    Args args = arguments;
    veltro::DemoHeatOptions options;
    const std::string seconds = take_option(args, "--seconds");
    const std::string format = take_option(args, "--format");
    const std::string crop = take_option(args, "--crop");
    options.fast = take_flag(args, "--fast");
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
        throw UsageError{"demo needs one output file"};
    }
    options.path = args[0];
    if (!seconds.empty()) {
        options.capture_ms = seconds_arg(seconds);
    }
    demo_format_arg(format, options.format);
    demo_crop_arg(crop, options.crop_width, options.crop_height);
    QuietOperator quiet;
    const veltro::DemoHeatResult result = veltro::record_demo_heat(options);
    std::cout << options.path << ": " << result.frames << " frames, "
              << veltro::demo_format_text(options.format) << ", " << options.crop_width << "*"
              << options.crop_height << '\n';
    std::cout << "appended " << result.frames << " frames in " << result.append_ms << " ms\n";
    if (result.frames_dropped > 0) {
        std::cout << result.frames_dropped << " frames dropped by the camera\n";
    }
    std::cout << "True heat time at which each dog's nose reached the finish line:\n";
    for (int box = 1; box <= 6; ++box) {
        const auto& at = result.crossing_ms[static_cast<std::size_t>(box - 1)];
        std::cout << "  box " << box << "  ";
        if (at) {
            std::cout << veltro::Display_Mill_Time(*at, true) << "  (" << *at << " ms)\n";
        } else {
            std::cout << "not reached while capturing\n";
        }
    }
    for (const auto& m : quiet.messages) {
        std::cerr << m << '\n';
    }
    return 0;
}

} // namespace px3tool
