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

// The fixed build stamp every header carries.
constexpr const char* kCompileDate = "2020-10-04 19:15";

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

using Leaf = std::pair<const char*, std::string>;

// Appends the elements in order, each with its text and followed by a line break.
void append_leaves(pugi::xml_node parent, std::initializer_list<Leaf> leaves) {
    for (const auto& [name, text] : leaves) {
        set_node_text(parent.append_child(name), text);
        parent.append_child(pugi::node_pcdata).set_value(kLineBreak);
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
    build_file_data(root);
    build_rgb_data(root);
    if (veltro_)
        build_veltro(root);
    DOM_serialize();
}

void Cls_XML_header::build_file_data(pugi::xml_node root) {
    const ProcessFacts& f = process_facts();
    const std::string uptime = format_uptime(uptime_ms());
    pugi::xml_node file_data = append_group(root, "file_data");
    append_leaves(file_data, {
                                 {"my_filename", f.current_file_name},
                                 {"update_program", "program name"},
                                 {"creation_date", now_short_datetime()},
                                 {"update_date", "not updated"},
                                 {"last_capture_time", "0000"},
                                 {"last_append_time", ""},
                                 {"num_streams", "1"},
                                 {"frame_header_size", "000"},
                                 {"num_frames", "000"},
                                 {"num_segments", "000"},
                                 {"timing_bias", "000"},
                                 {"b_rotated", "f"},
                                 {"comp_name", f.computer_name},
                                 {"comp_captureinfo", "Unknown capture info!"},
                                 {"capture_sample_size", "Unknown capture info!"},
                                 {"comp_cpuinfo", f.cpu_info},
                                 {"comp_cpubitness", f.cpu_bitness},
                                 {"comp_physram", f.physical_memory},
                                 {"comp_osbitness", f.os_bitness},
                                 {"capture_property", f.capture_property},
                                 {"selected_crop", f.selected_crop},
                                 {"capture_source", f.capture_source},
                                 {"actual_sample", f.actual_sample},
                                 {"comp_manufacturer_model", f.manufacturer_model},
                                 {"phidget_serial", f.phidget_serial},
                                 {"prog_id", f.prog_id},
                                 {"exe_name", f.exe_name},
                                 {"prog_version", "Compiled"},
                                 {"prog_major", std::to_string(kVersionMajor)},
                                 {"prog_minor", std::to_string(kVersionMinor)},
                                 {"prog_revision", std::to_string(kVersionRevision)},
                                 {"compile_date", kCompileDate},
                                 {"computer_uptime", uptime},
                                 {"program_uptime", uptime},
                                 {"exe_filedate", f.exe_date},
                                 {"os_version", f.os_version},
                                 {"subject_name", "0000"},
                                 {"file_comment1", "0000"},
                                 {"file_comment2", "0000"},
                                 {"file_comment3", "0000"},
                                 {"file_comment4", "0000"},
                                 {"file_comment5", "0000"},
                                 {"specapp1", ""},
                                 {"specapp2", ""},
                                 {"hdr_spare1", "0000"},
                                 {"hdr_spare2", "0000"},
                                 {"hdr_spare3", "0000"},
                                 {"hdr_spare4", "0000"},
                                 {"hdr_spare5", "0000"},
                             });
}

void Cls_XML_header::build_rgb_data(pugi::xml_node root) {
    pugi::xml_node rgb = append_group(root, "RGB_data");
    append_leaves(rgb, {
                           {"RGB_X", "000"},
                           {"RGB_Y", "000"},
                           {"RGB_image_size", "0000000"},
                           {"RGB_max_seen_size", "0000000"},
                           {"RGB_comp_threshold", "0000000"},
                           {"RGB_compressed_max_size", "0000000"},
                           {"RGB_compressed_buffer_size", "0000000"},
                           {"RGB_compressed_min_size", "99999999"},
                           {"RGB_sample_size", "0000000"},
                           {"RGB_interlaced", "Y"},
                           {"RGB_rotated", "Y"},
                           {"RGB_preview_on", "Y"},
                           {"RGB_fourcc", "none"},
                           {"RGB_JPEG_Codec", "none"},
                           {"RGB_fps", "000"},
                           {"RGB_JPEG_Quality", "0000"},
                           {"RGB_JPEG_Quality_num_reduced", "0000"},
                       });
}

void Cls_XML_header::build_veltro(pugi::xml_node root) {
    pugi::xml_node veltro = append_group(root, "veltro");
    append_leaves(veltro, {
                              {"velt_event", "Velt event name"},
                              {"velt_heat_ID", "Velt heat ID"},
                              {"velt_heat_name", "Velt heat name"},
                              {"velt_heat_length", "000"},
                              {"velt_goal_finish", "Velt goal finish"},
                              {"velt_goal_split", "Velt goal split"},
                              {"velt_start_datetime", "velt start date time"},
                              {"velt_start_local_mill", "velt_start_local_mill"},
                              {"velt_start_HDMI_events", "velt_start_HDMI_events"},
                              {"velt_start_PC_mill", "velt_start_PC_mill"},
                              {"velt_goal_time_offset", "0000"},
                              {"velt_split_time_offset", "0000"},
                              {"velt_box_delay", "0000"},
                              {"velt_split_firewire_ID", "000"},
                              {"velt_goal_firewire_ID", "000"},
                              {"velt_ph_serial", "000"},
                          });
    for (int box = 1; box <= 8; ++box) {
        pugi::xml_node record = append_group(veltro, "box");
        record.append_attribute("id") = box;
        append_leaves(record, {
                                  {"dog_name", "dog name"},
                                  {"dog_weight", "dog weight"},
                                  {"dog_heat_time", "000000"},
                                  {"dog_heat_click_time", "000000"},
                                  {"dog_heat_frame", "000000"},
                                  {"dog_split_time", "000000"},
                                  {"dog_split_click_time", "000000"},
                                  {"dog_split_frame", "000000"},
                                  {"dog_heat_rank", "00"},
                                  {"dog_split_rank", "00"},
                                  {"dog_dead_heat", "f"},
                                  {"dog_heat_spare1", "00000"},
                                  {"dog_heat_spare2", "00000"},
                              });
    }
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
    pugi::xml_node file_data = element("//file_data");
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

pugi::xml_node Cls_XML_header::find(const char* xpath) const {
    return doc_.select_node(xpath).node();
}

pugi::xml_node Cls_XML_header::element(const char* xpath) const {
    pugi::xml_node node = find(xpath);
    if (!node)
        throw VeltroError(err::ObjectVariableNotSet,
                          std::string("Object variable not set: the recording header has no element ") +
                              xpath);
    return node;
}

std::string Cls_XML_header::text(const char* xpath) const {
    return node_text(element(xpath));
}

void Cls_XML_header::set_text(const char* xpath, const std::string& value) {
    set_node_text(element(xpath), value);
}

std::string Cls_XML_header::text_or(const char* xpath, const char* fallback) const {
    const pugi::xml_node e = find(xpath);
    return e ? node_text(e) : fallback;
}

void Cls_XML_header::set_text_if_present(const char* xpath, const std::string& value) {
    if (const pugi::xml_node e = find(xpath))
        set_node_text(e, value);
}

void Cls_XML_header::set_veltro_leaf(const char* name, const std::string& value) {
    const std::string path = std::string("//veltro/") + name;
    if (const pugi::xml_node e = find(path.c_str())) {
        set_node_text(e, value);
        return;
    }
    if (value.empty())
        return;
    // Behind the box records, where a reader that knows only those looks for nothing. A header of
    // another kind has no heat result to mark.
    if (pugi::xml_node group = find("//veltro"))
        set_node_text(append_group(group, name), value);
}

std::int32_t Cls_XML_header::long_value(const char* xpath) const {
    const std::string t = text(xpath);
    try {
        return parse_long(t);
    } catch (const VeltroError& e) {
        // Name the element, so that the error log tells which value of which header was bad.
        const std::string shown = t.size() > 40 ? t.substr(0, 40) + "..." : t;
        throw VeltroError(e.number(), e.description() + ": " + xpath + " holds \"" + shown + "\"");
    }
}

std::int16_t Cls_XML_header::integer_value(const char* xpath) const {
    const std::int32_t v = long_value(xpath);
    try {
        return to_integer(v);
    } catch (const VeltroError& e) {
        throw VeltroError(e.number(), e.description() + ": " + xpath + " holds " + std::to_string(v));
    }
}

void Cls_XML_header::set_number(const char* xpath, std::int32_t value) {
    set_text(xpath, std::to_string(value));
}

bool Cls_XML_header::true_false_value(const char* xpath) const {
    return text(xpath) == "True";
}

void Cls_XML_header::set_true_false(const char* xpath, bool value) {
    set_text(xpath, value ? "True" : "False");
}

bool Cls_XML_header::t_f_value(const char* xpath) const {
    const std::string t = text(xpath);
    return t == "t" || t == "Y";
}

void Cls_XML_header::set_t_f(const char* xpath, bool value) {
    set_text(xpath, value ? "t" : "f");
}

std::string Cls_XML_header::box_path(std::int16_t box, const char* child) {
    if (box < 1 || box > 8)
        throw VeltroError(err::SubscriptOutOfRange,
                          "Subscript out of range: box " + std::to_string(box) + " (boxes are 1 to 8)");
    return "//box[@id='" + std::to_string(box) + "']/" + child;
}

} // namespace veltro
