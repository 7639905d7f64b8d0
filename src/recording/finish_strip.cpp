// The finish strip: the goal line's pixels of every picture of a recording side by side. It reads the
// recording on its own descriptor and keeps all its state local, so that it can run on a background
// thread while the window reviews the same file.
#include "recording/finish_strip.h"

#include "picture/bitmap_text.h"
#include "picture/jpeg_band.h"
#include "recording/frame_render.h"
#include "recording/recording_band.h"
#include "support/file_io.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/veltro_error.h"
#include "timing/heat_timing.h"
#include "timing/time_text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <exception>
#include <fcntl.h>
#include <system_error>
#include <thread>

namespace veltro {

std::int16_t FinishStrip::picture_at(std::int32_t x) const {
    if (pictures() == 0 || column_width <= 0) {
        return 0;
    }
    const std::int32_t position = x < 0 ? 1 : x / column_width + 1;
    return static_cast<std::int16_t>(std::clamp(position, 1, pictures()));
}

std::int32_t FinishStrip::column_of(std::int16_t position) const {
    if (pictures() == 0) {
        return 0;
    }
    return (std::clamp<std::int32_t>(position, 1, pictures()) - 1) * column_width;
}

namespace {

constexpr std::int32_t kMaxColumnWidth = 64;
// Field_To_Show while a whole frame is on show.
constexpr std::int16_t kWholeFrame = 99;

// The scale band: a base line, ticks below it, time labels below those.
constexpr std::int32_t kMajorTick = 8;
constexpr std::int32_t kMinorTick = 4;
constexpr std::int32_t kLabelTop = 10;
constexpr std::int32_t kLabelHeight = 20; // the 5x7 font at twice its size
constexpr std::int32_t kLabelAdvance = 12;
constexpr std::int32_t kLabelGap = 8;
constexpr std::int32_t kMinorSpacing = 5; // fewer pixels between minor ticks make a smear

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// n / d rounded to the nearest whole number, halves away from zero; d > 0.
std::int64_t rounded_quotient(std::int64_t n, std::int64_t d) {
    return n >= 0 ? (2 * n + d) / (2 * d) : -((-2 * n + d) / (2 * d));
}

// The picture pixels along the line, one per step along its longer axis, from its upper end (the
// left end of a line nearer the horizontal). The ends are kept inside the picture.
std::vector<Point> line_points(const StripLine& line, std::int32_t width, std::int32_t height) {
    Point a{std::clamp(line.x1, 0, width - 1), std::clamp(line.y1, 0, height - 1)};
    Point b{std::clamp(line.x2, 0, width - 1), std::clamp(line.y2, 0, height - 1)};
    const bool steep = std::abs(b.y - a.y) >= std::abs(b.x - a.x);
    if ((steep && a.y > b.y) || (!steep && a.x > b.x)) {
        std::swap(a, b);
    }
    const std::int64_t dx = b.x - a.x;
    const std::int64_t dy = b.y - a.y;
    const std::int64_t steps = std::max(std::abs(dx), std::abs(dy));
    std::vector<Point> points;
    points.reserve(static_cast<std::size_t>(steps) + 1);
    for (std::int64_t i = 0; i <= steps; ++i) {
        if (steps == 0) {
            points.push_back(a);
            break;
        }
        points.push_back({static_cast<std::int32_t>(a.x + rounded_quotient(i * dx, steps)),
                          static_cast<std::int32_t>(a.y + rounded_quotient(i * dy, steps))});
    }
    return points;
}

// Where each strip row takes its pixel in a stored frame: for the first and second field of the
// frame in field mode, for the frame itself in frame mode (one plan); and the band holding them all.
struct Sampling {
    std::array<std::vector<Point>, 2> from;
    std::int32_t plans = 1;
    JpegBand band;
};

Sampling plan_sampling(const StripLine& line, const RecordingFacts& f) {
    // The review draws a rotated recording turned a quarter clockwise: its line is in that picture.
    const std::int32_t shown_width = f.rotated ? f.height : f.width;
    const std::int32_t shown_height = f.rotated ? f.width : f.height;
    const std::vector<Point> points = line_points(line, shown_width, shown_height);
    Sampling s;
    s.plans = f.field_mode ? 2 : 1;
    Point low{f.width, f.height};
    Point high{-1, -1};
    for (std::int32_t plan = 0; plan < s.plans; ++plan) {
        // Field 1 (odd play positions) is the top field, shown by selector 2.
        const std::int16_t selector = plan == 0 ? 2 : 1;
        std::vector<Point>& from = s.from[static_cast<std::size_t>(plan)];
        from.reserve(points.size());
        for (const Point& p : points) {
            Point q = p;
            if (f.rotated) {
                const SourcePixel source = rotated_source(p.x, p.y, f.height);
                q = {source.column, source.row};
            }
            if (f.field_mode) {
                q.y = field_source_row(q.y, selector, f.height);
            }
            from.push_back(q);
            low = {std::min(low.x, q.x), std::min(low.y, q.y)};
            high = {std::max(high.x, q.x), std::max(high.y, q.y)};
        }
    }
    s.band = {low.x, low.y, high.x - low.x + 1, high.y - low.y + 1};
    return s;
}

// Everything the workers share. They take frames in turn from `next`; each writes only the columns
// and times of its own frames.
struct Job {
    File& file;
    const RecordingFacts& facts;
    const Sampling& sampling;
    std::int32_t goal_compensation = 0;
    const std::atomic<bool>* cancel = nullptr;
    FinishStrip& strip;
    std::int32_t frames = 0; // frames to read
    std::atomic<std::int32_t> next{1};
    std::atomic<std::int32_t> done{0};
    std::atomic<bool> stop{false};

