#include "review/camera_shift.h"

#include "support/veltro_error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace veltro {

namespace {

// Fewer compared values than this say too little about a shift.
constexpr std::size_t kMinCompared = 24;
// A profile whose spread is under this share of its mean is sensor noise on a plain surface.
constexpr double kMinContrast = 0.05;
// The best correlation must reach this for a match; a second peak this close to it makes it doubtful.
constexpr double kMinMatch = 0.5;
constexpr double kRivalShare = 0.9;
// No picture this program handles is taller; a longer band would only risk overflowing the sums.
constexpr std::int64_t kMaxBandRows = 1 << 20;
constexpr const char* kFileHeading = "Veltro camera reference 1";

std::int32_t clamp_to(std::int64_t value, std::int64_t low, std::int64_t high) {
    return static_cast<std::int32_t>(std::clamp(value, low, std::max(low, high)));
}

// Where the two profiles of a line's band lie in a picture of width x height: the column profile over
// [col_first, col_last] summed over rows [col_top, col_bottom], the row profile over [row_first,
// row_last] summed over columns [row_left, row_right]. Each reaches kShiftSearch past the band so that
// every shift within reach compares the same stretch.
struct Band {
    std::int32_t col_first, col_last, col_top, col_bottom;
    std::int32_t row_first, row_last, row_left, row_right;
};

Band band_of(const Goal_line& line, std::int32_t width, std::int32_t height) {
    const std::int64_t left = std::min(line.x1, line.x2);
    const std::int64_t right = std::max(line.x1, line.x2);
    const std::int64_t top = std::min(line.y1, line.y2);
    const std::int64_t bottom = std::max(line.y1, line.y2);
    const std::int64_t reach = kShiftBandHalf + kShiftSearch;
    Band b{};
    b.col_first = clamp_to(left - reach, 1, width - 2);
    b.col_last = clamp_to(right + reach, 1, width - 2);
    b.col_top = clamp_to(top, 0, height - 1);
    b.col_bottom = clamp_to(std::min(bottom, top + kMaxBandRows), 0, height - 1);
    b.row_first = clamp_to(top - kShiftSearch, 1, height - 2);
    b.row_last = clamp_to(std::min(bottom, top + kMaxBandRows) + kShiftSearch, 1, height - 2);
    b.row_left = clamp_to(left - kShiftBandHalf, 0, width - 1);
    b.row_right = clamp_to(right + kShiftBandHalf, 0, width - 1);
    return b;
}

// Both edge profiles of `band` in `picture`, from a brightness of B + 2G + R per pixel. Rows are read
// once each, three at a time.
void edge_profiles(const cDIBSection& picture, const Band& band, EdgeProfile& columns, EdgeProfile& rows) {
    columns.first = band.col_first;
    columns.values.assign(static_cast<std::size_t>(band.col_last - band.col_first + 1), 0);
    rows.first = band.row_first;
    rows.values.assign(static_cast<std::size_t>(band.row_last - band.row_first + 1), 0);
    if (picture.Width() < 3 || picture.Height() < 3) {
        return;
    }
    const std::int32_t gx0 = std::min(band.col_first - 1, band.row_left);
    const std::int32_t gx1 = std::max(band.col_last + 1, band.row_right);
    const std::int32_t gy0 = std::min(band.col_top, band.row_first - 1);
    const std::int32_t gy1 = std::max(band.col_bottom, band.row_last + 1);
    const std::size_t span = static_cast<std::size_t>(gx1 - gx0 + 1);
    std::vector<std::int32_t> ring(3 * span);
    std::int32_t* const col = columns.values.data();
    for (std::int32_t y = gy0; y <= gy1; ++y) {
        std::int32_t* const g = ring.data() + static_cast<std::size_t>(y % 3) * span;
        const std::uint8_t* p = picture.scan_line(y) + 3 * static_cast<std::size_t>(gx0);
        for (std::size_t i = 0; i < span; ++i, p += 3) {
            g[i] = p[0] + 2 * p[1] + p[2];
        }
        if (y >= band.col_top && y <= band.col_bottom) {
            // c[i] is the column left of band column i, c[i + 2] the one right of it.
            const std::int32_t* const c = g + (band.col_first - 1 - gx0);
            const std::size_t n = columns.values.size();
            for (std::size_t i = 0; i < n; ++i) {
                col[i] += std::abs(c[i + 2] - c[i]);
            }
        }
        const std::int32_t row = y - 1;
        if (row >= band.row_first && row <= band.row_last) {
            const std::int32_t* const below = g + (band.row_left - gx0);
            const std::int32_t* const above =
                ring.data() + static_cast<std::size_t>((y + 1) % 3) * span + (band.row_left - gx0);
            std::int64_t sum = 0;
            for (std::int32_t i = 0; i <= band.row_right - band.row_left; ++i) {
                sum += std::abs(below[i] - above[i]);
            }
            rows.values[static_cast<std::size_t>(row - band.row_first)] = static_cast<std::int32_t>(
                std::min<std::int64_t>(sum, std::numeric_limits<std::int32_t>::max()));
        }
    }
}

// The shift at which `live` matches `reference` best; both cover the same picture positions.
AxisShift correlate(const std::vector<std::int32_t>& reference, const std::vector<std::int32_t>& live) {
    AxisShift found;
    const std::size_t n = reference.size();
    const std::size_t search = kShiftSearch;
    if (live.size() != n || n < 2 * search + kMinCompared) {
        return found;
    }
    const std::size_t first = search;
    const std::size_t count = n - 2 * search;
    double ref_mean = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ref_mean += reference[first + i];
    }
    ref_mean /= static_cast<double>(count);
    std::vector<double> ref(count);
    double ref_energy = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ref[i] = reference[first + i] - ref_mean;
        ref_energy += ref[i] * ref[i];
    }
    if (ref_mean <= 0 || std::sqrt(ref_energy / static_cast<double>(count)) < kMinContrast * ref_mean) {
        return found;
    }
    std::vector<double> match(2 * search + 1, 0.0);
    for (std::size_t k = 0; k < match.size(); ++k) {
        const std::int32_t* const l = live.data() + k; // live[first + s] for s = k - search
        double mean = 0;
        for (std::size_t i = 0; i < count; ++i) {
            mean += l[i];
        }
        mean /= static_cast<double>(count);
        double energy = 0;
        double product = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const double v = l[i] - mean;
            energy += v * v;
            product += v * ref[i];
        }
        match[k] = energy > 0 ? product / std::sqrt(energy * ref_energy) : 0.0;
    }
    const std::size_t best =
        static_cast<std::size_t>(std::max_element(match.begin(), match.end()) - match.begin());
    found.match = match[best];
    found.finding = AxisFinding::NoMatch;
    if (best == 0 || best == match.size() - 1 || match[best] < kMinMatch) {
        return found;
    }
    // Another peak nearly as good (a repeating pattern such as a fence) leaves the shift open.
    for (std::size_t k = 0; k < match.size(); ++k) {
        const bool apart = k + 2 < best || k > best + 2;
        const bool peak =
            (k == 0 || match[k] >= match[k - 1]) && (k + 1 == match.size() || match[k] >= match[k + 1]);
        if (apart && peak && match[k] > kRivalShare * match[best]) {
            return found;
        }
    }
    // The top of a parabola through the best shift and its neighbours: a fraction of a pixel.
    const double before = match[best - 1];
    const double at = match[best];
    const double after = match[best + 1];
    const double curve = before - 2 * at + after;
    const double fraction = curve < 0 ? std::clamp(0.5 * (before - after) / curve, -0.5, 0.5) : 0.0;
    found.finding = AxisFinding::Measured;
    found.pixels = static_cast<double>(best) - static_cast<double>(search) + fraction;
    return found;
}

