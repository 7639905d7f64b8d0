#include "support/ini_file.h"

#include "support/text.h"

namespace veltro {

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    ini.sections_.push_back({});
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.size() >= 2 && line.front() == '[' && line.find(']') != std::string::npos) {
            ini.sections_.push_back({trim(line.substr(1, line.find(']') - 1)), {}});
            continue;
        }
        const auto eq = line.find('=');
        if (eq != std::string::npos && eq > 0 && line.front() != ';' && line.front() != '#')
            ini.sections_.back().lines.push_back({trim(line.substr(0, eq)), trim(line.substr(eq + 1))});
        else
            ini.sections_.back().lines.push_back({{}, line});
    }
    return ini;
}

std::string IniFile::text() const {
    std::string out;
    for (const Section& s : sections_) {
        if (&s != &sections_.front())
            out += "[" + s.name + "]\n";
        for (const Line& l : s.lines)
            out += l.key.empty() ? l.value + "\n" : l.key + "=" + l.value + "\n";
    }
    return out;
}

const IniFile::Section* IniFile::find(std::string_view section) const {
    for (std::size_t i = 1; i < sections_.size(); ++i)
        if (iequals(sections_[i].name, section))
            return &sections_[i];
    return nullptr;
}

IniFile::Section* IniFile::find(std::string_view section) {
    return const_cast<Section*>(static_cast<const IniFile*>(this)->find(section));
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
    if (const Section* s = find(section))
        for (const Line& l : s->lines)
            if (!l.key.empty() && iequals(l.key, key))
                return l.value;
    return std::nullopt;
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    std::string one_line(value);
    for (char& c : one_line)
        if (c == '\r' || c == '\n')
            c = ' ';
    one_line = trim(one_line);
    Section* s = find(section);
    if (!s) {
        if (sections_.empty())
            sections_.push_back({});
        sections_.push_back({std::string(section), {}});
        s = &sections_.back();
    }
    for (Line& l : s->lines)
        if (!l.key.empty() && iequals(l.key, key)) {
            l.value = one_line;
            return;
        }
    // New keys go after the last key of the section, before any trailing blank lines.
    auto at = s->lines.end();
    while (at != s->lines.begin() && std::prev(at)->key.empty() && std::prev(at)->value.empty())
        --at;
    s->lines.insert(at, {std::string(key), one_line});
}

} // namespace veltro