    bool stopped() const { return stop.load() || (cancel != nullptr && cancel->load()); }
};

// One worker's buffers.
using Worker = BandReader;

// Reads record `frame` and puts the strip's band into w.band; false when the picture cannot be read.
bool read_band(Job& job, Worker& w, std::int32_t frame, std::int32_t& capture_mill) {
    return read_frame_band(job.file, job.facts, frame, job.sampling.band, w, capture_mill);
}

// Paints the column of play position `position` from the band (or grey without one) and sets its time.
void paint_picture(Job& job, const Worker& w, std::int32_t position, bool readable,
                   std::int32_t capture_mill) {
    FinishStrip& strip = job.strip;
    const std::int32_t cw = strip.column_width;
    const std::size_t left = static_cast<std::size_t>(position - 1) * cw * 3;
    const std::int32_t plan = job.facts.field_mode && position % 2 == 0 ? 1 : 0;
    const std::vector<Point>& from = job.sampling.from[static_cast<std::size_t>(plan)];
    const JpegBand& band = job.sampling.band;
    const std::uint8_t grey[3] = {kStripUnreadableColour >> 16 & 0xFF, kStripUnreadableColour >> 8 & 0xFF,
                                  kStripUnreadableColour & 0xFF};
    for (std::int32_t row = 0; row < strip.strip_height; ++row) {
        const std::uint8_t* pixel = grey;
        if (readable) {
            const Point& p = from[static_cast<std::size_t>(row)];
            pixel = w.band.data() + (static_cast<std::size_t>(p.y - band.top) * band.width +
                                     static_cast<std::size_t>(p.x - band.left)) *
                                        3;
        }
        std::uint8_t* out = strip.image.scan_line(row) + left;
        for (std::int32_t c = 0; c < cw; ++c) {
            std::copy_n(pixel, 3, out + 3 * c);
        }
    }
    std::optional<std::int32_t>& time = strip.times[static_cast<std::size_t>(position - 1)];
    time.reset();
    if (readable && job.facts.start) {
        const std::int16_t field = job.facts.field_mode ? static_cast<std::int16_t>(plan + 1) : kWholeFrame;
        try {
            time = picture_time(static_cast<std::uint32_t>(capture_mill), *job.facts.start, field,
                                job.goal_compensation);
        } catch (const VeltroError&) {
            // A stamp that gives no time in 32 bits: the picture has none.
        }
    }
}

// Takes frames until none are left or the job stops; `progress` (may be empty) hears how far the
// whole job is after each frame of this worker.
void work(Job& job, const std::function<void(int)>& progress) {
    Worker w;
    int told = -1;
    const std::int32_t per_frame = job.facts.field_mode ? 2 : 1;
    while (!job.stopped()) {
        const std::int32_t frame = job.next.fetch_add(1);
        if (frame > job.frames) {
            break;
        }
        std::int32_t capture_mill = 0;
        const bool readable = read_band(job, w, frame, capture_mill);
        for (std::int32_t k = 0; k < per_frame; ++k) {
            const std::int32_t position = (frame - 1) * per_frame + k + 1;
            if (position <= job.facts.pictures) {
                paint_picture(job, w, position, readable, capture_mill);
            }
        }
        const std::int32_t done = job.done.fetch_add(1) + 1;
        if (progress) {
            const int percent = static_cast<int>(std::int64_t{done} * 100 / job.frames);
            if (percent != told && percent < 100) {
                told = percent;
                progress(percent);
            }
        }
    }
}

// Runs the job on the calling thread and one more; a failure on either stops both and is rethrown.
void run_job(Job& job, const std::function<void(int)>& progress) {
    std::exception_ptr helper_failure;
    std::thread helper;
    if (std::thread::hardware_concurrency() > 1 && job.frames > 1) {
        helper = std::thread([&] {
            try {
                work(job, {});
            } catch (...) {
                helper_failure = std::current_exception();
                job.stop = true;
            }
        });
    }
    struct Joiner {
        Job& job;
        std::thread& thread;
        ~Joiner() {
            job.stop = true;
            if (thread.joinable()) {
                thread.join();
            }
        }
    } joiner{job, helper};
    work(job, progress);
    if (helper.joinable()) {
        helper.join();
    }
    if (helper_failure) {
        std::rethrow_exception(helper_failure);
    }
}

struct ScaleStep {
    std::int32_t major; // labelled, ms
    std::int32_t minor; // ms; 0 = none
};
constexpr ScaleStep kScaleSteps[] = {
    {10, 0},        {20, 10},       {50, 10},        {100, 20},       {200, 100},
    {500, 100},     {1000, 200},    {2000, 1000},    {5000, 1000},    {10000, 2000},
    {30000, 10000}, {60000, 10000}, {300000, 60000}, {600000, 60000}, {3600000, 600000},
};

std::int64_t floor_div(std::int64_t n, std::int64_t d) {
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}

std::int32_t label_width(const std::string& text) {
    return static_cast<std::int32_t>(text.size()) * kLabelAdvance - kLabelAdvance / 6;
}

// The time scale below the line pixels: a base line, a tick at every round time (interpolated
// between the pictures around it, so a tick stands over the picture that shows its time) and labels
// at the major ticks, as far apart as their width allows.
void draw_scale(FinishStrip& strip, std::uint32_t colour) {
    cDIBSection& image = strip.image;
    const std::int32_t top = strip.strip_height;
    const std::int32_t cw = strip.column_width;
    const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(colour >> 16 & 0xFF),
                                 static_cast<std::uint8_t>(colour >> 8 & 0xFF),
                                 static_cast<std::uint8_t>(colour & 0xFF)};
    auto plot = [&](std::int32_t x, std::int32_t y) {
        if (x >= 0 && x < image.Width() && y >= 0 && y < image.Height()) {
            std::copy_n(bgr, 3, image.scan_line(y) + 3 * x);
        }
    };
    for (std::int32_t x = 0; x < image.Width(); ++x) {
        plot(x, top);
    }
    // Known times with their column centres, in play order.
    std::vector<std::pair<double, std::int32_t>> known;
    for (std::int32_t i = 0; i < strip.pictures(); ++i) {
        if (const auto& t = strip.times[static_cast<std::size_t>(i)]) {
            known.emplace_back(i * cw + cw / 2, *t);
        }
    }
    if (known.size() < 2) {
        return;
    }
    const double span_ms = static_cast<double>(known.back().second) - known.front().second;
    const double span_px = known.back().first - known.front().first;
    if (span_ms <= 0 || span_px <= 0) {
        return;
    }
    const double px_per_ms = span_px / span_ms;
    const std::int32_t widest = std::max(label_width(Display_Mill_Time(known.front().second, true)),
                                         label_width(Display_Mill_Time(known.back().second, true)));
    ScaleStep step = kScaleSteps[std::size(kScaleSteps) - 1];
    for (const ScaleStep& s : kScaleSteps) {
        if (s.major * px_per_ms >= widest + kLabelGap) {
            step = s;
            break;
        }
    }
    const std::int32_t unit =
        step.minor > 0 && step.minor * px_per_ms >= kMinorSpacing ? step.minor : step.major;
    std::int32_t label_free_from = 0; // first column a new label may use
    auto tick = [&](double x_centre, std::int64_t ms) {
        const auto x = static_cast<std::int32_t>(std::lround(x_centre));
        const bool major = ms % step.major == 0;
        for (std::int32_t y = 1; y <= (major ? kMajorTick : kMinorTick); ++y) {
            plot(x, top + y);
        }
        if (!major) {
            return;
        }
        const std::string text = Display_Mill_Time(static_cast<std::int32_t>(ms), true);
        const std::int32_t width = label_width(text);
        const std::int32_t left = std::clamp(x - width / 2, 0, std::max(0, image.Width() - width));
        if (left < label_free_from) {
            return;
        }
        draw_text_lines(image, PixelRect{left, top + kLabelTop, left + width + 1, top + kStripScaleHeight},
                        {text}, static_cast<std::int32_t>(colour), kLabelHeight);
        label_free_from = left + width + kLabelGap;
    };
    for (std::size_t k = 0; k + 1 < known.size(); ++k) {
        const auto [x0, t0] = known[k];
        const auto [x1, t1] = known[k + 1];
        // Times that go back, or leap further than the pixels between them can show, get no ticks.
        if (t1 <= t0 || (static_cast<double>(t1) - t0) / unit > x1 - x0 + 1) {
            continue;
        }
        for (std::int64_t ms = floor_div(t0 + unit - 1, unit) * unit; ms < t1; ms += unit) {
            tick(x0 + (x1 - x0) * static_cast<double>(ms - t0) / (static_cast<double>(t1) - t0), ms);
        }
    }
    if (known.back().second % unit == 0) {
        tick(known.back().first, known.back().second);
    }
}

} // namespace

