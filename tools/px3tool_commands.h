#pragma once

#include "support/value_or.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The px3tool commands. Each takes the arguments after the command name and returns the exit status;
// problems go to stderr and leave the recording unchanged.
namespace px3tool {

using Args = std::vector<std::string>;

int info(const Args& args);
int verify(const Args& args);
int report(const Args& args);
int export_picture(const Args& args);
int results(const Args& args);
int event_results(const Args& args);
int evidence(const Args& args);
int set_time(const Args& args);
int set_dog(const Args& args);
int demo(const Args& args);
int bench(const Args& args);
int recover(const Args& args);
int history(const Args& args);
int strip(const Args& args);
int card(const Args& args);
int measure_delay(const Args& args);
int sources(const Args& args);
int capture(const Args& args);

// A usage mistake: the message is printed with the usage text, exit status 2.
struct UsageError {
    std::string message;
};

// The value after `option` in args (removing both), or "" when the option is absent.
std::string take_option(Args& args, const std::string& option);
// Whether `flag` is in args (removing it).
bool take_flag(Args& args, const std::string& flag);
// Writes a command's output: to standard output when `path` is "", else into the file `path`,
// replaced atomically (what a killed run left beside it is removed first), or straight into a device
// or pipe of that name. Fails with a VeltroError naming the path and the reason.
void write_output(const std::string& path, std::string_view data);
// A whole number argument; a usage error naming `what` when it is none.
std::int32_t number_arg(const std::string& text, const std::string& what);
// The demo camera's --format and --crop: "" leaves the value as it is, anything but a demo format or
// crop size is a usage error.
void demo_format_arg(const std::string& text, std::size_t& format);
void demo_crop_arg(const std::string& text, std::int16_t& width, std::int16_t& height);

} // namespace px3tool

namespace veltro {
class cls_VideoFile_handler;
}

namespace px3tool {

// Opens a recording for review; fails (VeltroError) when it cannot be opened or has no header.
void open_recording(veltro::cls_VideoFile_handler& rec, const std::string& path);

using veltro::value_or;

} // namespace px3tool

#include "support/operator.h"

namespace px3tool {
using veltro::QuietOperator;
} // namespace px3tool
