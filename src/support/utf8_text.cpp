#include "support/utf8_text.h"

#include <cstdint>

namespace veltro {
namespace {

// Bytes of the character that starts with `lead`; 1 for a byte that starts no character.
std::size_t sequence_length(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;
}

// Byte offset of character `index`, or the text's size when it has fewer characters.
std::size_t offset_of(std::string_view text, std::size_t index) {
    std::size_t pos = 0;
    while (index > 0 && pos < text.size()) {
        const std::size_t len = sequence_length(static_cast<unsigned char>(text[pos]));
        pos = len > text.size() - pos ? text.size() : pos + len;
        --index;
    }
    return pos;
}

} // namespace

bool is_valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t len = sequence_length(lead);
        if (len == 1) {
            if (lead >= 0x80)
                return false;
            ++i;
            continue;
        }
        if (len > text.size() - i)
            return false;
        std::uint32_t code = lead & (0x7Fu >> len);
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (c & 0x3Fu);
        }
        static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kMinimum[len] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::size_t utf8_length(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t pos = 0; pos < text.size(); ++n) {
        const std::size_t len = sequence_length(static_cast<unsigned char>(text[pos]));
        pos = len > text.size() - pos ? text.size() : pos + len;
    }
    return n;
}

std::string utf8_substr(std::string_view text, std::size_t first, std::size_t count) {
    const std::size_t from = offset_of(text, first);
    const std::size_t to = from + offset_of(text.substr(from), count);
    return std::string(text.substr(from, to - from));
}

} // namespace veltro