FinishStrip build_finish_strip(const std::string& path, const FinishStripOptions& options,
                               const std::atomic<bool>* cancel, const std::function<void(int)>& progress) {
    if (options.column_width < 1 || options.column_width > kMaxColumnWidth) {
        throw VeltroError(err::kSubscriptOutOfRange, "Finish strip column width " +
                                                         std::to_string(options.column_width) +
                                                         " is outside 1.." + std::to_string(kMaxColumnWidth));
    }
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        const int e = errno;
        throw VeltroError(error_number_for_errno(e),
                          "No finish strip of " + path + ": " + std::generic_category().message(e));
    }
    PosixFile file(std::move(fd));
    const RecordingFacts facts = read_recording_facts(file, path, "No finish strip");
    const Sampling sampling = plan_sampling(options.line, facts);

    FinishStrip strip;
    strip.column_width = options.column_width;
    strip.field_mode = facts.field_mode;
    strip.strip_height = static_cast<std::int32_t>(sampling.from[0].size());
    strip.times.assign(static_cast<std::size_t>(facts.pictures), std::nullopt);
    if (!strip.image.Create(facts.pictures * options.column_width, strip.strip_height + kStripScaleHeight)) {
        throw VeltroError(err::kOutOfMemory, "No finish strip of " + path + ": a picture of " +
                                                 std::to_string(facts.pictures * options.column_width) + "*" +
                                                 std::to_string(strip.strip_height + kStripScaleHeight) +
                                                 " pixels is too large");
    }
    Job job{file, facts, sampling, options.goal_compensation, cancel, strip};
    job.frames = facts.field_mode ? (facts.pictures + 1) / 2 : facts.pictures;
    if (progress) {
        progress(0);
    }
    run_job(job, progress);
    if (cancel != nullptr && cancel->load()) {
        return FinishStrip{};
    }
    draw_scale(strip, options.line_colour);
    if (progress) {
        progress(100);
    }
    // A cancel seen before the strip is handed back (also one the last progress report set) holds:
    // whoever cancelled no longer wants it.
    if (cancel != nullptr && cancel->load()) {
        return FinishStrip{};
    }
    return strip;
}

} // namespace veltro
