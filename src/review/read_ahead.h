#pragma once

#include "picture/dib_section.h"
#include "picture/jpeg_band.h"
#include "review/view_adjust.h"
#include "support/file_io.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace veltro {

// A review picture decoded ahead of time: the field or frame at a play position as the recording
// object shows it (turned when the recording is stored rotated). With a band only the pixels of that
// band (in shown-picture pixels) are decoded; the rest of the picture is black.
struct AheadPicture {
    std::int32_t position = 0;
    std::optional<JpegBand> band;
    cDIBSection picture;
    std::uint32_t record_crc = 0; // of the whole record it was decoded from
};

// What the review shows of a recording, as its own reader found it on opening.
struct AheadLayout {
    std::int32_t width = 0; // of the stored pictures
    std::int32_t height = 0;
    std::int32_t frames = 0;
    std::int32_t sample_size = 0;
    bool rotated = false;
    bool field_mode = true;     // play positions are fields, frame (position + 1) / 2
    std::int32_t positions = 0; // the slider's range 1 .. positions
};

// The part of a picture of width x height the view shows when zoomed, with a margin for the
// scaled drawing's edges; std::nullopt when the whole picture is in view.
std::optional<JpegBand> band_in_view(const ViewAdjust& view, std::int32_t width, std::int32_t height);

// The review's read-ahead: one worker thread decodes the pictures next to the one on show, in the
// direction the operator steps (and the one behind), into a small cache, on a descriptor of its own.
// The window thread takes a picture when it is there and decodes it itself when not: it never waits
// for a decode. Pictures of a recording that was closed, or opened again, are never handed out; the
// record each was decoded from is named by its CRC, so the window can check it against the record
// it reads itself.
class ReadAhead {
public:
    ReadAhead();
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Reads ahead in the recording at `path`, dropping everything of the one before. False (and
    // nothing read ahead) when it cannot be opened or is not a JPEG recording of this layout.
    bool open(const std::string& path, const AheadLayout& layout);
    // Drops every picture; nothing is read until the next open.
    void close();
    // The window shows `position`, reached by `step` (the difference to the position before; 0 for a
    // first picture), with `band` in view (std::nullopt: the whole picture).
    void shown(std::int32_t position, std::int32_t step, const std::optional<JpegBand>& band);
    // The picture at `position` decoded for `band`; nullptr when it is not (yet) there.
    std::shared_ptr<const AheadPicture> take(std::int32_t position, const std::optional<JpegBand>& band);
    // Waits until the worker has decoded what it wants (tests and benchmarks).
    void settle();

    // Pictures kept: those ahead, the one behind and the one on show.
    static constexpr std::int32_t kAhead = 4;
    static constexpr std::size_t kKept = kAhead + 2;

private:
    struct Job {
        std::uint64_t generation = 0;
        std::int32_t position = 0;
        std::optional<JpegBand> band;
    };
    void run();
    // The next position wanted and not yet decoded or failed; needs the lock.
    std::optional<Job> next_job() const;
    bool wanted(std::int32_t position) const;
    std::shared_ptr<AheadPicture> decode(const Job& job, const AheadLayout& layout);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    bool stop_ = false;
    bool busy_ = false;
    std::uint64_t generation_ = 0;
    AheadLayout layout_;
    std::shared_ptr<File> reader_file_; // opened for the worker, handed over with the generation
    bool open_ = false;
    std::int32_t position_ = 0;
    std::int32_t step_ = 1;
    std::optional<JpegBand> band_;
    std::vector<std::shared_ptr<const AheadPicture>> kept_;
    std::vector<std::int32_t> failed_;

    // The worker's own: only it touches these once started.
    struct Reader;
    std::unique_ptr<Reader> reader_;
    std::thread worker_;
};

} // namespace veltro
