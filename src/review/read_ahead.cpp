#include "review/read_ahead.h"

#include "picture/jpeg_codec.h"
#include "recording/frame_render.h"
#include "recording/header_journal.h"
#include "recording/px3_layout.h"
#include "recording/recording_band.h"
#include "support/file_io.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <new>

namespace veltro {

namespace {

// Pixels decoded beyond the view on each side: the scaled drawing reaches into the pixels its edges
// cut.
constexpr std::int32_t kViewMargin = 2;
// Rows a field picture takes from above or below its own (field_source_row).
constexpr std::int32_t kFieldRows = 2;

// The band of the stored picture that holds every pixel of `shown` (in shown-picture pixels).
JpegBand stored_band(const JpegBand& shown, const AheadLayout& l) {
    JpegBand s = shown;
    if (l.rotated) {
        // Shown pixel (x, y) comes from stored row height - 1 - x, column y.
        s = {shown.top, l.height - (shown.left + shown.width), shown.height, shown.width};
    }
    if (l.field_mode) {
        const std::int32_t top = std::max(0, s.top - kFieldRows);
        const std::int32_t bottom = std::min(l.height, s.top + s.height + kFieldRows);
        s.top = top;
        s.height = bottom - top;
    }
    return s;
}

bool same_band(const std::optional<JpegBand>& a, const std::optional<JpegBand>& b) {
    if (a.has_value() != b.has_value()) {
        return false;
    }
    return !a || (a->left == b->left && a->top == b->top && a->width == b->width && a->height == b->height);
}

} // namespace

std::optional<JpegBand> band_in_view(const ViewAdjust& view, std::int32_t width, std::int32_t height) {
    if (!view.zoomed() || width <= 0 || height <= 0) {
        return std::nullopt;
    }
    const ViewPoint o = view.origin();
    const auto left = std::clamp(static_cast<std::int32_t>(std::floor(o.x)) - kViewMargin, 0, width - 1);
    const auto top = std::clamp(static_cast<std::int32_t>(std::floor(o.y)) - kViewMargin, 0, height - 1);
    const auto right = std::clamp(
        static_cast<std::int32_t>(std::ceil(o.x + width / view.zoom())) + kViewMargin, left + 1, width);
    const auto bottom = std::clamp(
        static_cast<std::int32_t>(std::ceil(o.y + height / view.zoom())) + kViewMargin, top + 1, height);
    return JpegBand{left, top, right - left, bottom - top};
}

struct ReadAhead::Reader {
    std::shared_ptr<File> file; // of the generation below
    std::uint64_t generation = 0;
    JpegBandDecoder decoder;
    std::vector<std::uint8_t> record;
    std::vector<std::uint8_t> band;
    cDIBSection frame;
};

ReadAhead::ReadAhead() : reader_(std::make_unique<Reader>()) {
    worker_ = std::thread([this] { run(); });
}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

bool ReadAhead::open(const std::string& path, const AheadLayout& layout) {
    close();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return false;
    }
    auto file = std::make_shared<PosixFile>(std::move(fd));
    try {
        const RecordingFacts f = read_recording_facts(*file, path, "Read-ahead");
        if (!f.jpeg || f.width != layout.width || f.height != layout.height ||
            f.sample_size != layout.sample_size || f.rotated != layout.rotated || f.frames < layout.frames) {
            return false;
        }
    } catch (const VeltroError&) {
        return false;
    }
    {
        const std::lock_guard lock(mutex_);
        layout_ = layout;
        open_ = true;
        position_ = 0;
        reader_file_ = std::move(file);
    }
    return true;
}

void ReadAhead::close() {
    const std::lock_guard lock(mutex_);
    ++generation_;
    open_ = false;
    position_ = 0;
    band_.reset();
    kept_.clear();
    failed_.clear();
    reader_file_.reset();
}

void ReadAhead::shown(std::int32_t position, std::int32_t step, const std::optional<JpegBand>& band) {
    {
        const std::lock_guard lock(mutex_);
        if (!open_) {
            return;
        }
        if (!same_band(band, band_)) {
            band_ = band;
            failed_.clear();
        }
        position_ = position;
        // Long jumps read ahead picture by picture; the jumps of a search by their own step.
        step_ = step == 0 ? 1 : (std::abs(step) <= kAhead ? step : (step > 0 ? 1 : -1));
        std::erase_if(failed_, [this](std::int32_t p) { return !wanted(p); });
    }
    wake_.notify_one();
}

std::shared_ptr<const AheadPicture> ReadAhead::take(std::int32_t position,
                                                    const std::optional<JpegBand>& band) {
    const std::lock_guard lock(mutex_);
    for (const auto& p : kept_) {
        if (p->position == position && same_band(p->band, band)) {
            return p;
        }
    }
    return nullptr;
}

void ReadAhead::settle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !busy_ && !next_job(); });
}

bool ReadAhead::wanted(std::int32_t position) const {
    if (position == position_) {
        return true;
    }
    for (std::int32_t k = 1; k <= kAhead; ++k) {
        if (position == position_ + k * step_) {
            return true;
        }
    }
    return position == position_ - step_;
}

