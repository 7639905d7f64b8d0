#include "events/event_document.h"

#include "support/text.h"
#include "support/utf8_text.h"
#include "support/veltro_error.h"

#include <sstream>

namespace veltro {
namespace {

constexpr const char* kCrLf = "\r\n";

// Loading keeps every node of the file, the separator text between elements included, and leaves
// CR LF as written, so that reading and writing a file changes nothing but the edited texts.
constexpr unsigned kLoadOptions = (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol;

void add_line_break(pugi::xml_node parent) {
    parent.append_child(pugi::node_pcdata).set_value(kCrLf);
}

// An element followed by its line break, as every non-container element of the file is.
void add_field(pugi::xml_node parent, const char* name) {
    parent.append_child(name);
    add_line_break(parent);
}

// The one declaration of every event file, first in the document.
void prepend_declaration(pugi::xml_document& doc) {
    pugi::xml_node decl = doc.prepend_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "iso-8859-1";
}

// The file is ISO-8859-1 whatever the loaded declaration said, so it gets the standard one; any
// other (misplaced, or with attributes a reader cannot follow) would make the encoding ambiguous.
void make_declaration_latin1(pugi::xml_document& doc) {
    for (pugi::xml_node node = doc.first_child(); node;) {
        const pugi::xml_node next = node.next_sibling();
        if (node.type() == pugi::node_declaration)
            doc.remove_child(node);
        node = next;
    }
    prepend_declaration(doc);
}

// pugixml takes a file without a declaration or byte-order mark for UTF-8; one whose bytes are not
// UTF-8 is an 8-bit file from the platform the format was made on, so it is read as ISO-8859-1.
pugi::xml_encoding encoding_of(std::string_view bytes) {
    const bool wide = bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0' ||
                                            bytes.starts_with("\xFE\xFF") || bytes.starts_with("\xFF\xFE"));
    if (wide || bytes.starts_with("\xEF\xBB\xBF") || is_valid_utf8(bytes))
        return pugi::encoding_auto;
    return pugi::encoding_latin1;
}

// The element holding text that is not UTF-8 (a file marked as UTF-8 that is not), or none.
pugi::xml_node element_with_invalid_text(const pugi::xml_node& node) {
    for (const pugi::xml_attribute& a : node.attributes())
        if (!is_valid_utf8(a.value()))
            return node;
    for (const pugi::xml_node& child : node.children()) {
        if ((child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) &&
            !is_valid_utf8(child.value()))
            return node;
        if (const pugi::xml_node found = element_with_invalid_text(child))
            return found;
    }
    return {};
}

// The first child element of that name (pugixml also names declarations and processing
// instructions, which an XPath name test never matches).
pugi::xml_node first_element(const pugi::xml_node& parent, const char* name) {
    for (const pugi::xml_node& child : parent.children(name))
        if (child.type() == pugi::node_element)
            return child;
    return {};
}

// `[@name='value']`: true when any attribute of that name has the value.
bool has_attribute(const pugi::xml_node& node, const char* name, const std::string& value) {
    for (const pugi::xml_attribute& a : node.attributes())
        if (std::string_view(a.name()) == name && a.value() == value)
            return true;
    return false;
}

[[noreturn]] void missing(const std::string& xpath) {
    throw VeltroError(err::kObjectVariableNotSet,
                      "Object variable or With block variable not set: the event file has no " + xpath);
}

std::string text_of(const pugi::xml_node& node) {
    std::string text;
    for (const pugi::xml_node& child : node.children())
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text += child.value();
    return text;
}

} // namespace

EventDocument::EventDocument(EventDocument&& other) : doc_(std::move(other.doc_)) {
    index_heats();
    other.clear();
}

EventDocument& EventDocument::operator=(EventDocument&& other) {
    if (this != &other) {
        doc_ = std::move(other.doc_);
        index_heats();
        other.clear();
    }
    return *this;
}

bool EventDocument::can_hold(std::string_view utf8) {
    if (!is_valid_utf8(utf8))
        return false;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 && c != '\t')
            return false;
        if (c == 0x7F)
            return false;
        if (c < 0x80)
            continue;
        // U+0080..U+00FF are the two-byte sequences with lead byte C2 or C3; C2 80..C2 9F are the
        // C1 control characters.
        if (c == 0xC3 || (c == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) >= 0xA0)) {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

std::string EventDocument::cannot_hold_reason() {
    return "has a character that the event file cannot hold (it holds the Western European letters of "
           "ISO-8859-1 only)";
}

void EventDocument::clear() {
    doc_.reset();
    index_heats();
}

bool EventDocument::empty() const {
    return !doc_.first_child();
}

void EventDocument::Create_Veltro_Race_File() {
    doc_.reset();
    prepend_declaration(doc_);

    pugi::xml_node root = doc_.append_child("Veltro_event_file");
    root.append_child(pugi::node_comment)
        .set_value(("XML file containing Veltro event definition file, created at: " + now_default_datetime())
                       .c_str());
    add_line_break(root);
    add_field(root, "event_name");
    add_field(root, "event_date");
    add_field(root, "event_day");
    add_field(root, "event_venue");
    for (int h = 1; h <= kEventHeats; ++h) {
        pugi::xml_node heat = root.append_child("heat");
        heat.append_attribute("id") = h;
        add_field(heat, "heat_time");
        add_field(heat, "heat_length");
        add_field(heat, "heat_description");
        add_field(heat, "heat_name");
        for (int b = 1; b <= kEventBoxes; ++b) {
            pugi::xml_node box = heat.append_child("box");
            box.append_attribute("id") = b;
            add_field(box, "dog_name");
            add_field(box, "dog_weight");
            add_field(box, "dog_heat_time");
            add_field(box, "dog_heat_rank");
            add_field(box, "dog_heat_split_time");
            add_field(box, "dog_heat_split_rank");
        }
    }
    index_heats();
}

std::string EventDocument::serialise() const {
    if (empty())
        return {};
    std::ostringstream out;
    doc_.save(out, "", pugi::format_raw, pugi::encoding_latin1);
    return std::move(out).str();
}

void EventDocument::load(std::string_view bytes, const std::string& source_name) {
    clear();
    const pugi::xml_parse_result result =
        doc_.load_buffer(bytes.data(), bytes.size(), kLoadOptions, encoding_of(bytes));
    if (!result) {
        doc_.reset();
        throw VeltroError(err::kObjectVariableNotSet,
                          source_name + " is not a readable XML document: " + result.description() +
                              " at byte " + std::to_string(result.offset));
    }
    // Saving in ISO-8859-1 would drop such bytes without a word: the file is refused, saying where.
    if (const pugi::xml_node where = element_with_invalid_text(doc_)) {
        const std::string name = where.name();
        doc_.reset();
        throw VeltroError(err::kObjectVariableNotSet, source_name + " is marked as UTF-8 but the text of <" +
                                                          name + "> is not valid UTF-8");
    }
    make_declaration_latin1(doc_);
    // Whatever is kept must survive being saved: element or attribute names outside ISO-8859-1
    // would be written as something no parser reads back.
    pugi::xml_document check;
    const std::string saved = serialise();
    if (!check.load_buffer(saved.data(), saved.size(), kLoadOptions, pugi::encoding_latin1)) {
        doc_.reset();
        throw VeltroError(err::kObjectVariableNotSet,
                          source_name + " has names that cannot be written in ISO-8859-1");
    }
    index_heats();
}

std::string EventDocument::heat_path(std::int16_t heat, const char* child) {
    return "//heat[@id='" + std::to_string(heat) + "']/" + child;
}

std::string EventDocument::dog_name_path(std::int16_t heat, std::int16_t box) {
    return "//heat[@id='" + std::to_string(heat) + "']/box[@id='" + std::to_string(box) + "']/dog_name";
}

void EventDocument::index_heats() {
    heats_.clear();
    indexed_ = true;
    for (const pugi::xpath_node& found : doc_.select_nodes("//heat")) {
        const pugi::xml_node heat = found.node();
        int ids = 0;
        for (const pugi::xml_attribute& a : heat.attributes())
            ids += std::string_view(a.name()) == "id";
        if (ids > 1 || (ids == 1 && !heats_.emplace(heat.attribute("id").value(), heat).second)) {
            heats_.clear();
            indexed_ = false;
            return;
        }
    }
}

pugi::xml_node EventDocument::heat_child(std::int16_t heat, const char* child) const {
    if (!indexed_)
        return doc_.select_node(heat_path(heat, child).c_str()).node();
    const auto found = heats_.find(std::to_string(heat));
    return found == heats_.end() ? pugi::xml_node() : first_element(found->second, child);
}

pugi::xml_node EventDocument::dog_name_node(std::int16_t heat, std::int16_t box) const {
    if (!indexed_)
        return doc_.select_node(dog_name_path(heat, box).c_str()).node();
    const auto found = heats_.find(std::to_string(heat));
    if (found == heats_.end())
        return {};
    // `box[@id='M']/dog_name`: the first dog name of the boxes with that id, in their order.
    const std::string id = std::to_string(box);
    for (const pugi::xml_node& b : found->second.children("box"))
        if (b.type() == pugi::node_element && has_attribute(b, "id", id))
            if (const pugi::xml_node name = first_element(b, "dog_name"))
                return name;
    return {};
}

void EventDocument::set_text(pugi::xml_node node, const std::string& value) {
    bool elements_removed = false;
    while (node.first_child()) {
        elements_removed |= node.first_child().type() == pugi::node_element;
        node.remove_child(node.first_child());
    }
    if (!value.empty())
        node.append_child(pugi::node_pcdata).set_value(value.c_str());
    // A foreign file may hold heats inside a field; those are gone now.
    if (elements_removed)
        index_heats();
}

std::string EventDocument::first_missing_node() const {
    // Boxes 7 and 8 are only ever filled by an import, which reports a missing one itself.
    constexpr std::int16_t kShownBoxes = 6;
    for (const char* path : {"//event_name", "//event_day"})
        if (!doc_.select_node(path).node())
            return path;
    for (std::int16_t heat = 1; heat <= kEventHeats; ++heat) {
        for (const char* child : {"heat_name", "heat_length", "heat_time"})
            if (!heat_child(heat, child))
                return heat_path(heat, child);
        for (std::int16_t box = 1; box <= kShownBoxes; ++box)
            if (!dog_name_node(heat, box))
                return dog_name_path(heat, box);
    }
    return {};
}

pugi::xml_node EventDocument::event_field(const char* xpath) const {
    if (const pugi::xml_node node = doc_.select_node(xpath).node())
        return node;
    missing(xpath);
}

pugi::xml_node EventDocument::heat_field(std::int16_t heat, const char* child) const {
    if (const pugi::xml_node node = heat_child(heat, child))
        return node;
    missing(heat_path(heat, child));
}

pugi::xml_node EventDocument::dog_name_field(std::int16_t heat, std::int16_t box) const {
    if (const pugi::xml_node node = dog_name_node(heat, box))
        return node;
    missing(dog_name_path(heat, box));
}

std::string EventDocument::event_name() const {
    return text_of(event_field("//event_name"));
}
std::string EventDocument::event_day() const {
    return text_of(event_field("//event_day"));
}
std::string EventDocument::heat_name(std::int16_t heat) const {
    return text_of(heat_field(heat, "heat_name"));
}
std::string EventDocument::heat_length(std::int16_t heat) const {
    return text_of(heat_field(heat, "heat_length"));
}
std::string EventDocument::heat_time(std::int16_t heat) const {
    return text_of(heat_field(heat, "heat_time"));
}
std::string EventDocument::dog_name(std::int16_t heat, std::int16_t box) const {
    return text_of(dog_name_field(heat, box));
}

void EventDocument::event_name(const std::string& value) {
    set_text(event_field("//event_name"), value);
}
void EventDocument::event_day(const std::string& value) {
    set_text(event_field("//event_day"), value);
}
void EventDocument::heat_name(std::int16_t heat, const std::string& value) {
    set_text(heat_field(heat, "heat_name"), value);
}
void EventDocument::heat_length(std::int16_t heat, const std::string& value) {
    set_text(heat_field(heat, "heat_length"), value);
}
void EventDocument::heat_time(std::int16_t heat, const std::string& value) {
    set_text(heat_field(heat, "heat_time"), value);
}
void EventDocument::dog_name(std::int16_t heat, std::int16_t box, const std::string& value) {
    set_text(dog_name_field(heat, box), value);
}

} // namespace veltro
