#include "results/event_results.h"

#include "picture/picture_files.h"
#include "recording/video_file_handler.h"
#include "results/photo_finish.h"
#include "review/finish_pictures.h"
#include "support/digest.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/text.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <tuple>
#include <unistd.h>

namespace veltro {
namespace fs = std::filesystem;
namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines)
        out += (out.empty() ? "" : "; ") + trim(line);
    return out;
}

std::vector<EventThumbnail> thumbnails_of(cls_VideoFile_handler& rec, const PublishedHeat& heat) {
    std::vector<EventThumbnail> out;
    for (const FinishPicture& p : finish_pictures(rec, heat, goal_line_on_prints())) {
        EventThumbnail t;
        t.caption = "Box " + std::to_string(p.row->box) + " " + p.row->dog_name + " " + p.row->finish;
        t.problem = p.problem;
        if (p.problem.empty()) {
            t.jpeg = jpeg_bytes(p.picture, 90);
            t.width = p.picture.Width();
            t.height = p.picture.Height();
        }
        out.push_back(std::move(t));
    }
    return out;
}

// The photo finish of the heat in `rec` as the review's strip would show it, with every time ticked.
void make_photo_finish(EventHeat& h, cls_VideoFile_handler& rec, const std::string& path,
                       const PublishedHeat& heat) {
    try {
        const FinishStrip strip = build_finish_strip(path, recorded_strip_options(rec, false));
        h.photo_finish_png = png_bytes(photo_finish_of(strip, heat).image);
    } catch (const VeltroError& e) {
        h.photo_finish_problem = e.description();
    }
}

EventHeat read_heat(const fs::path& path, std::int64_t us_per_length, bool thumbnails) {
    EventHeat h;
    h.file_name = path.filename().string();
    QuietOperator quiet;
    try {
        cls_VideoFile_handler rec;
        rec.Open_File(path.string());
        if (!rec.File_open()) {
            h.problem = quiet.messages.empty() ? "it cannot be opened" : joined(quiet.messages);
            return h;
        }
        if (!rec.Has_XML()) {
            h.problem = "it has no readable recording header";
            return h;
        }
        PublishedHeat heat = publish_heat(rec, recorded_box_delay(rec), us_per_length);
        heat.recording = h.file_name;
        add_estimates(heat, recorded_estimates(rec, path.string()));
        if (thumbnails) {
            h.thumbnails = thumbnails_of(rec, heat);
            make_photo_finish(h, rec, path.string(), heat);
        }
        h.heat = std::move(heat);
    } catch (const VeltroError& e) {
        h.heat.reset();
        h.thumbnails.clear();
        h.problem = e.description();
    }
    return h;
}

int heat_number(const EventHeat& h) {
    if (h.heat && is_decimal_number(h.heat->heat_id))
        return std::stoi(h.heat->heat_id);
    return heat_number_from_file_name(h.file_name).value_or(INT_MAX);
}

std::string html_text(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string css_colour(const Rgb& c) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out = "#";
    for (const std::uint8_t v : {c.r, c.g, c.b}) {
        out += kDigits[v >> 4];
        out += kDigits[v & 15];
    }
    return out;
}

std::string box_badge(std::int16_t box) {
    const auto tile = box_tile_colours(box);
    if (!tile)
        return std::to_string(box);
    return "<span class=\"box\" style=\"background:" + css_colour(tile->background) +
           ";color:" + css_colour(tile->number) + "\">" + std::to_string(box) + "</span>";
}

// A file name as a relative URL: every byte but letters, digits and "-._~" percent-encoded.
std::string url_path(const std::string& name) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kDigits[b >> 4];
            out += kDigits[b & 15];
        }
    }
    return out;
}

std::string heat_table(const PublishedHeat& heat) {
    std::string out = "<table><thead><tr><th>Rank</th><th>Box</th><th>Dog</th><th>Time</th><th>Split</th>"
                      "<th>Dist</th></tr></thead><tbody>";
    for (const PublishedRow& row : heat.rows) {
        out += std::string("<tr") + (row.dead_heat ? " class=\"dead-heat\"" : "") + "><td>" +
               (row.rank ? std::to_string(*row.rank) : "&#8212;") + "</td><td>" + box_badge(row.box) +
               "</td><td>" + html_text(row.dog_name) + "</td><td class=\"time\">" + html_text(row.finish) +
               "</td><td class=\"time\">" + html_text(row.split) + "</td><td>" + html_text(row.distance) +
               "</td></tr>";
    }
    return out + "</tbody></table>";
}

