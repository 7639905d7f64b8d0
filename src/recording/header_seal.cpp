#include "recording/header_seal.h"

#include "recording/header_journal.h"

#include <cstdio>
#include <optional>

namespace veltro {

namespace {

constexpr std::string_view kOpen = "<hdr_spare5>";
constexpr std::string_view kClose = "</hdr_spare5>";
constexpr std::string_view kPrefix = "crc32:";

struct Content {
    std::size_t begin = 0;
    std::size_t end = 0;
};

std::optional<Content> seal_content(std::string_view text) {
    const std::size_t open = text.find(kOpen);
    if (open == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t begin = open + kOpen.size();
    const std::size_t end = text.find(kClose, begin);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    return Content{begin, end};
}

std::uint32_t crc_without(std::string_view text, const Content& c) {
    std::string rest(text.substr(0, c.begin));
    rest.append(text.substr(c.end));
    return crc32_of(rest.data(), rest.size());
}

std::string seal_text(std::uint32_t crc) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", crc);
    return std::string(kPrefix) + buf;
}

} // namespace

HeaderSeal header_seal(std::string_view text) {
    const auto c = seal_content(text);
    if (!c) {
        // A tear can cut the element's tags too; a text that lost them does not parse.
        return HeaderSeal::Unsealed;
    }
    const std::string_view value = text.substr(c->begin, c->end - c->begin);
    if (value == "0000") {
        return HeaderSeal::Unsealed;
    }
    return value == seal_text(crc_without(text, *c)) ? HeaderSeal::Sound : HeaderSeal::Broken;
}

std::string seal_header(std::string_view text) {
    const auto c = seal_content(text);
    if (!c) {
        return std::string(text);
    }
    std::string out(text.substr(0, c->begin));
    out += seal_text(crc_without(text, *c));
    out.append(text.substr(c->end));
    return out;
}

} // namespace veltro
