#include "recording/xml_header.h"

#include "support/app_paths.h"
#include "support/clocks.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/text.h"
#include "support/veltro_error.h"
#include "veltro_version.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace veltro {
namespace {

// Line breaks are written by the builder itself, so the saver must not indent. The declaration
// is a node of the document (kept when a loaded text has one), never added by the saver.
constexpr unsigned kSaveFlags = pugi::format_raw | pugi::format_no_declaration;

// Everything of the text is kept, also the line breaks between elements, so that a header read
// from a recording and written back keeps its shape.
constexpr unsigned kParseFlags = (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol;

constexpr const char* kLineBreak = "\r\n";

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, std::size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

pugi::xml_node append_group(pugi::xml_node parent, const char* name) {
    pugi::xml_node group = parent.append_child(name);
    parent.append_child(pugi::node_pcdata).set_value(kLineBreak);
    return group;
}

// All text below the element, as a DOM's text property gives it; walked without recursion
// because a loaded header may nest arbitrarily deep.
std::string node_text(const pugi::xml_node e) {
    std::string out;
    pugi::xml_node cur = e.first_child();
    while (cur) {
        if (cur.type() == pugi::node_pcdata || cur.type() == pugi::node_cdata)
            out += cur.value();
        if (cur.first_child()) {
            cur = cur.first_child();
            continue;
        }
        while (cur != e && !cur.next_sibling())
            cur = cur.parent();
        cur = cur == e ? pugi::xml_node() : cur.next_sibling();
    }
    return out;
}

// Replaces whatever the element held by the one text.
void set_node_text(pugi::xml_node e, const std::string& value) {
    e.remove_children();
    if (!value.empty())
        e.append_child(pugi::node_pcdata).set_value(value.c_str());
}

// What a new header takes from the process and the clocks.
struct NewHeader {
    const ProcessFacts& facts;
    std::string creation_time;
    std::string uptime;
};

std::string initial_text(const HeaderInitial& initial, const NewHeader& made) {
    using From = HeaderInitial::From;
    switch (initial.from) {
    case From::Text:
        return initial.text;
    case From::Fact:
        return made.facts.*initial.fact;
    case From::CreationTime:
        return made.creation_time;
    case From::Uptime:
        return made.uptime;
    case From::Major:
        return std::to_string(kVersionMajor);
    case From::Minor:
        return std::to_string(kVersionMinor);
    case From::Revision:
        return std::to_string(kVersionRevision);
    case From::Absent:
        break;
    }
    return "";
}

// Appends the elements of `group` that a new header has, in the table's order, each with its text
// and followed by a line break.
void append_elements(pugi::xml_node parent, HeaderGroup group, const NewHeader& made) {
    for (const HeaderElement& row : kHeaderElements) {
        if (row.group == group && row.initial.from != HeaderInitial::From::Absent) {
            set_node_text(parent.append_child(row.element), initial_text(row.initial, made));
            parent.append_child(pugi::node_pcdata).set_value(kLineBreak);
        }
    }
}

// The parser's reason with the line (1-based) and the text of the line where it stopped.
std::string parse_failure_text(const std::string& latin1_text, const pugi::xml_parse_result& result) {
    const std::size_t at =
        std::min(static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0)), latin1_text.size());
    std::size_t from = 0;
    if (at > 0)
        if (const auto br = latin1_text.rfind('\n', at - 1); br != std::string::npos)
            from = br + 1;
    const std::size_t to = std::min(latin1_text.find('\n', at), latin1_text.size());
    const auto line =
        1 + std::count(latin1_text.begin(), latin1_text.begin() + static_cast<std::ptrdiff_t>(from), '\n');
    return std::string("XML parse failed! reason = ") + result.description() +
           " line = " + std::to_string(line) +
           " srctext = " + latin1_to_utf8(latin1_text.substr(from, std::min<std::size_t>(to - from, 200)));
}

} // namespace

std::string format_uptime(std::uint64_t ms) {
    const std::uint64_t s = ms / 1000;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%llu days %02u:%02u:%02u", static_cast<unsigned long long>(s / 86400),
                  static_cast<unsigned>(s / 3600 % 24), static_cast<unsigned>(s / 60 % 60),
                  static_cast<unsigned>(s % 60));
    return buf;
}

// ---- the document as a whole ----------------------------------------------------------------