std::string heat_section(const EventHeat& h, const std::string& photo_finish_file) {
    if (!h.heat) {
        return "<section class=\"heat unreadable\"><h2>" + html_text(h.file_name) +
               "</h2><p class=\"problem\">This recording cannot be read: " + html_text(h.problem) +
               "</p></section>\n";
    }
    const PublishedHeat& heat = *h.heat;
    std::string out = "<section class=\"heat\"><h2>Heat " + html_text(heat.heat_id) +
                      (heat.heat_name.empty() ? "" : " &#8211; " + html_text(heat.heat_name)) + "</h2>";
    out += "<p class=\"facts\">Started at " + html_text(heat.start) +
           (heat.box_delay_ms > 0 ? " &#183; box delay " + std::to_string(heat.box_delay_ms) + " ms" : "") +
           " &#183; " + html_text(h.file_name) + "</p>";
    if (!heat.official.empty()) {
        out += "<p class=\"official\">Official: " + html_text(heat.official) + "</p>";
    }
    out += heat_table(heat);
    if (!photo_finish_file.empty()) {
        out += "<p class=\"facts\"><a href=\"" + html_text(url_path(photo_finish_file)) +
               "\">Photo finish</a></p>";
    } else if (!h.photo_finish_problem.empty()) {
        out += "<p class=\"problem\">No photo finish: " + html_text(h.photo_finish_problem) + "</p>";
    }
    if (!h.thumbnails.empty()) {
        out += "<div class=\"pictures\">";
        for (const EventThumbnail& t : h.thumbnails) {
            out += "<figure>";
            out += t.jpeg.empty() ? "<div class=\"missing\">" + html_text(t.problem) + "</div>"
                                  : "<img alt=\"" + html_text(t.caption) + "\" width=\"" +
                                        std::to_string(t.width) + "\" height=\"" + std::to_string(t.height) +
                                        "\" src=\"data:image/jpeg;base64," + base64(t.jpeg) + "\"/>";
            out += "<figcaption>" + html_text(t.caption) + "</figcaption></figure>";
        }
        out += "</div>";
    }
    return out + "</section>\n";
}

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:1.5em;color:#111}"
    "h1{font-size:1.6em;margin:0 0 .2em}"
    "h2{font-size:1.25em;margin:0 0 .2em}"
    ".summary,.facts,footer{color:#555;font-size:.9em;margin:.2em 0 .6em}"
    "section.heat{border-top:2px solid #333;padding:.6em 0 1em;break-inside:avoid;page-break-inside:avoid}"
    "section.unreadable h2,.problem{color:#b00}"
    "table{border-collapse:collapse;margin:.3em 0}"
    "th,td{padding:.15em .7em;text-align:left;border-bottom:1px solid #ccc}"
    "td.time{font-variant-numeric:tabular-nums}"
    "tr.dead-heat td:first-child::after{content:\" DH\"}"
    ".box{display:inline-block;min-width:1.4em;text-align:center;font-weight:bold;border:1px solid #888}"
    ".pictures{display:flex;flex-wrap:wrap;gap:.5em;margin-top:.5em}"
    "figure{margin:0;font-size:.9em;max-width:100%}"
    "figure img{display:block;max-width:100%;height:auto}"
    ".missing{width:8em;height:8em;border:1px dashed #b00;color:#b00;display:flex;align-items:center;"
    "justify-content:center;padding:.3em}"
    "@media print{body{margin:0}section.heat{break-before:auto}a{color:inherit}}";

} // namespace

std::optional<int> heat_number_from_file_name(const std::string& file_name) {
    static const std::regex kName(R"(_(\d{1,3})_\d{4}_\d\d_\d\d \d\d_\d\d_\d\d\.px3$)", std::regex::icase);
    std::smatch m;
    if (!std::regex_search(file_name, m, kName))
        return std::nullopt;
    return std::stoi(m[1].str());
}

EventResults read_event_results(const std::string& folder, std::int64_t us_per_length, bool thumbnails,
                                const std::function<void(std::size_t, std::size_t)>& progress) {
    std::vector<fs::path> paths;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (to_lower_ascii(it->path().extension().string()) == ".px3" && !it->is_directory())
            paths.push_back(it->path());
    }
    if (ec)
        throw VeltroError(err::kPathNotFound, "The folder " + folder + " cannot be read: " + ec.message());
    std::sort(paths.begin(), paths.end());

    EventResults out;
    out.folder = folder;
    for (const fs::path& path : paths) {
        out.heats.push_back(read_heat(path, us_per_length, thumbnails));
        if (progress)
            progress(out.heats.size(), paths.size());
    }
    std::stable_sort(out.heats.begin(), out.heats.end(), [](const EventHeat& a, const EventHeat& b) {
        const auto start = [](const EventHeat& h) { return h.heat ? h.heat->start : std::string(); };
        return std::make_tuple(heat_number(a), start(a)) < std::make_tuple(heat_number(b), start(b));
    });
    std::map<std::string, int> events;
    for (const EventHeat& h : out.heats)
        if (h.heat && !h.heat->event.empty())
            ++events[h.heat->event];
    const auto most = std::max_element(events.begin(), events.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    if (most != events.end())
        out.event = most->first;
    return out;
}

std::string event_results_csv(const EventResults& results) {
    std::vector<PublishedHeat> unreadable;
    unreadable.reserve(results.heats.size());
    std::vector<CsvHeat> heats;
    for (const EventHeat& h : results.heats) {
        if (h.heat) {
            heats.push_back({&*h.heat, {}});
        } else {
            unreadable.push_back({});
            unreadable.back().recording = h.file_name;
            heats.push_back({&unreadable.back(), "cannot be read: " + h.problem});
        }
    }
    return results_csv(heats);
}

