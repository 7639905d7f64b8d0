#include "recording/uncounted_records.h"

#include "picture/jpeg_codec.h"
#include "recording/px3_layout.h"
#include "recording/video_file_handler.h"
#include "recording/xml_header.h"
#include "support/value_or.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <system_error>
#include <vector>

namespace veltro {

namespace {

// What keeps a whole record of data size `d` from being a frame of the recording; empty when nothing.
std::string record_problem(const std::uint8_t* record, std::int32_t d, std::int32_t width,
                           std::int32_t height, const std::string& fourcc) {
    if (!px3::has_record_magic(record)) {
        return "does not begin with \"RGBS\"";
    }
    if (std::memcmp(record + 40, "RGBE", 4) != 0) {
        return "has no \"RGBE\" at record offset 40";
    }
    if (std::memcmp(record + px3::kDataOffset + d, "RGBF", 4) != 0) {
        return "has no \"RGBF\" at the end of a record of " + std::to_string(px3::sample_size_for(d)) +
               " bytes";
    }
    const px3::RecordFields fields = px3::get_record_fields(record);
    if (fields.data_count != d) {
        return "gives a data count of " + std::to_string(fields.data_count) + ", not " + std::to_string(d);
    }
    if (fields.jpeg_size <= 0 || fields.jpeg_size > d) {
        return "gives a JPEG size of " + std::to_string(fields.jpeg_size) + ", outside 1.." +
               std::to_string(d);
    }
    if (fourcc != "IJL" && fourcc != "JPEG") {
        return {};
    }
    const auto jpeg = read_jpg_header(record + px3::kDataOffset, fields.jpeg_size);
    if (!jpeg) {
        return "holds a JPEG header that cannot be read";
    }
    if (jpeg->width != width || jpeg->height != height) {
        return "holds a picture of " + std::to_string(jpeg->width) + " x " + std::to_string(jpeg->height) +
               ", the recording's frames are " + std::to_string(width) + " x " + std::to_string(height);
    }
    return {};
}

} // namespace

UncountedRecords find_uncounted_records(File& file, const Cls_XML_header& header) {
    UncountedRecords found;
    if (!header.Has_XML()) {
        found.problem = "the recording header cannot be read";
        return found;
    }
    const std::int32_t counted = value_or([&] { return std::int32_t{header.G_Frames_no()}; }, -1);
    if (counted < 0) {
        found.problem = "the header's frame count is missing or not a number";
        return found;
    }
    found.counted = counted;
    std::int64_t size = 0;
    try {
        size = file.size();
    } catch (const std::system_error& e) {
        found.problem = std::string("the file cannot be read: ") + std::strerror(e.code().value());
        return found;
    }
    std::int32_t s = 0;
    if (counted > 0) {
        s = value_or([&] { return header.RGB_Sample_Size(); }, 0);
        if (s <= px3::kRecordOverhead || s > px3::kMaxSampleSize) {
            found.problem = "the header gives a record size of " + std::to_string(s) + " bytes";
            return found;
        }
    }
    const std::int64_t start = counted > 0 ? px3::frame_offset(counted + 1, s) : px3::kHeaderBlockSize;
    found.end = std::min(start, size);
    if (size <= start) {
        return found;
    }
    if (counted == 0) {
        // No pass was counted yet: the first record says the size of them all.
        std::uint8_t head[px3::kDataOffset];
        if (size - start < px3::kDataOffset || !read_fully(file, start, head, sizeof head)) {
            found.torn = size - start;
            return found;
        }
        if (!px3::has_record_magic(head)) {
            found.problem = "the bytes behind the header block do not begin with \"RGBS\"";
            return found;
        }
        const std::int32_t d = px3::get_record_fields(head).data_count;
        if (d <= 0 || d > px3::kMaxSampleSize - px3::kRecordOverhead) {
            found.problem = "the first record gives a data count of " + std::to_string(d);
            return found;
        }
        s = px3::sample_size_for(d);
    }
    const std::int32_t d = s - px3::kRecordOverhead;
    const std::int32_t width = value_or([&] { return std::int32_t{header.RGB_X()}; }, 0);
    const std::int32_t height = value_or([&] { return std::int32_t{header.RGB_Y()}; }, 0);
    const std::string fourcc = value_or([&] { return header.RGB_fourcc(); }, std::string());
    std::vector<std::uint8_t> record(static_cast<std::size_t>(s));
    std::int32_t records = 0;
    std::int32_t largest = 0;
    std::int32_t smallest = std::numeric_limits<std::int32_t>::max();
    std::int64_t at = start;
    while (size - at >= s) {
        const std::string which = "record " + std::to_string(records + 1) +
                                  " behind the counted frames (at byte " + std::to_string(at) + ")";
        if (counted + records + 1 > px3::kMaxFrames) {
            found.problem = which + " is beyond the 32767 frames a recording holds";
            return found;
        }
        if (!read_fully(file, at, record.data(), record.size())) {
            found.problem = which + " cannot be read";
            return found;
        }
        if (const std::string what = record_problem(record.data(), d, width, height, fourcc); !what.empty()) {
            found.problem = which + " " + what;
            return found;
        }
        const std::int32_t jpeg_size = px3::get_record_fields(record.data()).jpeg_size;
        largest = std::max(largest, jpeg_size);
        smallest = std::min(smallest, jpeg_size);
        ++records;
        at += s;
    }
    found.sample_size = s;
    found.records = records;
    found.end = at;
    found.torn = size - at;
    if (records > 0) {
        found.largest = largest;
        found.smallest = smallest;
    }
    return found;
}

std::string uncounted_records_text(const UncountedRecords& found) {
    return std::to_string(found.records) + (found.records == 1 ? " complete record" : " complete records") +
           " past the " + std::to_string(found.counted) + " frames the header counts: run px3tool recover";
}

RecordsRecovery recover_uncounted_records(const std::string& recording) {
    RecordsRecovery result;
    try {
        cls_VideoFile_handler rec;
        rec.File_name(recording);
        const UncountedRecords found = rec.count_uncounted_records();
        const std::string behind =
            " behind the " + std::to_string(found.counted) + " counted frames of " + recording;
        if (!found.problem.empty()) {
            result.message =
                "The records" + behind + " cannot be counted: " + found.problem + "; nothing changed";
        } else if (found.records == 0) {
            result.message =
                "Nothing to recover: " + recording + " has no spool and no whole records" + behind;
        } else {
            result.frames = found.records;
            result.message = "Counted the " + std::to_string(found.records) +
                             " frames a pass that did not finish left" + behind;
        }
    } catch (const VeltroError& e) {
        result.message =
            "Cannot count the records of " + recording + ": " + e.description() + "; its header is as it was";
    } catch (const std::exception& e) {
        result.message =
            "Cannot count the records of " + recording + ": " + e.what() + "; its header is as it was";
    }
    return result;
}

} // namespace veltro
