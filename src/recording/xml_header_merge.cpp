// Two programs changing one recording: the later writer re-reads the header under the recording's
// lock and stores its own changes on top of what the other one stored.
#include "recording/xml_header.h"

#include <cstring>

namespace veltro {

namespace {

bool is_leaf(pugi::xml_node node) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element) {
            return false;
        }
    }
    return true;
}

// The child of `parent` that stands where `like` stands in its own parent: the same name, the same id
// attribute, and the same count of such siblings before it.
pugi::xml_node counterpart(pugi::xml_node parent, pugi::xml_node like) {
    if (!parent) {
        return {};
    }
    const char* id = like.attribute("id").value();
    int nth = 0;
    for (pugi::xml_node s = like.previous_sibling(like.name()); s; s = s.previous_sibling(like.name())) {
        nth += std::strcmp(s.attribute("id").value(), id) == 0 ? 1 : 0;
    }
    for (pugi::xml_node c = parent.child(like.name()); c; c = c.next_sibling(like.name())) {
        if (std::strcmp(c.attribute("id").value(), id) == 0 && nth-- == 0) {
            return c;
        }
    }
    return {};
}

void merge_changes(pugi::xml_node ours, pugi::xml_node base, pugi::xml_node theirs,
                   std::vector<std::string>& both) {
    for (pugi::xml_node o = ours.first_child(); o; o = o.next_sibling()) {
        if (o.type() != pugi::node_element) {
            continue;
        }
        const pugi::xml_node b = counterpart(base, o);
        const pugi::xml_node t = counterpart(theirs, o);
        if (!t) {
            // An element only this writer has (the official mark, who made the change) goes in with it.
            if (!b && is_leaf(o)) {
                theirs.append_copy(o);
            }
            continue;
        }
        if (!is_leaf(o)) {
            merge_changes(o, b, t, both);
            continue;
        }
        const std::string mine = o.text().get();
        const std::string was = b ? b.text().get() : "";
        if (b && mine == was) {
            continue;
        }
        const std::string other = t.text().get();
        if (other != was && other != mine) {
            const char* id = o.parent().attribute("id").value();
            both.push_back(std::string(o.name()) + (*id ? std::string(" of box ") + id : std::string()));
        }
        t.text().set(o.text().get());
    }
}

} // namespace

std::vector<std::string> Cls_XML_header::keep_changes(const Cls_XML_header& base,
                                                      const Cls_XML_header& ours) {
    std::vector<std::string> both;
    merge_changes(ours.doc_, base.doc_, doc_, both);
    DOM_serialize();
    return both;
}

} // namespace veltro