std::string event_results_html(const EventResults& results, const std::string& made_at,
                               const std::vector<std::string>& photo_finish_files) {
    const std::size_t bad = static_cast<std::size_t>(std::count_if(
        results.heats.begin(), results.heats.end(), [](const EventHeat& h) { return !h.heat; }));
    const std::string title = results.event.empty() ? "Results" : results.event + " results";
    std::string out = "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>"
                      "<meta charset=\"utf-8\"/><title>" +
                      html_text(title) + "</title><style>" + kStyle + "</style></head>\n<body>\n<h1>" +
                      html_text(title) + "</h1>\n<p class=\"summary\">" +
                      std::to_string(results.heats.size() - bad) +
                      (results.heats.size() - bad == 1 ? " heat" : " heats");
    if (bad > 0)
        out +=
            "; " + std::to_string(bad) + (bad == 1 ? " recording cannot" : " recordings cannot") + " be read";
    out += "</p>\n";
    for (std::size_t i = 0; i < results.heats.size(); ++i)
        out += heat_section(results.heats[i], i < photo_finish_files.size() ? photo_finish_files[i] : "");
    return out + "<footer>Made by Veltro at " + html_text(made_at) + "</footer>\n</body>\n</html>\n";
}

std::vector<std::string> photo_finish_files(const EventResults& results, const std::string& page_stem) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (std::size_t i = 0; i < results.heats.size(); ++i) {
        const EventHeat& h = results.heats[i];
        if (h.photo_finish_png.empty()) {
            names.emplace_back();
            continue;
        }
        const std::string heat =
            h.heat && is_decimal_number(h.heat->heat_id) ? h.heat->heat_id : std::to_string(i + 1);
        std::string name = page_stem + " heat " + heat + " photo finish";
        for (int n = 2; taken.count(name) != 0; ++n)
            name = page_stem + " heat " + heat + " photo finish (" + std::to_string(n) + ")";
        taken.insert(name);
        names.push_back(name + ".png");
    }
    return names;
}

std::pair<std::string, std::string> event_results_paths(const std::string& out) {
    fs::path stem(out);
    const std::string type = to_lower_ascii(stem.extension().string());
    if (type == ".csv" || type == ".html")
        stem.replace_extension();
    return {stem.string() + ".csv", stem.string() + ".html"};
}

std::pair<std::string, std::string> write_event_results(const EventResults& results, const std::string& out,
                                                        const std::string& made_at) {
    const auto [csv_path, html_path] = event_results_paths(out);
    const fs::path folder = fs::absolute(html_path).parent_path();
    const std::vector<std::string> pictures =
        photo_finish_files(results, fs::path(html_path).stem().string());
    // In the order they are renamed into place: the pictures, the page, the CSV.
    std::vector<std::string> paths;
    for (const std::string& name : pictures)
        if (!name.empty())
            paths.push_back((folder / name).string());
    paths.push_back(html_path);
    paths.push_back(csv_path);
    for (const std::string& path : paths) {
        const fs::path p = fs::absolute(path);
        std::error_code ec;
        if (fs::is_directory(p, ec))
            throw VeltroError(err::kPathFileAccess, "Could not write " + path + ": it is a folder");
        remove_leftovers(p.parent_path().string(), p.filename().string() + ".tmp");
    }
    // Every file is written in full under a temporary name before any is renamed into place, and the
    // CSV goes last: a reader may meet the new page beside the old CSV for a moment, never a new CSV
    // whose page is still the old one, nor a new page without its pictures.
    std::vector<std::string> temps;
    const auto drop_from = [&](std::size_t first) {
        for (std::size_t i = first; i < temps.size(); ++i)
            ::unlink(temps[i].c_str());
    };
    try {
        std::size_t next = 0;
        for (std::size_t i = 0; i < pictures.size(); ++i)
            if (!pictures[i].empty())
                temps.push_back(save_temporary_beside(paths[next++], results.heats[i].photo_finish_png));
        temps.push_back(save_temporary_beside(html_path, event_results_html(results, made_at, pictures)));
        temps.push_back(save_temporary_beside(csv_path, event_results_csv(results)));
    } catch (...) {
        drop_from(0);
        throw;
    }
    for (std::size_t i = 0; i < temps.size(); ++i) {
        if (sys::rename(temps[i].c_str(), paths[i].c_str()) != 0) {
            const int rc = errno;
            drop_from(i);
            std::string message = "Could not write " + paths[i] + ": " + std::strerror(rc);
            if (paths[i] == csv_path)
                message += "; " + html_path + " is new, " + csv_path + " is not";
            throw VeltroError(error_number_for_errno(rc), message);
        }
    }
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
        sys::fsync(dir);
        ::close(dir);
    }
    return {csv_path, html_path};
}

} // namespace veltro
