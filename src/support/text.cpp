#include "support/text.h"

#include <algorithm>
#include <cstdio>

namespace veltro {

std::string Make_Valid_File_Name(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c == ':' || c == '-' || c == ',' || c == '/')
            c = '_';
    return out;
}

std::string format_iso_datetime(const std::tm& tm) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string format_short_datetime(const std::tm& tm) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%02d %02d:%02d:%02d", (tm.tm_year + 1900) % 100, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string now_iso_datetime() {
    return format_iso_datetime(local_now().tm);
}

std::string now_short_datetime() {
    return format_short_datetime(local_now().tm);
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string to_lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string to_upper_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

std::string latin1_to_utf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string utf8_to_latin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        std::size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        if (len == 2 && i + 1 < utf8.size() && (utf8[i + 1] & 0xC0) == 0x80) {
            const unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            out += code <= 0xFF ? static_cast<char>(code) : '?';
        } else {
            out += '?';
        }
        i += std::min(len, utf8.size() - i);
    }
    return out;
}

std::string clock_text(std::int64_t hundredths, bool trim) {
    const std::int64_t hours = hundredths / 360000;
    const std::int64_t minutes = hundredths / 6000 % 60;
    const std::int64_t seconds = hundredths / 100 % 60;
    char buf[40];
    if (hours > 0)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld,%02lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(seconds),
                      static_cast<long long>(hundredths % 100));
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld,%02lld", static_cast<long long>(minutes),
                      static_cast<long long>(seconds), static_cast<long long>(hundredths % 100));
    std::string text = buf;
    while (trim && text.size() > 4 && (text.front() == '0' || text.front() == ':'))
        text.erase(0, 1);
    return text;
}

} // namespace veltro
