// px3tool export and report: pictures and the timestamp report of a recording.
#include "picture/picture_files.h"
#include "px3tool_commands.h"
#include "recording/timestamp_report.h"
#include "recording/video_file_handler.h"
#include "support/app_paths.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/text.h"
#include "support/veltro_error.h"

#include <iostream>

namespace px3tool {

using veltro::cls_VideoFile_handler;

int export_picture(const Args& in) {
    Args args = in;
    const std::string frame = take_option(args, "--frame");
    const std::string field = take_option(args, "--field");
    const std::string out = take_option(args, "-o");
    if (args.size() != 1 || out.empty() || frame.empty() == field.empty()) {
        throw UsageError{"export takes FILE, one of --frame N or --field N, and -o OUT.png|OUT.jpg"};
    }
    const std::string type = veltro::to_lower_ascii(out.substr(out.find_last_of('.') + 1));
    if (out.find('.') == std::string::npos || (type != "png" && type != "jpg" && type != "jpeg")) {
        throw UsageError{"the output file must end in .png or .jpg"};
    }
    QuietOperator quiet;
    cls_VideoFile_handler rec;
    open_recording(rec, args[0]);
    const std::int32_t n = number_arg(frame.empty() ? field : frame, frame.empty() ? "--field" : "--frame");
    const std::int32_t limit = frame.empty() ? rec.Num_fields() : rec.num_Frames();
    if (n < 1 || n > limit) {
        throw veltro::VeltroError(veltro::err::kSubscriptOutOfRange,
                                  (frame.empty() ? "field " : "frame ") + std::to_string(n) +
                                      " is outside 1.." + std::to_string(limit));
    }
    if (frame.empty()) {
        rec.Draw_RGB_Field(n);
    } else {
        rec.Draw_RGB_frame(n);
    }
    const std::int32_t frame_number = frame.empty() ? (n + 1) / 2 : n;
    if (rec.RGB_samplesize_error() || rec.picture().empty()) {
        throw veltro::VeltroError(veltro::err::kSubscriptOutOfRange,
                                  "the record of frame " + std::to_string(frame_number) + " cannot be read");
    }
    if (rec.frame_corrupted()) {
        std::cerr << "px3tool export: frame " << frame_number
                  << " does not decode; exporting the \"Corrupted video\" picture\n";
    }
    write_output(out,
                 type == "png" ? veltro::png_bytes(rec.picture()) : veltro::jpeg_bytes(rec.picture(), 95));
    std::cout << out << '\n';
    return 0;
}

int report(const Args& in) {
    Args args = in;
    std::string out = take_option(args, "-o");
    if (args.size() != 1) {
        throw UsageError{"report takes one FILE"};
    }
    QuietOperator quiet;
    cls_VideoFile_handler rec;
    open_recording(rec, args[0]);
    if (out.empty()) {
        out = veltro::timestamp_report_path(veltro::data_dir());
    }
    write_output(out, veltro::timestamp_report_text(rec));
    std::cout << "Timestamp report written at; " << out << '\n';
    return 0;
}

} // namespace px3tool