std::optional<ReadAhead::Job> ReadAhead::next_job() const {
    if (!open_ || position_ == 0) {
        return std::nullopt;
    }
    // Nearest first in the direction of travel, then the one behind.
    std::int32_t order[kAhead + 1];
    for (std::int32_t k = 1; k <= kAhead; ++k) {
        order[k - 1] = position_ + k * step_;
    }
    order[kAhead] = position_ - step_;
    for (const std::int32_t p : order) {
        if (p < 1 || p > layout_.positions || std::ranges::find(failed_, p) != failed_.end()) {
            continue;
        }
        const bool have = std::ranges::any_of(
            kept_, [&](const auto& k) { return k->position == p && same_band(k->band, band_); });
        if (!have) {
            return Job{generation_, p, band_};
        }
    }
    return std::nullopt;
}

void ReadAhead::run() {
    std::unique_lock lock(mutex_);
    while (true) {
        std::optional<Job> job;
        wake_.wait(lock, [&] {
            job = stop_ ? std::nullopt : next_job();
            return stop_ || job.has_value();
        });
        if (stop_) {
            return;
        }
        busy_ = true;
        if (reader_->generation != job->generation) {
            reader_->file = reader_file_;
            reader_->generation = job->generation;
        }
        const AheadLayout layout = layout_;
        lock.unlock();
        std::shared_ptr<AheadPicture> picture;
        try {
            picture = decode(*job, layout);
        } catch (const VeltroError&) {
            picture.reset();
        } catch (const std::bad_alloc&) {
            picture.reset();
        }
        lock.lock();
        busy_ = false;
        if (job->generation != generation_) {
            reader_->file.reset(); // the recording was closed or replaced: its file is let go
        }
        if (job->generation == generation_ && same_band(job->band, band_)) {
            if (!picture) {
                failed_.push_back(job->position);
            } else if (wanted(job->position)) {
                // Room for it: the pictures the operator left behind go first.
                std::erase_if(kept_, [this](const auto& k) {
                    return !wanted(k->position) || !same_band(k->band, band_);
                });
                if (kept_.size() >= kKept) {
                    kept_.erase(kept_.begin());
                }
                kept_.push_back(std::move(picture));
            }
        }
        idle_.notify_all();
    }
}

std::shared_ptr<AheadPicture> ReadAhead::decode(const Job& job, const AheadLayout& l) {
    Reader& r = *reader_;
    const std::int32_t frame = l.field_mode ? (job.position + 1) / 2 : job.position;
    if (!r.file || frame < 1 || frame > l.frames) {
        return nullptr;
    }
    r.record.resize(static_cast<std::size_t>(l.sample_size));
    if (!read_fully(*r.file, px3::frame_offset(frame, l.sample_size), r.record.data(), r.record.size()) ||
        !px3::has_record_magic(r.record.data())) {
        return nullptr;
    }
    const px3::RecordFields fields = px3::get_record_fields(r.record.data());
    const std::uint8_t* data = r.record.data() + px3::kDataOffset;
    const std::int32_t size = fields.jpeg_size;
    if (size <= 0 || size > l.sample_size - px3::kRecordOverhead) {
        return nullptr;
    }
    auto out = std::make_shared<AheadPicture>();
    out->position = job.position;
    out->band = job.band;
    out->record_crc = crc32_of(r.record.data(), r.record.size());
    if (job.band) {
        const JpegBand s = stored_band(*job.band, l);
        r.decoder.decode(data, static_cast<std::size_t>(size), l.width, l.height, s, r.band);
        if (!r.frame.Create(l.width, l.height)) {
            return nullptr;
        }
        const std::size_t row_bytes = static_cast<std::size_t>(s.width) * 3;
        for (std::int32_t y = 0; y < s.height; ++y) {
            std::copy_n(r.band.data() + static_cast<std::size_t>(y) * row_bytes, row_bytes,
                        r.frame.scan_line(s.top + y) + static_cast<std::size_t>(s.left) * 3);
        }
    } else {
        // The checks of the window's reader: a stream of another size is not this recording's picture.
        const auto header = read_jpg_header(data, size);
        if (!header || header->width != l.width || header->height != l.height ||
            !DIB_From_JPG(r.frame, data, size)) {
            return nullptr;
        }
    }
    const cDIBSection* shown = &r.frame;
    cDIBSection field;
    if (l.field_mode) {
        const std::int16_t displayed = job.position % 2 != 0 ? 1 : 2;
        if (!field.Create(l.width, l.height) || !deinterlaceFrame2(r.frame, field, displayed == 1 ? 2 : 1)) {
            return nullptr;
        }
        shown = &field;
    }
    if (l.rotated) {
        if (!out->picture.Create(l.height, l.width) || !Rotate90(*shown, out->picture)) {
            return nullptr;
        }
    } else if (shown == &field) {
        out->picture = std::move(field);
    } else {
        out->picture = r.frame;
    }
    return out;
}

} // namespace veltro
