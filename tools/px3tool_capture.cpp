// px3tool sources and capture: the capture sources of this machine, and a heat recorded from one.
#include "app/assembly.h"
#include "app/source_heat.h"
#include "px3tool_commands.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>
#include <tuple>

namespace px3tool {

namespace {

std::unique_ptr<veltro::CaptureComponent> make_component(bool simulated) {
    return veltro::capture_backends(simulated).make_component(veltro::system_clock());
}

std::string formats_text(const veltro::SourceListing& source) {
    std::string text;
    for (const auto& row : source.formats) {
        text += (text.empty() ? "" : " ") + row.description;
    }
    return text;
}

// "W*H" with both whole numbers above 0.
std::pair<std::int16_t, std::int16_t> crop_arg(const std::string& text) {
    const auto star = text.find('*');
    auto number = [](std::string_view part) -> std::int16_t {
        std::int16_t value = 0;
        const auto r = std::from_chars(part.data(), part.data() + part.size(), value);
        return r.ec == std::errc() && r.ptr == part.data() + part.size() && value > 0 ? value : 0;
    };
    if (star != std::string::npos) {
        const std::int16_t w = number(std::string_view(text).substr(0, star));
        const std::int16_t h = number(std::string_view(text).substr(star + 1));
        if (w > 0 && h > 0) {
            return {w, h};
        }
    }
    throw UsageError{"--crop '" + text + "' must be WIDTH*HEIGHT in pixels, such as 400*880"};
}

std::int32_t capture_seconds_arg(const std::string& text) {
    double seconds = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !(seconds > 0) || seconds > 600) {
        throw UsageError{"--seconds '" + text + "' must be a number of seconds above 0 and at most 600"};
    }
    return static_cast<std::int32_t>(std::lround(seconds * 1000));
}

std::optional<double> control_arg(veltro::CaptureComponent& component, const std::string& text,
                                  veltro::ControlKind kind, const std::string& source) {
    if (text.empty()) {
        return std::nullopt;
    }
    const auto range = component.control(kind);
    const char* what = kind == veltro::ControlKind::Exposure ? "an exposure time" : "a gain";
    if (!range) {
        throw UsageError{source + " has no " + std::string(what) + " to set"};
    }
    try {
        return veltro::parse_control_value(text, kind, *range);
    } catch (const veltro::VeltroError& e) {
        throw UsageError{e.description()};
    }
}

} // namespace

int sources(const Args& arguments) {
    Args args = arguments;
    const bool simulated = take_flag(args, "--simulated");
    if (!args.empty()) {
        throw UsageError{"sources takes no argument but --simulated"};
    }
    auto component = make_component(simulated);
    for (const veltro::SourceListing& source : veltro::list_sources(*component)) {
        std::cout << source.friendly_name << ": " << formats_text(source) << '\n';
    }
    return 0;
}

int capture(const Args& arguments) {
    Args args = arguments;
    const std::string seconds = take_option(args, "--seconds");
    const std::string crop = take_option(args, "--crop");
    const std::string format = take_option(args, "--format");
    const std::string exposure = take_option(args, "--exposure");
    const std::string gain = take_option(args, "--gain");
    const bool simulated = take_flag(args, "--simulated");
    if (args.size() != 2 || args[0].empty() || args[1].empty() || args[1][0] == '-') {
        throw UsageError{"capture needs a SOURCE and an output FILE"};
    }
    if (seconds.empty()) {
        throw UsageError{"capture needs --seconds N"};
    }
    veltro::SourceHeatOptions options;
    options.path = args[1];
    options.capture_ms = capture_seconds_arg(seconds);
    if (!crop.empty()) {
        std::tie(options.crop_width, options.crop_height) = crop_arg(crop);
    }

    auto component = make_component(simulated);
    const auto listed = veltro::list_sources(*component);
    const veltro::SourceListing* source = nullptr;
    for (const auto& s : listed) {
        if (s.friendly_name == args[0]) {
            source = &s;
        }
    }
    if (source == nullptr) {
        std::string names;
        for (const auto& s : listed) {
            names += (names.empty() ? "" : ", ") + s.friendly_name;
        }
        throw UsageError{"no capture source '" + args[0] + "'" +
                         (names.empty() ? std::string(" (none found)") : "; there are: " + names)};
    }
    options.source_number = source->source_number;
    const veltro::SourceRow* row = &source->formats.front();
    if (!format.empty()) {
        row = nullptr;
        for (const auto& f : source->formats) {
            if (f.description == format) {
                row = &f;
            }
        }
        if (row == nullptr) {
            throw UsageError{"--format '" + format + "' is not offered by " + source->friendly_name +
                             "; it offers " + formats_text(*source)};
        }
    }
    options.format_number = row->format_number;
    const auto size = row->description.substr(0, row->description.find('/'));
    const auto star = size.find('*');
    const auto width = static_cast<std::int16_t>(std::stoi(size.substr(0, star)));
    const auto height = static_cast<std::int16_t>(std::stoi(size.substr(star + 1)));
    if (crop.empty()) {
        // The program's usual finish window where the pictures hold it, else the whole picture.
        options.crop_width = std::min<std::int16_t>(width, 400);
        options.crop_height = std::min<std::int16_t>(height, 880);
    } else if (options.crop_width > width || options.crop_height > height) {
        throw UsageError{"The picture size " + crop + " does not fit in the " + size + " pictures of " +
                         source->friendly_name};
    }
    component->SelectSource("video:" + std::to_string(options.source_number));
    options.controls.exposure_us =
        control_arg(*component, exposure, veltro::ControlKind::Exposure, source->friendly_name);
    options.controls.gain = control_arg(*component, gain, veltro::ControlKind::Gain, source->friendly_name);

    QuietOperator quiet;
    const veltro::SourceHeatResult result =
        veltro::record_source_heat(std::move(component), options, veltro::system_clock());
    std::cout << options.path << ": " << result.frames << " frames, " << result.capture_info << ", "
              << options.crop_width << "*" << options.crop_height << ", " << result.rate << " fps\n";
    if (result.frames_lost > 0) {
        std::cout << result.frames_lost << (result.frames_lost == 1 ? " frame" : " frames")
                  << " lost on the way\n";
    }
    for (const auto& m : quiet.messages) {
        std::cerr << m << '\n';
    }
    return 0;
}

} // namespace px3tool