// The next line of `text` from `at`, without its end; false at the end of the text.
bool next_line(std::string_view text, std::size_t& at, std::string_view& line) {
    if (at >= text.size()) {
        return false;
    }
    const std::size_t end = text.find('\n', at);
    line = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    at = end == std::string_view::npos ? text.size() : end + 1;
    return true;
}

[[noreturn]] void damaged(const std::string& what) {
    throw VeltroError(err::kTypeMismatch, "The camera reference is damaged: " + what);
}

// The rest of `line` after "`key` ", or a failure naming the key.
std::string_view after_key(std::string_view line, std::string_view key) {
    if (line.size() < key.size() + 1 || line.substr(0, key.size()) != key || line[key.size()] != ' ') {
        damaged("no " + std::string(key) + " line");
    }
    return line.substr(key.size() + 1);
}

// A whole number at the front of `text`, which then starts after it and one separator.
std::int64_t take_number(std::string_view& text, char separator, const char* what) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        damaged(std::string("a bad ") + what);
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    if (!text.empty()) {
        if (text.front() != separator || text.size() == 1) {
            damaged(std::string("a bad ") + what);
        }
        text.remove_prefix(1);
    }
    return value;
}

void append_profile(std::string& out, const char* key, const EdgeProfile& profile) {
    out += key;
    out += ' ' + std::to_string(profile.first) + ' ' + std::to_string(profile.values.size());
    for (const std::int32_t v : profile.values) {
        out += ' ' + std::to_string(v);
    }
    out += '\n';
}

EdgeProfile read_profile(std::string_view rest, const char* what) {
    EdgeProfile profile;
    profile.first = static_cast<std::int32_t>(take_number(rest, ' ', what));
    const std::int64_t count = take_number(rest, ' ', what);
    if (count < 0 || count > kMaxBandRows + 2 * kShiftSearch + 1) {
        damaged(std::string("a bad ") + what);
    }
    profile.values.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        if (rest.empty()) {
            damaged(std::string("a short ") + what);
        }
        const std::int64_t v = take_number(rest, ' ', what);
        if (v < 0) {
            damaged(std::string("a bad ") + what);
        }
        profile.values.push_back(static_cast<std::int32_t>(v));
    }
    if (!rest.empty()) {
        damaged(std::string("a long ") + what);
    }
    return profile;
}

} // namespace