void Cls_XML_header::Create_Header() {
    doc_.reset();
    pugi::xml_node decl = doc_.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "iso-8859-1";
    doc_.append_child(pugi::node_comment).set_value("XML file containing PXV PX3 header");
    pugi::xml_node root = doc_.append_child("PXV_header");
    const NewHeader made{process_facts(), now_short_datetime(), format_uptime(uptime_ms())};
    for (const HeaderGroup group : {HeaderGroup::FileData, HeaderGroup::RgbData})
        append_elements(append_group(root, group_name(group)), group, made);
    if (veltro_) {
        pugi::xml_node heat = append_group(root, group_name(HeaderGroup::Heat));
        append_elements(heat, HeaderGroup::Heat, made);
        for (int box = 1; box <= 8; ++box) {
            pugi::xml_node record = append_group(heat, group_name(HeaderGroup::Box));
            record.append_attribute("id") = box;
            append_elements(record, HeaderGroup::Box, made);
        }
    }
    DOM_serialize();
}

std::string Cls_XML_header::XML_string() const {
    DOM_serialize();
    return serialized_;
}

void Cls_XML_header::XML_string(const std::string& latin1_text) {
    loaded_ = latin1_text;
    const pugi::xml_parse_result result =
        doc_.load_buffer(latin1_text.data(), latin1_text.size(), kParseFlags, pugi::encoding_latin1);
    has_xml_ = static_cast<bool>(result);
    parse_failure_.clear();
    if (!has_xml_) {
        // The parser keeps what it read before the error; a header that did not parse must not
        // offer half of its values.
        doc_.reset();
        parse_failure_ = parse_failure_text(latin1_text, result);
    }
    DOM_serialize();
}

void Cls_XML_header::DOM_serialize() const {
    try {
        serialized_ = Get_DOM_string();
    } catch (const std::exception&) {
        serialized_.clear();
    }
}

std::string Cls_XML_header::Get_DOM_string() const {
    StringWriter writer;
    doc_.save(writer, "", kSaveFlags, pugi::encoding_latin1);
    return std::move(writer.out);
}

std::int32_t Cls_XML_header::Len_XML() const {
    return to_long(static_cast<std::int64_t>(XML_string().size()));
}

std::int16_t Cls_XML_header::XML_len() const {
    return to_integer(Len_XML());
}

void Cls_XML_header::Dump_XML_to_File(const std::string& path) {
    const std::string target = path.empty() ? data_file("xmldump.xml") : path;
    save_file_atomically(target, Get_DOM_string());
    the_operator().message("XML header dumped to: " + target);
}

void Cls_XML_header::Insert_Specapp() {
    pugi::xml_node file_data = element(std::string("//") + group_name(HeaderGroup::FileData));
    if (file_data.child("specapp1"))
        return;
    const std::string value = SpecApp();
    set_node_text(file_data.append_child("specapp1"), value);
}

bool Cls_XML_header::is_Selvane() const {
    return loaded_.find("Selvane") != std::string::npos || loaded_.find("selvane") != std::string::npos;
}

bool Cls_XML_header::is_Golf() const {
    return loaded_.find("<golf>") != std::string::npos;
}

bool Cls_XML_header::is_Equestrian() const {
    return is_Selvane();
}

// ---- element access -------------------------------------------------------------------------

pugi::xml_node Cls_XML_header::find(const std::string& xpath) const {
    return doc_.select_node(xpath.c_str()).node();
}

pugi::xml_node Cls_XML_header::element(const std::string& xpath) const {
    pugi::xml_node node = find(xpath);
    if (!node)
        throw VeltroError(err::kObjectVariableNotSet,
                          "Object variable not set: the recording header has no element " + xpath);
    return node;
}

std::string Cls_XML_header::row_text(const HeaderElement& row, std::int16_t box) const {
    const std::string path = header_xpath(row, box);
    if (row.missing == HeaderMissing::Fails)
        return node_text(element(path));
    const pugi::xml_node e = find(path);
    return e ? node_text(e) : row.fallback;
}

void Cls_XML_header::set_row_text(const HeaderElement& row, const std::string& value, std::int16_t box) {
    const std::string path = header_xpath(row, box);
    switch (row.missing) {
    case HeaderMissing::Fails:
    case HeaderMissing::Fallback:
        set_node_text(element(path), value);
        return;
    case HeaderMissing::Skipped:
        if (const pugi::xml_node e = find(path))
            set_node_text(e, value);
        return;
    case HeaderMissing::Added:
        break;
    }
    const std::string group = std::string("//") + group_name(row.group);
    if (const pugi::xml_node e = find(group + "/" + row.element)) {
        set_node_text(e, value);
        return;
    }
    if (value.empty())
        return;
    // Behind the box records, where a reader that knows only those looks for nothing. A header of
    // another kind has no heat result to mark.
    if (pugi::xml_node parent = find(group))
        set_node_text(append_group(parent, row.element), value);
}

} // namespace veltro
