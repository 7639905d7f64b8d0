#include "recording/recording_check.h"

#include "picture/dib_section.h"
#include "picture/jpeg_codec.h"
#include "recording/px3_layout.h"
#include "recording/xml_header.h"
#include "support/byte_order.h"
#include "support/value_or.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <system_error>

namespace veltro {

namespace {

// True when all `size` bytes at `offset` could be read.
bool read_fully(File& file, std::int64_t offset, void* data, std::size_t size) {
    try {
        return file.read_at(offset, data, size) == size;
    } catch (const std::system_error&) {
        return false;
    }
}

} // namespace

RecordingCheck Check_Recording(const std::string& path) {
    std::error_code ec;
    // Folders and other things that are no file are refused here: they open, but cannot be read.
    (void)std::filesystem::file_size(path, ec);
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (ec || !fd) {
        RecordingCheck result;
        result.problems.push_back("cannot be read");
        return result;
    }
    PosixFile file(std::move(fd));
    return Check_Recording(file);
}

RecordingCheck Check_Recording(File& file) {
    RecordingCheck result;
    std::int64_t size = 0;
    try {
        size = file.size();
    } catch (const std::system_error&) {
        result.problems.push_back("cannot be read");
        return result;
    }
    if (size < px3::kHeaderBlockSize) {
        result.problems.push_back("file of " + std::to_string(size) +
                                  " bytes is shorter than the 32016-byte header block");
        return result;
    }
    auto block = std::make_unique<px3::HeaderBlock>();
    if (!read_fully(file, 0, block->data(), block->size())) {
        result.problems.push_back("cannot be read");
        return result;
    }
    const auto contents = px3::decode_header_block(block->data(), block->size());
    if (!contents.magic_ok) {
        result.problems.push_back("header block does not begin with \"PXV3\"");
    }
    if (contents.header_size != px3::kHeaderBlockSize) {
        result.problems.push_back("header block size field is " + std::to_string(contents.header_size) +
                                  ", not 32016");
    }
    if (std::memcmp(block->data() + px3::kEndMagicOffset, "PXVX", 4) != 0) {
        result.problems.push_back("header block does not end with \"PXVX\"");
    }
    if (!contents.text_ok) {
        result.problems.push_back("header text length " + std::to_string(contents.text_length) +
                                  " is outside 0..32000");
        return result;
    }
    Cls_XML_header header;
    header.XML_string(contents.text);
    if (!header.Has_XML()) {
        result.problems.push_back("recording header does not parse");
        return result;
    }
    const std::int32_t frames = value_or([&] { return std::int32_t{header.G_Frames_no()}; }, -1);
    const std::int32_t s = value_or([&] { return header.RGB_Sample_Size(); }, -1);
    const std::int32_t width = value_or([&] { return std::int32_t{header.RGB_X()}; }, 0);
    const std::int32_t height = value_or([&] { return std::int32_t{header.RGB_Y()}; }, 0);
    const std::string fourcc = value_or([&] { return header.RGB_fourcc(); }, std::string());
    if (frames < 0) {
        result.problems.push_back("frame count is missing or not a number");
        return result;
    }
    result.frames = frames;
    result.behind = Find_Uncounted_Records(file, header);
    if (frames == 0) {
        return result;
    }
    if (s <= px3::kRecordOverhead) {
        result.problems.push_back("sample size " + std::to_string(s) + " cannot hold a record");
        return result;
    }
    if (s > px3::kMaxSampleSize) {
        // Not allocated: the size comes from the file.
        result.problems.push_back("sample size " + std::to_string(s) + " is beyond " +
                                  std::to_string(px3::kMaxSampleSize) + " bytes");
        return result;
    }
    const std::int32_t d = s - px3::kRecordOverhead;
    const std::int64_t needed = px3::frame_offset(frames + 1, s);
    if (size < needed) {
        result.problems.push_back("file of " + std::to_string(size) + " bytes ends inside frame " +
                                  std::to_string((size - px3::kHeaderBlockSize) / s + 1) + " of " +
                                  std::to_string(frames) + " (needs " + std::to_string(needed) + " bytes)");
    }
    std::vector<std::uint8_t> record(static_cast<std::size_t>(s));
    cDIBSection picture;
    for (std::int32_t n = 1; n <= frames && px3::frame_offset(n + 1, s) <= size; ++n) {
        if (!read_fully(file, px3::frame_offset(n, s), record.data(), record.size())) {
            result.problems.push_back("cannot be read");
            return result;
        }
        const std::string at = "frame " + std::to_string(n) + ": ";
        if (!px3::has_record_magic(record.data())) {
            result.problems.push_back(at + "record does not begin with \"RGBS\"");
            continue;
        }
        if (std::memcmp(record.data() + 40, "RGBE", 4) != 0) {
            result.problems.push_back(at + "no \"RGBE\" at record offset 40");
        }
        if (std::memcmp(record.data() + px3::kDataOffset + d, "RGBF", 4) != 0) {
            result.problems.push_back(at + "no \"RGBF\" at the end of the record");
        }
        const auto fields = px3::get_record_fields(record.data());
        if (fields.data_count != d) {
            result.problems.push_back(at + "data count " + std::to_string(fields.data_count) +
                                      " differs from " + std::to_string(d));
        }
        if (fields.jpeg_size <= 0 || fields.jpeg_size > d) {
            result.problems.push_back(at + "JPEG size " + std::to_string(fields.jpeg_size) +
                                      " is outside 1.." + std::to_string(d));
            continue;
        }
        if (fourcc != "IJL" && fourcc != "JPEG") {
            continue;
        }
        const std::uint8_t* jpg = record.data() + px3::kDataOffset;
        const auto jpeg_header = Read_JPG_Header(jpg, fields.jpeg_size);
        if (!jpeg_header) {
            result.problems.push_back(at + "JPEG header cannot be read");
            continue;
        }
        if (jpeg_header->width != width || jpeg_header->height != height) {
            result.problems.push_back(at + "JPEG picture is " + std::to_string(jpeg_header->width) + " x " +
                                      std::to_string(jpeg_header->height) + ", the recording's frames are " +
                                      std::to_string(width) + " x " + std::to_string(height));
            continue;
        }
        if (!DIB_From_JPG(picture, jpg, fields.jpeg_size)) {
            result.problems.push_back(at + "JPEG data does not decode");
        }
    }
    return result;
}

} // namespace veltro