ShiftReference make_shift_reference(const cDIBSection& picture, const Goal_line& line, std::string heat) {
    ShiftReference r;
    r.line = line;
    r.picture_width = picture.Width();
    r.picture_height = picture.Height();
    r.heat = std::move(heat);
    edge_profiles(picture, band_of(line, picture.Width(), picture.Height()), r.columns, r.rows);
    return r;
}

bool reference_fits(const ShiftReference& reference, const Goal_line& line, std::int32_t width,
                    std::int32_t height) {
    if (reference.line != line || reference.picture_width != width || reference.picture_height != height) {
        return false;
    }
    // A reference from a band of another shape (an older program) cannot be compared.
    const Band b = band_of(line, width, height);
    return reference.columns.first == b.col_first &&
           reference.columns.values.size() == static_cast<std::size_t>(b.col_last - b.col_first + 1) &&
           reference.rows.first == b.row_first &&
           reference.rows.values.size() == static_cast<std::size_t>(b.row_last - b.row_first + 1);
}

std::int32_t CameraShift::dx() const {
    return x.finding == AxisFinding::Measured ? static_cast<std::int32_t>(std::lround(x.pixels)) : 0;
}

std::int32_t CameraShift::dy() const {
    return y.finding == AxisFinding::Measured ? static_cast<std::int32_t>(std::lround(y.pixels)) : 0;
}

bool CameraShift::beyond(double pixels) const {
    return std::hypot(static_cast<double>(dx()), static_cast<double>(dy())) > pixels;
}

CameraShift camera_shift_between(const ShiftReference& kept, const ShiftReference& live) {
    CameraShift shift;
    shift.x = correlate(kept.columns.values, live.columns.values);
    shift.y = correlate(kept.rows.values, live.rows.values);
    return shift;
}

CameraShift measure_camera_shift(const ShiftReference& reference, const cDIBSection& live) {
    return camera_shift_between(reference, make_shift_reference(live, reference.line, {}));
}

std::string shift_text(std::int32_t dx, std::int32_t dy) {
    std::string text;
    const auto add = [&text](std::int32_t by, const char* plus, const char* minus) {
        if (by == 0) {
            return;
        }
        if (!text.empty()) {
            text += " and ";
        }
        text += std::to_string(std::abs(static_cast<std::int64_t>(by))) + " px " + (by > 0 ? plus : minus);
    };
    add(dx, "right", "left");
    add(dy, "down", "up");
    return text.empty() ? "no shift" : text;
}

Goal_line shifted_line(const Goal_line& line, std::int32_t dx, std::int32_t dy) {
    const auto add = [](std::int32_t v, std::int32_t by) {
        return clamp_to(std::int64_t{v} + by, std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::int32_t>::max());
    };
    return {add(line.x1, dx), add(line.y1, dy), add(line.x2, dx), add(line.y2, dy)};
}

std::string shift_reference_text(const ShiftReference& reference) {
    // The heat's name is one line of the file whatever it holds.
    std::string heat = reference.heat;
    std::replace_if(
        heat.begin(), heat.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    std::string out = kFileHeading;
    out += "\nheat " + heat + "\nline " + goal_line_text(reference.line) + "\npicture " +
           std::to_string(reference.picture_width) + "*" + std::to_string(reference.picture_height) + "\n";
    append_profile(out, "columns", reference.columns);
    append_profile(out, "rows", reference.rows);
    return out;
}

ShiftReference parse_shift_reference(std::string_view text) {
    std::size_t at = 0;
    std::string_view line;
    if (!next_line(text, at, line) || line != kFileHeading) {
        damaged("it is not a camera reference");
    }
    ShiftReference r;
    if (!next_line(text, at, line)) {
        damaged("no heat line");
    }
    r.heat = std::string(after_key(line, "heat"));
    std::replace(r.heat.begin(), r.heat.end(), '\r', ' '); // as it is written
    if (!next_line(text, at, line)) {
        damaged("no line line");
    }
    std::string_view rest = after_key(line, "line");
    r.line.x1 = static_cast<std::int32_t>(take_number(rest, ',', "goal line"));
    r.line.y1 = static_cast<std::int32_t>(take_number(rest, ',', "goal line"));
    r.line.x2 = static_cast<std::int32_t>(take_number(rest, ',', "goal line"));
    r.line.y2 = static_cast<std::int32_t>(take_number(rest, ',', "goal line"));
    if (!rest.empty()) {
        damaged("a bad goal line");
    }
    if (!next_line(text, at, line)) {
        damaged("no picture line");
    }
    rest = after_key(line, "picture");
    r.picture_width = static_cast<std::int32_t>(take_number(rest, '*', "picture size"));
    r.picture_height = static_cast<std::int32_t>(take_number(rest, '*', "picture size"));
    if (!rest.empty()) {
        damaged("a bad picture size");
    }
    if (!next_line(text, at, line)) {
        damaged("no columns line");
    }
    r.columns = read_profile(after_key(line, "columns"), "column profile");
    if (!next_line(text, at, line)) {
        damaged("no rows line");
    }
    r.rows = read_profile(after_key(line, "rows"), "row profile");
    if (next_line(text, at, line)) {
        damaged("more after the rows line");
    }
    return r;
}

} // namespace veltro
