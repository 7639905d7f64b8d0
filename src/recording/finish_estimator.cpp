// The estimate of the moment a nose crossed the line between two pictures. Only the band around the
// goal line is decoded; everything is read on a descriptor of the estimator's own.
#include "recording/finish_estimator.h"

#include "recording/frame_render.h"
#include "support/files.h"
#include "support/value_or.h"
#include "support/veltro_error.h"
#include "timing/heat_timing.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <fcntl.h>
#include <map>
#include <optional>
#include <system_error>
#include <vector>

namespace veltro {

namespace {

constexpr std::int32_t kReach = 96;          // columns either side of the line searched for an edge
constexpr std::int32_t kReferenceFrames = 9; // pictures whose median is the empty track
constexpr int kForeground = 80;              // |dB| + |dG| + |dR| from the empty track
constexpr std::int32_t kRun = 3;             // an edge ends at least this many foreground pixels
constexpr std::int32_t kNoseRows = 3;        // picture rows a nose spans at least
constexpr std::int32_t kGap = 2;             // picture rows a nose may miss within it
constexpr std::int32_t kMargin = 6;          // picture rows around a nose that were not across before
constexpr std::int16_t kWholeFrame = 99;     // Field_To_Show of a whole frame
constexpr std::int32_t kNone = INT32_MIN;    // no edge in the row
constexpr std::size_t kKeptFrames = 32;

struct Decoded {
    std::vector<std::uint8_t> pixels;
    std::int32_t capture_mill = 0;
    bool readable = false;
};

// The band around a line: its rows are the line's, each with the line's column.
struct LineBand {
    JpegBand area;
    std::vector<std::int32_t> line_x; // per band row, in band columns
};

std::optional<LineBand> band_for(const StripLine& line, const RecordingFacts& f) {
    if (std::abs(line.y2 - line.y1) < std::abs(line.x2 - line.x1) || line.y1 == line.y2) {
        return std::nullopt; // dogs cross a line that stands, not one that lies
    }
    const bool down = line.y1 < line.y2;
    const StripLine l = down ? line : StripLine{line.x2, line.y2, line.x1, line.y1};
    const std::int32_t top = std::clamp(l.y1, 0, f.height - 1);
    const std::int32_t bottom = std::clamp(l.y2, 0, f.height - 1);
    std::vector<std::int32_t> xs;
    for (std::int32_t y = top; y <= bottom; ++y) {
        const double x = l.x1 + static_cast<double>(l.x2 - l.x1) * (y - l.y1) / (l.y2 - l.y1);
        xs.push_back(std::clamp(static_cast<std::int32_t>(std::lround(x)), 0, f.width - 1));
    }
    const auto [low, high] = std::minmax_element(xs.begin(), xs.end());
    LineBand b;
    const std::int32_t left = std::max(0, *low - kReach);
    const std::int32_t right = std::min(f.width - 1, *high + kReach);
    b.area = {left, top, right - left + 1, bottom - top + 1};
    for (std::int32_t& x : xs) {
        x -= left;
    }
    b.line_x = std::move(xs);
    return b;
}

std::uint8_t median_of(std::vector<std::uint8_t>& values) {
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// The median of nine by the known network of 19 exchanges: several times faster than a selection.
std::uint8_t median_of_9(std::uint8_t* v) {
    auto sort2 = [v](int a, int b) {
        if (v[a] > v[b]) {
            std::swap(v[a], v[b]);
        }
    };
    sort2(1, 2), sort2(4, 5), sort2(7, 8), sort2(0, 1), sort2(3, 4), sort2(6, 7), sort2(1, 2), sort2(4, 5);
    sort2(7, 8), sort2(0, 3), sort2(5, 8), sort2(4, 7), sort2(3, 6), sort2(1, 4), sort2(2, 5), sort2(4, 7);
    sort2(4, 2), sort2(6, 4), sort2(4, 2);
    return v[4];
}

bool same_area(const JpegBand& a, const JpegBand& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

// How far each band row's leading edge lies past the line (negative: short of it) when moving in
// `direction` (+1 rightwards, -1 leftwards); kNone where the row shows nothing against the track.
using Edges = std::vector<std::int32_t>;

struct PictureEdges {
    std::array<Edges, 2> ways; // rightwards, leftwards
    std::int32_t time = 0;     // the picture's heat time
};

} // namespace

struct FinishEstimator::Impl {
    PosixFile file;
    RecordingFacts facts;
    std::int32_t goal_compensation = 0;
    BandReader reader;
    std::optional<LineBand> band;
    std::vector<std::uint8_t> reference;
    std::map<std::int32_t, Decoded> frames;
    std::map<std::int32_t, std::optional<PictureEdges>> shown; // by play position

    Impl(UniqueFd fd, const std::string& path, std::int32_t compensation)
        : file(std::move(fd)), facts(read_recording_facts(file, path, "No finish estimate")),
          goal_compensation(compensation) {}

    bool fields() const { return facts.field_mode && facts.interlaced; }

    const Decoded& frame(std::int32_t n) {
        if (auto it = frames.find(n); it != frames.end()) {
            return it->second;
        }
        if (frames.size() >= kKeptFrames) {
            frames.clear();
        }
        Decoded& d = frames[n];
        d.readable = read_frame_band(file, facts, n, band->area, reader, d.capture_mill);
        d.pixels.swap(reader.band);
        return d;
    }

    // The empty track: each pixel's median over pictures spread through the heat.
    bool make_reference() {
        const std::int32_t count = std::min(kReferenceFrames, facts.frames);
        if (count < 5) {
            return false;
        }
        std::vector<const Decoded*> used;
        for (std::int32_t k = 0; k < count; ++k) {
            const Decoded& d = frame(1 + k * (facts.frames - 1) / (count - 1));
            if (d.readable) {
                used.push_back(&d);
            }
        }
        if (used.size() < 5) {
            return false;
        }
        const std::size_t size = static_cast<std::size_t>(band->area.width) * band->area.height * 3;
        reference.resize(size);
        std::vector<std::uint8_t> values(used.size());
        for (std::size_t i = 0; i < size; ++i) {
            for (std::size_t k = 0; k < used.size(); ++k) {
                values[k] = used[k]->pixels[i];
            }
            reference[i] = values.size() == 9 ? median_of_9(values.data()) : median_of(values);
        }
        return true;
    }

    bool foreground(const std::uint8_t* p, const std::uint8_t* r) const {
        return std::abs(p[0] - r[0]) + std::abs(p[1] - r[1]) + std::abs(p[2] - r[2]) > kForeground;
    }

    // The edges of play position `position` both ways, a field shown line-doubled as the review shows
    // it, with the picture's heat time; kept for the next call.
    const PictureEdges* edges(std::int32_t position) {
        if (auto it = shown.find(position); it != shown.end()) {
            return it->second ? &*it->second : nullptr;
        }
        if (shown.size() >= kKeptFrames) {
            shown.clear();
        }
        std::optional<PictureEdges>& out = shown[position];
        const std::int32_t n = fields() ? (position + 1) / 2 : position;
        const Decoded& d = frame(n);
        if (!d.readable || !facts.start) {
            return nullptr;
        }
        const std::int16_t field =
            fields() ? static_cast<std::int16_t>(position % 2 == 1 ? 1 : 2) : kWholeFrame;
        std::int32_t time = 0;
        try {
            time = picture_time(static_cast<std::uint32_t>(d.capture_mill), *facts.start, field,
                                goal_compensation);
        } catch (const VeltroError&) {
            return nullptr;
        }
        const JpegBand& a = band->area;
        out.emplace();
        out->time = time;
        for (Edges& e : out->ways) {
            e.assign(static_cast<std::size_t>(a.height), kNone);
        }
        std::vector<std::uint8_t> mask(static_cast<std::size_t>(a.width));
        std::int32_t mask_row = -1;
        for (std::int32_t y = 0; y < a.height; ++y) {
            std::int32_t row = y;
            if (fields()) {
                const std::int16_t selector = field == 1 ? 2 : 1;
                row = field_source_row(a.top + y, selector, facts.height) - a.top;
                if (row < 0 || row >= a.height) {
                    row = y; // the band's own edge row: no row of that field inside it
                }
            }
            const std::int32_t line = band->line_x[static_cast<std::size_t>(y)];
            const std::int32_t from = std::max(0, line - kReach);
            const std::int32_t to = std::min(a.width - 1, line + kReach);
            if (row != mask_row) {
                const std::size_t at = static_cast<std::size_t>(row) * a.width * 3;
                const std::uint8_t* p = d.pixels.data() + at;
                const std::uint8_t* r = reference.data() + at;
                for (std::int32_t x = 0; x < a.width; ++x) {
                    mask[static_cast<std::size_t>(x)] = foreground(p + 3 * x, r + 3 * x) ? 1 : 0;
                }
                mask_row = row;
            }
            // Walk against the direction of travel from the far side: the first run of foreground met
            // ends at the leading edge.
            for (const int direction : {1, -1}) {
                std::int32_t run = 0;
                for (std::int32_t i = 0; i <= to - from; ++i) {
                    const std::int32_t x = direction > 0 ? to - i : from + i;
                    run = mask[static_cast<std::size_t>(x)] ? run + 1 : 0;
                    if (run == kRun) {
                        const std::int32_t edge = direction > 0 ? x + kRun - 1 : x - kRun + 1;
                        out->ways[direction > 0 ? 0 : 1][static_cast<std::size_t>(y)] =
                            direction * (edge - line);
                        break;
                    }
                }
            }
        }
        return &*out;
    }

    std::vector<FinishEstimate> crossings(std::int16_t position);
};

namespace {

struct Crossing {
    std::int32_t after = 0;  // the nose past the line on the picture given
    std::int32_t before = 0; // short of it (negative) on the picture before
};

// The noses newly across the line between `before` and `after`, as band-row ranges: rows across on
// the later picture and not on the earlier one, with no row around them that was across already (the
// leg of a dog already past the line is no nose).
std::vector<Crossing> noses(const Edges& before, const Edges& after, std::int32_t row_step) {
    std::vector<Crossing> found;
    const auto rows = static_cast<std::int32_t>(after.size());
    auto is_new = [&](std::int32_t y) {
        return after[static_cast<std::size_t>(y)] >= 0 && before[static_cast<std::size_t>(y)] < 0;
    };
    std::int32_t y = 0;
    while (y < rows) {
        if (!is_new(y)) {
            ++y;
            continue;
        }
        std::int32_t last = y;
        for (std::int32_t k = y + 1; k < rows && k <= last + (kGap + 1) * row_step; ++k) {
            if (is_new(k)) {
                last = k;
            }
        }
        const std::int32_t first = y;
        y = last + 1;
        if (last - first + 1 < kNoseRows * row_step) {
            continue;
        }
        const std::int32_t lo = std::max(0, first - kMargin * row_step);
        const std::int32_t hi = std::min(rows - 1, last + kMargin * row_step);
        Crossing c{INT32_MIN, INT32_MIN};
        bool limb = false;
        for (std::int32_t k = lo; k <= hi; ++k) {
            const std::int32_t b = before[static_cast<std::size_t>(k)];
            limb = limb || b >= 0;
            c.before = std::max(c.before, b);
            if (k >= first && k <= last) {
                c.after = std::max(c.after, after[static_cast<std::size_t>(k)]);
            }
        }
        // The nose must be seen whole on both pictures: short of the far end of the band behind the
        // line, and short of the band's end ahead of it.
        if (!limb && c.before != kNone && c.before > -(kReach - kRun) && c.after < kReach - 1) {
            found.push_back(c);
        }
    }
    return found;
}

} // namespace

std::vector<FinishEstimate> FinishEstimator::Impl::crossings(std::int16_t position) {
    std::vector<FinishEstimate> out;
    const std::int32_t row_step = fields() ? 2 : 1;
    const PictureEdges* earlier = edges(position - 1);
    const PictureEdges* later = edges(position);
    if (!earlier || !later || later->time <= earlier->time) {
        return {};
    }
    for (std::size_t way = 0; way < 2; ++way) {
        for (const Crossing& c : noses(earlier->ways[way], later->ways[way], row_step)) {
            // An edge in column x covers that column: the nose itself lies half a pixel on, on average.
            const double travelled = static_cast<double>(c.after) - c.before;
            const double fraction = std::clamp((-c.before - 0.5) / travelled, 0.0, 1.0);
            const double period = static_cast<double>(later->time) - earlier->time;
            FinishEstimate e;
            e.ms = static_cast<std::int32_t>(std::lround(earlier->time + fraction * period));
            // A pixel either way on each picture, and the stamps' whole milliseconds.
            e.uncertainty_ms = static_cast<std::int32_t>(std::ceil(1.5 * period / travelled)) + 1;
            out.push_back(e);
        }
    }
    return out;
}

FinishEstimator::FinishEstimator(const std::string& path, std::int32_t goal_compensation) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        const int e = errno;
        throw VeltroError(error_number_for_errno(e),
                          "No finish estimate of " + path + ": " + std::generic_category().message(e));
    }
    impl_ = std::make_unique<Impl>(std::move(fd), path, goal_compensation);
}

FinishEstimator::~FinishEstimator() = default;

const RecordingFacts& FinishEstimator::facts() const {
    return impl_->facts;
}

BoxEstimates FinishEstimator::estimate(const BoxPositions& positions, const StripLine& line) {
    BoxEstimates out{};
    Impl& m = *impl_;
    if (m.facts.rotated || !m.facts.start) {
        return out;
    }
    const std::optional<LineBand> band = band_for(line, m.facts);
    if (!band) {
        return out;
    }
    if (!m.band || !same_area(m.band->area, band->area) || m.band->line_x != band->line_x) {
        m.frames.clear();
        m.shown.clear();
        m.band = band;
        if (!m.make_reference()) {
            m.band.reset();
            return out;
        }
    }
    for (int box = 1; box <= kTimedBoxes; ++box) {
        const std::int16_t p = positions[static_cast<std::size_t>(box)];
        if (p <= 1 || p > m.facts.pictures) {
            continue;
        }
        const auto sharing = std::count(positions.begin() + 1, positions.end(), p);
        if (sharing != 1) {
            continue; // which nose is whose cannot be told from the line alone
        }
        const std::vector<FinishEstimate> found = m.crossings(p);
        if (found.size() == 1) {
            out[static_cast<std::size_t>(box)] = found.front();
        }
    }
    return out;
}

BoxPositions estimate_positions(const HeatValues& heat) {
    BoxPositions positions{};
    for (std::int16_t box = 1; box <= kTimedBoxes; ++box) {
        const std::int32_t time = value_or([&] { return heat.Velt_Heat_time(box, false); }, 0);
        if (time != 0 && time < no_time::kFirst) {
            positions[static_cast<std::size_t>(box)] =
                value_or([&] { return heat.Velt_heat_frame(box); }, std::int16_t{0});
        }
    }
    return positions;
}

} // namespace veltro
