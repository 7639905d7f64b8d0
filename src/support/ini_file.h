#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltro {

// The text of an INI file in memory: "[section]" lines, each followed by "key=value" lines.
// Section and key names compare without regard to letter case; values are plain text with no
// quoting. Lines that are neither (comments, blank lines) are kept as they were.
class IniFile {
public:
    static IniFile parse(std::string_view text);
    std::string text() const;

    // The value as stored (trimmed of blanks at both ends), or nullopt when the key is absent.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    // Sets the value, adding the section at the end and the key at the end of its section when
    // they are missing. Line breaks in the value become blanks, so a value stays one line.
    void set(std::string_view section, std::string_view key, std::string_view value);

private:
    struct Line {
        std::string key; // empty for a comment or blank line
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
    };
    Section* find(std::string_view section);
    const Section* find(std::string_view section) const;

    std::vector<Section> sections_; // the first has an empty name: lines before any "[section]"
};

} // namespace veltro
