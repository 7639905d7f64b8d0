// px3tool set-time and set-dog: corrections from scripts, through the same timing model and header
// rewrite as the review window.
#include "px3tool_commands.h"
#include "recording/video_file_handler.h"
#include "results/photo_finish.h"
#include "support/numbers.h"
#include "support/utf8_text.h"
#include "support/veltro_error.h"
#include "timing/heat_timing.h"
#include "timing/lengths.h"
#include "timing/published_results.h"
#include "timing/result_ranking.h"
#include "timing/time_text.h"

#include <filesystem>
#include <iostream>

namespace px3tool {

using veltro::cls_VideoFile_handler;

namespace {

void refuse_read_only(const cls_VideoFile_handler& rec) {
    if (rec.Read_only()) {
        throw veltro::VeltroError(veltro::err::kPermissionDenied, "File is read only!");
    }
}

} // namespace

int set_time(const Args& in) {
    Args args = in;
    const bool split = take_flag(args, "--split");
    const bool dead_heat = take_flag(args, "--dead-heat");
    const std::string no_time = take_option(args, "--no-time");
    const std::string frame = take_option(args, "--frame");
    if (args.size() != 3) {
        throw UsageError{"set-time takes FILE BOX MS"};
    }
    std::string caption;
    if (!no_time.empty()) {
        if (no_time == "DSQ" || no_time == "DNF") {
            caption = no_time;
        } else if (no_time == "NoRnk") {
            caption = "No Rnk";
        } else {
            throw UsageError{"--no-time takes DSQ, DNF or NoRnk"};
        }
    }
    if (split && (dead_heat || !caption.empty())) {
        throw UsageError{"--dead-heat and --no-time apply to finish times, not to split times"};
    }
    const std::int32_t box = number_arg(args[1], "BOX");
    const std::int32_t ms = number_arg(args[2], "MS");
    // A number at or above the first no-time code would be stored as DNF, DSQ or No Rnk unseen.
    if (ms < 0 || ms >= veltro::no_time::kFirst) {
        throw UsageError{"MS " + args[2] +
                         " is outside 0..888885; DNF, DSQ and No Rnk are given with --no-time"};
    }
    const std::int32_t picture = frame.empty() ? 0 : number_arg(frame, "--frame");
    if (picture < 0 || picture > 32767) {
        throw UsageError{"--frame " + frame + " is outside 0..32767"};
    }
    if (box < 1 || box > veltro::kTimedBoxes) {
        throw veltro::VeltroError(veltro::err::kSubscriptOutOfRange, "box " + args[1] + " is outside 1..6");
    }

    cls_VideoFile_handler rec;
    open_recording(rec, args[0]);
    refuse_read_only(rec);
    veltro::HeatTiming timing(veltro::system_clock());
    timing.set_recording(&rec);
    timing.show_picture(static_cast<std::int16_t>(picture), ms);
    timing.dead_heat = dead_heat;
    if (!caption.empty()) {
        timing.no_time = true;
        timing.no_time_caption = caption;
    }
    timing.Set_Time(static_cast<std::int16_t>(box), ms, split);
    const std::int32_t stored = rec.Velt_Heat_time(static_cast<std::int16_t>(box), split);
    std::cout << "box " << box << (split ? " split time " : " finish time ") << stored;
    if (stored < veltro::no_time::kFirst) {
        std::cout << " (" << veltro::Display_Mill_Time(stored, true) << ")";
    }
    std::cout << (rec.Velt_dead_heat(static_cast<std::int16_t>(box)) ? ", dead heat" : "") << '\n';
    return 0;
}

int set_dog(const Args& args) {
    if (args.size() != 3) {
        throw UsageError{"set-dog takes FILE BOX NAME"};
    }
    const std::int32_t number = number_arg(args[1], "BOX");
    if (number < 1 || number > veltro::kBoxes) {
        throw veltro::VeltroError(veltro::err::kSubscriptOutOfRange, "box " + args[1] + " is outside 1..8");
    }
    if (!veltro::is_valid_utf8(args[2])) {
        // The header would lose the stray bytes without a word.
        throw veltro::VeltroError(veltro::err::kTypeMismatch, "NAME is not valid UTF-8; nothing was changed");
    }
    const auto box = static_cast<std::int16_t>(number);
    cls_VideoFile_handler rec;
    open_recording(rec, args[0]);
    refuse_read_only(rec);
    rec.Velt_Dog_name(box, args[2]);
    rec.Write_XML_header();
    std::cout << "box " << box << " dog name " << rec.Velt_Dog_name(box) << '\n';
    return 0;
}

int results(const Args& in) {
    Args args = in;
    const std::string delay = take_option(args, "--box-delay");
    const bool lengths = take_flag(args, "--lengths");
    std::string format = take_option(args, "--format");
    const std::string out = take_option(args, "-o");
    if (format.empty()) {
        format = "text";
    }
    if (args.size() != 1) {
        throw UsageError{"results takes one FILE"};
    }
    if (format != "text" && format != "csv" && format != "json") {
        throw UsageError{"--format takes text, csv or json"};
    }
    if (lengths && format != "text") {
        throw UsageError{"--lengths goes with the text form; CSV and JSON always carry the distances"};
    }
    cls_VideoFile_handler rec;
    open_recording(rec, args[0]);
    // The box delay stored with the heat; the one in the settings when the recording has none.
    std::int32_t box_delay = 0;
    if (!delay.empty()) {
        box_delay = number_arg(delay, "--box-delay");
    } else {
        box_delay = veltro::recorded_box_delay(rec);
    }
    veltro::PublishedHeat heat = veltro::publish_heat(rec, box_delay, veltro::seconds_per_length_setting());
    heat.recording = std::filesystem::path(args[0]).filename().string();
    veltro::add_estimates(heat, veltro::recorded_estimates(rec, args[0]));
    std::string text;
    if (format == "csv") {
        text = veltro::results_csv(heat);
    } else if (format == "json") {
        text = veltro::results_json(heat);
    } else if (lengths) {
        veltro::ResultArray result = veltro::Load_Result_Array(rec);
        veltro::Sort_Result_Array(result);
        const veltro::ResultDisplay display = veltro::Display_Result_Array(result, box_delay);
        const veltro::ResultDistances distances =
            veltro::distances_in_lengths(result, veltro::seconds_per_length_setting());
        text = veltro::export_to_clipboard_text(rec.Velt_Heat_ID(), display.rows, distances);
    } else {
        text = heat.text;
    }
    write_output(out, text);
    return 0;
}

} // namespace px3tool
