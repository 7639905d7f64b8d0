// Recovery of a capture that ended with the program: the frames of the spool left beside a
// recording are appended to it as the final pass of that capture would have.
#include "recording/capture_spool.h"
#include "recording/video_file_handler.h"
#include "support/value_or.h"
#include "support/veltro_error.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro {

namespace {

// Removes the spool; the message ends with why it could not be, or (`tell`) that it was.
void remove_spool(const std::string& spool, SpoolRecovery& result, bool tell) {
    if (::unlink(spool.c_str()) != 0 && errno != ENOENT) {
        result.message += std::string("; the spool cannot be removed: ") + std::strerror(errno);
        return;
    }
    result.spool_removed = true;
    if (tell) {
        result.message += "; the spool is removed";
    }
}

std::string with_damage(const std::string& text, const std::string& damage) {
    return damage.empty() ? text : text + " (" + damage + ")";
}

} // namespace

SpoolRecovery append_spool_frames(const std::string& recording, const CompressedFrames& frames,
                                  const SpoolHead& head, const std::string& damage) {
    SpoolRecovery result;
    const std::string kept = "; nothing recovered, the spool is kept";
    try {
        cls_VideoFile_handler rec;
        rec.File_name(recording);
        rec.Open_px3_for_Append();
        const Cls_XML_header& header = rec.xml_header();
        const std::int32_t width = value_or([&] { return std::int32_t{header.RGB_X()}; }, 0);
        const std::int32_t height = value_or([&] { return std::int32_t{header.RGB_Y()}; }, 0);
        const std::int32_t counted = header.G_Frames_no();
        const std::string fourcc = value_or([&] { return header.RGB_fourcc(); }, std::string());
        if (width != head.width || height != head.height) {
            rec.abandon_append();
            result.message = "The spool of " + recording + " holds pictures of " +
                             std::to_string(head.width) + " x " + std::to_string(head.height) +
                             ", the recording's frames are " + std::to_string(width) + " x " +
                             std::to_string(height) + kept;
            return result;
        }
        if (fourcc != "IJL" && fourcc != "JPEG") {
            rec.abandon_append();
            result.message =
                "The recording " + recording + " stores no JPEG frames (\"" + fourcc + "\")" + kept;
            return result;
        }
        if (counted > head.base_frames) {
            // The final pass counted the frames and the program ended before it removed the spool.
            rec.abandon_append();
            result.message = "The frames of the spool of " + recording + " are in the recording already";
            result.settled = true;
            return result;
        }
        if (counted < head.base_frames) {
            rec.abandon_append();
            result.message = "The recording " + recording + " counts " + std::to_string(counted) +
                             " frames, fewer than the " + std::to_string(head.base_frames) +
                             " it had when the capture of its spool began" + kept;
            return result;
        }
        if (frames.count() == 0) {
            rec.abandon_append();
            result.message = with_damage("The spool of " + recording + " holds no frame", damage);
            result.settled = true;
            return result;
        }

        rec.Cropped_X(width);
        rec.Cropped_Y(height);
        rec.start_quality(head.start_quality);
        rec.append_compressed_pass(frames, {});
        if (rec.xml_header().G_Frames_no() != counted + frames.count()) {
            // The recording did not count them: the spool keeps them.
            result.message = "The " + std::to_string(frames.count()) + " frames of the spool of " +
                             recording + " were not counted in the recording" + kept;
            return result;
        }
        result.frames = frames.count();
        result.settled = true;
        result.message = with_damage("Recovered " + std::to_string(result.frames) + " frames of " +
                                         recording + " from an interrupted capture",
                                     damage);
    } catch (const VeltroError& e) {
        result.message = "Cannot recover the spool of " + recording + ": " + e.description() + kept;
    } catch (const std::exception& e) {
        result.message = "Cannot recover the spool of " + recording + ": " + e.what() + kept;
    }
    return result;
}

SpoolRecovery recover_spool(const std::string& recording) {
    const std::string spool = spool_path(recording);
    struct stat st {};
    if (::stat(spool.c_str(), &st) != 0) {
        const int e = errno;
        SpoolRecovery result;
        result.message = e == ENOENT ? "Nothing to recover: " + recording + " has no spool"
                                     : "The spool of " + recording + " cannot be read: " + std::strerror(e);
        return result;
    }
    std::unique_ptr<SpoolReader> reader;
    try {
        reader = std::make_unique<SpoolReader>(spool);
    } catch (const VeltroError& e) {
        SpoolRecovery result;
        result.message = "Cannot recover the spool of " + recording + ": " + e.description() +
                         "; nothing recovered, the spool is kept";
        return result;
    }
    SpoolRecovery result = append_spool_frames(recording, *reader, reader->head(), reader->damage());
    reader.reset();
    if (result.settled) {
        // Told when the frames were there already or none were; a recovery's message says enough.
        remove_spool(spool, result, result.frames == 0);
    }
    return result;
}

} // namespace veltro
