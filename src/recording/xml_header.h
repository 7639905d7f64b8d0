#pragma once

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace veltro {

// The recording header: the XML document at the front of every recording. It describes the file,
// the computer and program that made it, the frame format, and the heat (event, start values,
// compensations and, for each of the eight boxes, dog name, times, frames and dead-heat mark).
//
// Every property is one select_node on a fixed XPath ("//element" or "//box[@id='n']/child")
// followed by a read or write of the element's text. A property whose element is missing fails
// with VeltroError 91, except the few that a heat recording may lack (noted below), which return
// their default or "" and leave the document unchanged on a write. Setters never create elements.
// Whole numbers are written as plain decimal and read strictly (13 Type mismatch, 6 Overflow).
// A box number outside 1..8 fails with 9 "Subscript out of range".
//
// Texts in memory are UTF-8. The serialized text (XML_string) is ISO-8859-1, one byte per
// character, as it is stored in the recording; characters beyond ISO-8859-1 are stored as '?'.
class Cls_XML_header {
public:
    Cls_XML_header() = default;
    Cls_XML_header(const Cls_XML_header&) = delete;
    Cls_XML_header& operator=(const Cls_XML_header&) = delete;

    // ---- the document as a whole ------------------------------------------------------------

    // Replaces the document by the default header of a new recording and refreshes the
    // serialized text. Process-wide values (computer, program, capture texts) come from
    // process_facts().
    void Create_Header();

    // The document as ISO-8859-1 text; also refreshes the stored serialized text.
    std::string XML_string() const;
    // Stores `latin1_text` as the loaded text and parses it. Has_XML tells whether it parsed; when
    // it did not, the document is left empty.
    void XML_string(const std::string& latin1_text);
    bool Has_XML() const { return has_xml_; }
    // The last text given to XML_string, unchanged.
    const std::string& Loaded_text() const { return loaded_; }
    // Why that text did not parse ("" when it did), for the debug run: "XML parse failed! reason = "
    // ... " line = " ... " srctext = " and the text of that line.
    const std::string& Parse_failure() const { return parse_failure_; }

    // Refreshes the stored serialized text ("" if serializing fails).
    void DOM_serialize() const;
    // The document as ISO-8859-1 text, without storing it.
    std::string Get_DOM_string() const;
    // Length in characters (= bytes) of the serialized text; XML_len fails with 6 above 32767.
    std::int32_t Len_XML() const;
    std::int16_t XML_len() const;

    // Saves the document atomically to `path` ("" = "xmldump.xml" in the data folder) and tells
    // the operator "XML header dumped to: " + path.
    void Dump_XML_to_File(const std::string& path);

    // Takes into this document (the header another program stored meanwhile) every value that `ours`
    // changed against `base`, the text both started from: a change made elsewhere stays unless this
    // one changed the same value. Returns the elements both changed differently (ours is kept there).
    std::vector<std::string> Keep_changes(const Cls_XML_header& base, const Cls_XML_header& ours);

    // Adds file_data/specapp1 holding the current SpecApp() to a document that lacks it.
    void Insert_Specapp();

    // Tests on the loaded text.
    bool is_Selvane() const;
    bool is_Golf() const;
    bool is_Equestrian() const;

    // Heat switch: with it off, Create_Header builds no `veltro` group. On by default.
    void Veltro(bool on) { veltro_ = on; }

    // ---- file_data --------------------------------------------------------------------------

    void Update_Program(const std::string& value);
    std::string Creation_date() const;
    void Creation_date(const std::string& value);
    std::string Update_Time() const;
    void Update_Time(const std::string& value);
    std::string Last_Capture_time() const; // "0" when the element is empty
    void Last_Capture_time(const std::string& value);
    std::int16_t Streams_no() const;
    void Streams_no(std::int16_t value);
    void Frames_no(std::int16_t value);
    std::int16_t G_Frames_no() const;
    std::int16_t Segments_no() const;
    void Segments_no(std::int16_t value);
    std::string Timing_Bias() const; // "" when missing
    void Timing_Bias(const std::string& value);
    std::string Comp_Name() const;        // "Unknown computer name" when missing
    std::string Comp_CaptureInfo() const; // "Unknown Capture Info!" when missing
    void Comp_CaptureInfo(const std::string& value);
    std::string Capture_sample_size() const;
    void Capture_sample_size(const std::string& value);
    std::string Comp_CPUInfo() const;     // "Not known!" when missing
    std::string Comp_CPUbitness() const;  // "Not known!" when missing
    std::string Comp_OSbitness() const;   // "Not known!" when missing
    std::string Capture_property() const; // "" when missing; the setter skips a missing element
    void Capture_property(const std::string& value);
    void Selected_crop(const std::string& value);
    std::string Capture_source() const; // "" when missing; the setter skips a missing element
    void Capture_source(const std::string& value);
    std::string Actual_sample() const;  // "" when missing
    std::string Phidget_serial() const; // "Not known!" when missing; the setter skips a missing element
    void Phidget_serial(const std::string& value);
    std::string prog_id() const;
    std::string Exe_Name() const; // "" when missing
    std::string Prog_Major() const;
    std::string Prog_Minor() const;
    std::string Prog_Revision() const;
    std::string Computer_Uptime() const; // "" when missing
    std::string Program_Uptime() const;  // "" when missing
    std::string OS_version() const;      // "" when missing
    std::string Subject_name() const;
    void Subject_name(const std::string& value);
    std::string File_comment1() const;
    void File_comment1(const std::string& value);
    std::string SpecApp() const; // "None" when missing
    void SpecApp(const std::string& value);
    std::string Hdr_spare1() const;
    void Hdr_spare1(const std::string& value);

    // ---- RGB_data ---------------------------------------------------------------------------

    std::int16_t RGB_X() const;
    void RGB_X(std::int16_t value);
    std::int16_t RGB_Y() const;
    void RGB_Y(std::int16_t value);
    std::int32_t RGB_Image_size() const;
    void RGB_Image_size(std::int32_t value);
    std::string RGB_Max_Seen_size() const;
    void RGB_Max_Seen_size(const std::string& value);
    std::string RGB_Comp_Threshold() const;
    void RGB_Comp_Threshold(const std::string& value);
    std::int32_t RGB_Compressed_max_Size() const;
    void RGB_Compressed_max_Size(std::int32_t value);
    std::int32_t RGB_Compressed_buffer_Size() const;
    void RGB_Compressed_buffer_Size(std::int32_t value);
    std::int32_t RGB_Compressed_min_Size() const;
    void RGB_Compressed_min_Size(std::int32_t value);
    std::int32_t RGB_Sample_Size() const;
    void L_RGB_Sample_Size(std::int32_t value);
    bool RGB_interlaced() const; // "True" / "False"
    void RGB_interlaced(bool value);
    bool RGB_Rotated() const; // "t" / "f" (also reads "Y" / "N")
    void RGB_Rotated(bool value);
    bool RGB_preview_on() const; // "True" / "False"
    void RGB_preview_on(bool value);
    std::string RGB_fourcc() const;
    void RGB_fourcc(const std::string& value);
    std::string RGB_JPEG_codec() const; // "unknown" when missing
    void RGB_JPEG_codec(const std::string& value);
    std::string RGB_fps() const;
    void RGB_fps(const std::string& value);
    std::string RGB_JPEG_Quality() const; // "0000" when missing
    void RGB_JPEG_Quality(const std::string& value);
    std::int16_t JPG_Reduced_Qual_num() const;
    void JPG_Reduced_Qual_num(std::int16_t value);

    // ---- veltro: the heat -------------------------------------------------------------------

    std::string Velt_event() const;
    void Velt_event(const std::string& value);
    std::string Velt_Heat_ID() const;
    void Velt_Heat_ID(const std::string& value);
    std::string Velt_Heat_Name() const;
    void Velt_Heat_Name(const std::string& value);
    std::string Velt_Heat_Length() const; // "" when missing
    void Velt_Heat_Length(const std::string& value);
    std::string Velt_Goal_Finish() const; // "" when missing; the setter skips a missing element
    void Velt_Goal_Finish(const std::string& value);
    std::string Velt_Goal_Split() const; // "" when missing; the setter skips a missing element
    void Velt_Goal_Split(const std::string& value);
    std::string Velt_start_DateTime() const;
    void Velt_start_DateTime(const std::string& value);
    std::int32_t Velt_heat_start_Local_mill() const;
    void Velt_heat_start_Local_mill(std::int32_t value);
    std::int32_t Velt_start_HDMI_events() const;
    void Velt_start_HDMI_events(std::int32_t value);
    // Text, because it holds a placeholder until the heat has started.
    std::string Velt_heat_start_PC_mill() const;
    void Velt_heat_start_PC_mill(const std::string& value);
    std::string Goal_Compensation() const; // "0" when the text is not a whole number
    void Goal_Compensation(const std::string& value);
    std::string Split_Compensation() const; // "0" when the text is not a whole number
    void Split_Compensation(const std::string& value);
    std::string Velt_box_delay() const; // "" when missing; the setter skips a missing element
    void Velt_box_delay(const std::string& value);
    void Velt_split_firewire_ID(const std::string& value);
    void Velt_goal_firewire_ID(const std::string& value);
    void Velt_ph_serial(const std::string& value);

    // ---- veltro: the box records (box 1..8) -------------------------------------------------

    std::string Velt_Dog_name(std::int16_t box) const;
    void Velt_Dog_name(std::int16_t box, const std::string& value);
    // dog_split_time when `split`, else dog_heat_time.
    std::int32_t Velt_Heat_time(std::int16_t box, bool split) const;
    void Velt_Heat_time(std::int16_t box, bool split, std::int32_t value);
    std::int32_t Velt_Heat_Click_Time(std::int16_t box) const; // 0 when missing or unreadable
    void Velt_Heat_Click_Time(std::int16_t box, std::int32_t value);
    std::int16_t Velt_heat_frame(std::int16_t box) const;
    void Velt_heat_frame(std::int16_t box, std::int16_t value);
    std::int16_t Velt_split_frame(std::int16_t box) const;
    void Velt_split_frame(std::int16_t box, std::int16_t value);
    bool Velt_dead_heat(std::int16_t box) const; // "True" / "False"; false when missing
    void Velt_dead_heat(std::int16_t box, bool value);

    // ---- veltro: who made the last change, and the official mark ----------------------------
    // Older recordings have none of these elements: they read as "", and a setter given "" leaves
    // a missing element out, so such a header is written as it was.

    // The operator named by the write that stored this header; "" when none was named.
    std::string Velt_changed_by() const;
    void Velt_changed_by(const std::string& value);
    // What that write was when not a plain change ("undo", or "reason: <why>" for the withdrawal
    // of the official mark); "" otherwise.
    std::string Velt_change() const;
    void Velt_change(const std::string& value);
    // "" when the heat's result is not official, else "<operator>, <yyyy-mm-dd hh:nn:ss>".
    std::string Velt_official() const;
    void Velt_official(const std::string& value);

private:
    // The element at `xpath`; fails with 91 when there is none.
    pugi::xml_node element(const char* xpath) const;
    // The element at `xpath`, or a null node.
    pugi::xml_node find(const char* xpath) const;

    std::string text(const char* xpath) const;
    void set_text(const char* xpath, const std::string& value);
    // For the properties that tolerate a missing element.
    std::string text_or(const char* xpath, const char* fallback) const;
    void set_text_if_present(const char* xpath, const std::string& value);
    // Sets the element `name` of the veltro group, adding it when missing and `value` is not "".
    void set_veltro_leaf(const char* name, const std::string& value);

    std::int32_t long_value(const char* xpath) const;
    std::int16_t integer_value(const char* xpath) const;
    void set_number(const char* xpath, std::int32_t value);

    bool true_false_value(const char* xpath) const;
    void set_true_false(const char* xpath, bool value);
    bool t_f_value(const char* xpath) const;
    void set_t_f(const char* xpath, bool value);

    static std::string box_path(std::int16_t box, const char* child);

    void build_file_data(pugi::xml_node root);
    void build_rgb_data(pugi::xml_node root);
    void build_veltro(pugi::xml_node root);

    pugi::xml_document doc_;
    mutable std::string serialized_;
    std::string loaded_;
    std::string parse_failure_;
    bool veltro_ = true;
    bool has_xml_ = false;
};

// The uptime text of a new header: "<days> days hh:mm:ss", e.g. "3 days 04:05:06".
std::string format_uptime(std::uint64_t ms);

} // namespace veltro
