#include "events/card_text.h"

#include "support/text.h"
#include "support/utf8_text.h"

#include <array>
#include <cerrno>
#include <iconv.h>
#include <utility>

namespace veltro {
namespace {

// Converts with glibc's iconv; nothing when the bytes are not valid in `from`.
std::optional<std::string> convert(std::string_view bytes, const char* from) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    std::size_t done = 0;
    bool ok = true;
    while (in_left > 0) {
        char* to = out.data() + done;
        std::size_t out_left = out.size() - done;
        const std::size_t rc = iconv(cd, &in, &in_left, &to, &out_left);
        done = out.size() - out_left;
        if (rc != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        ok = false; // EILSEQ or EINVAL: not this encoding, or cut short
        break;
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.resize(done);
    return out;
}

// Every surrogate in its pair; iconv lets a lone one at the end pass without a word.
bool surrogates_paired(std::string_view bytes, bool little_endian) {
    bool want_low = false;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto hi = static_cast<unsigned char>(bytes[little_endian ? i + 1 : i]);
        const bool high = hi >= 0xD8 && hi <= 0xDB;
        const bool low = hi >= 0xDC && hi <= 0xDF;
        if (low != want_low)
            return false;
        want_low = high;
    }
    return !want_low;
}

// UTF-16 without a mark: names and digits are ASCII, so every other byte is zero.
const char* utf16_by_zeros(std::string_view bytes) {
    if (bytes.size() < 4 || bytes.size() % 2 != 0)
        return nullptr;
    std::size_t even = 0;
    std::size_t odd = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\0')
            ++(i % 2 == 0 ? even : odd);
    const std::size_t half = bytes.size() / 2;
    if (odd * 10 >= half * 7 && even == 0)
        return "UTF-16LE";
    if (even * 10 >= half * 7 && odd == 0)
        return "UTF-16BE";
    return nullptr;
}

} // namespace

std::optional<CardText> decode_card_text(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    const char* utf16 = nullptr;
    if (bytes.starts_with("\xFF\xFE")) {
        utf16 = "UTF-16LE";
        bytes.remove_prefix(2);
    } else if (bytes.starts_with("\xFE\xFF")) {
        utf16 = "UTF-16BE";
        bytes.remove_prefix(2);
    } else {
        utf16 = utf16_by_zeros(bytes);
    }
    if (utf16) {
        const bool little_endian = std::string_view(utf16) == "UTF-16LE";
        if (bytes.size() % 2 != 0 || !surrogates_paired(bytes, little_endian))
            return std::nullopt;
        std::optional<std::string> text = convert(bytes, utf16);
        if (!text)
            return std::nullopt;
        return CardText{std::move(*text), utf16};
    }
    if (is_valid_utf8(bytes))
        return CardText{std::string(bytes), "UTF-8"};
    // Windows-1252 leaves five bytes unassigned; they are taken as ISO-8859-1 would take them.
    if (std::optional<std::string> text = convert(bytes, "WINDOWS-1252"))
        return CardText{std::move(*text), "Windows-1252"};
    return CardText{latin1_to_utf8(bytes), "Windows-1252"};
}

std::string fold_punctuation(std::string_view utf8) {
    static const std::array<std::pair<std::string_view, std::string_view>, 10> kFolds = {{
        {"\xE2\x80\x98", "'"},   // left single quote
        {"\xE2\x80\x99", "'"},   // right single quote, the apostrophe of O'Brien
        {"\xE2\x80\x9A", "'"},   // low single quote
        {"\xE2\x80\x9C", "\""},  // left double quote
        {"\xE2\x80\x9D", "\""},  // right double quote
        {"\xE2\x80\x9E", "\""},  // low double quote
        {"\xE2\x80\x93", "-"},   // en dash
        {"\xE2\x80\x94", "-"},   // em dash
        {"\xE2\x80\xA6", "..."}, // ellipsis
        {"\xE2\x80\xB2", "'"},   // prime
    }};
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        bool folded = false;
        for (const auto& [from, to] : kFolds) {
            if (utf8.substr(i, from.size()) == from) {
                out += to;
                i += from.size();
                folded = true;
                break;
            }
        }
        if (!folded)
            out += utf8[i++];
    }
    return out;
}

} // namespace veltro
