#pragma once

// What pugixml's own XPath evaluation finds in an event document, for the test and the fuzz target
// that hold the document's look-ups against it.
#include "events/event_document.h"
#include "support/veltro_error.h"

#include <optional>
#include <string>

namespace veltro {

// The text of the first node the file format's XPath text matches, or nothing.
inline std::optional<std::string> xpath_text(const EventDocument& doc, const std::string& path) {
    const pugi::xml_node node = doc.dom().select_node(path.c_str()).node();
    if (!node)
        return std::nullopt;
    std::string text;
    for (const pugi::xml_node& child : node.children())
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text += child.value();
    return text;
}

// What `read` returns, or nothing when it fails with a VeltroError.
template <typename F>
std::optional<std::string> text_or_none(F read) {
    try {
        return read();
    } catch (const VeltroError&) {
        return std::nullopt;
    }
}

} // namespace veltro
