#include "recording/timestamp_report.h"

#include "recording/picture_period.h"
#include "recording/video_file_handler.h"
#include "support/files.h"
#include "support/operator.h"
#include "support/spreadsheet_cell.h"
#include "support/text.h"
#include "timing/time_text.h"

#include <cstdlib>
#include <filesystem>

namespace veltro {

namespace {

// The "000" number format: at least three digits, the sign in front.
std::string three_digits(std::int64_t n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    if (digits.size() < 3) {
        digits.insert(0, 3 - digits.size(), '0');
    }
    return n < 0 ? "-" + digits : digits;
}

} // namespace

std::string timestamp_report_text(cls_VideoFile_handler& recording) {
    // The title is one quoted cell: a quote in the file name is doubled so that it cannot end the
    // cell and start one of its own.
    std::string text = "\"";
    for (const char c : spreadsheet_safe(" Timestamp report for file: " +
                                         std::filesystem::path(recording.File_name()).filename().string()))
        text += c == '"' ? std::string("\"\"") : std::string(1, c);
    text += "\"\r\n";
    text += "Frame;Capture_mill;Capture_delta;Capture_local;\r\n";
    const PicturePeriod picture = recording_picture_period(recording);
    // A frame's period in microseconds: 8333 at 120 frames a second, where whole milliseconds would
    // add up to a frame missing every 24.
    const std::int64_t period_us = (picture.field_mode ? 2 : 1) * static_cast<std::int64_t>(picture.us);
    std::int64_t previous = 0;
    bool have_previous = false;
    std::int32_t previous_n = 0;
    for (std::int32_t n = 1; n <= recording.num_Frames(); ++n) {
        recording.Read_RGB_sample(n, false);
        if (recording.RGB_samplesize_error()) {
            // Said on its own line, so that line n is always frame n; the next delta counts from the
            // last frame that was read.
            text += three_digits(n) + ";Frame could not be read;;\r\n";
            continue;
        }
        const std::int64_t mill = recording.PX3_Capture_mill();
        std::int64_t delta = mill - previous;
        // Frames the device or the capture lost: said on a line of its own, whatever the delta column
        // can show. Frames that are there but could not be read are no gap.
        const std::int64_t expected_us = period_us * (n - previous_n);
        if (have_previous && period_us > 0 && delta * 2000 > expected_us * 2 + period_us) {
            text += "---;Gap of " + std::to_string(delta) + " ms before frame " + std::to_string(n) +
                    ": about " +
                    std::to_string((delta * 1000 + period_us / 2) / period_us - (n - previous_n)) +
                    " frames missing;;\r\n";
        }
        previous_n = n;
        if (delta > 1000) {
            delta = 0;
        }
        previous = mill;
        have_previous = true;
        text += three_digits(n) + ";" + std::to_string(mill) + ";" + three_digits(delta) + ";" +
                Display_Mill_Time(recording.PX3_Capture_local(), false) + "\r\n";
    }
    return text;
}

std::string timestamp_report_path(const std::string& folder) {
    return (std::filesystem::path(folder) /
            ("frame_report" + Make_Valid_File_Name(now_default_datetime()) + ".csv"))
        .string();
}

std::string write_timestamp_report(cls_VideoFile_handler& recording, const std::string& path) {
    save_file_atomically(path, timestamp_report_text(recording));
    the_operator().message("Timestamp report written at; " + path);
    return path;
}

} // namespace veltro
