#pragma once

#include "recording/header_properties.h"

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace veltro {

// The recording header: the XML document at the front of every recording. It describes the file,
// the computer and program that made it, the frame format, and the heat (event, start values,
// compensations and, for each of the eight boxes, dog name, times, frames and dead-heat mark).
//
// Every property is one select_node on its element's XPath ("//element" or "//box[@id='n']/child")
// followed by a read or write of the element's text. The element, the kind of its text and what the
// property does when a header lacks the element come from the element's row of the header table
// (header_properties.h), from which Create_Header also builds a new header. A missing element fails
// with VeltroError 91, except for the few properties that a heat recording may lack, which return
// their fallback and, as their row says, fail or leave the document unchanged on a write. Setters
// never create elements, except those of who changed the heat and of the official mark.
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
    const std::string& loaded_text() const { return loaded_; }
    // Why that text did not parse ("" when it did), for the debug run: "XML parse failed! reason = "
    // ... " line = " ... " srctext = " and the text of that line.
    const std::string& parse_failure() const { return parse_failure_; }

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
    std::vector<std::string> keep_changes(const Cls_XML_header& base, const Cls_XML_header& ours);

    // Adds file_data/specapp1 holding the current SpecApp() to a document that lacks it.
    void Insert_Specapp();

    // Tests on the loaded text.
    bool is_Selvane() const;
    bool is_Golf() const;
    bool is_Equestrian() const;

    // Heat switch: with it off, Create_Header builds no `veltro` group. On by default.
    void Veltro(bool on) { veltro_ = on; }

    // ---- any element, by its row of the header table (header_properties.h) -----------------
    // The typed access behind every property below: the element's text decoded by its kind, with
    // what the row says for a header that lacks it. `box` (1..8) for the box records, else unused.
    template <typename T>
    T get(HeaderKey<T> key, std::int16_t box = 0) const;
    template <typename T>
    void set(HeaderKey<T> key, const T& value, std::int16_t box = 0);

    // ---- file_data --------------------------------------------------------------------------

    void Update_Program(const std::string& value) { set<std::string>("update_program", value); }
    std::string Creation_date() const { return get<std::string>("creation_date"); }
    void Creation_date(const std::string& value) { set<std::string>("creation_date", value); }
    std::string Update_Time() const { return get<std::string>("update_date"); }
    void Update_Time(const std::string& value) { set<std::string>("update_date", value); }
    std::string Last_Capture_time() const; // "0" when the element is empty
    void Last_Capture_time(const std::string& value) { set<std::string>("last_capture_time", value); }
    std::int16_t Streams_no() const { return get<std::int16_t>("num_streams"); }
    void Streams_no(std::int16_t value) { set<std::int16_t>("num_streams", value); }
    void Frames_no(std::int16_t value) { set<std::int16_t>("num_frames", value); }
    std::int16_t G_Frames_no() const { return get<std::int16_t>("num_frames"); }
    std::int16_t Segments_no() const { return get<std::int16_t>("num_segments"); }
    void Segments_no(std::int16_t value) { set<std::int16_t>("num_segments", value); }
    std::string Timing_Bias() const { return get<std::string>("timing_bias"); }
    void Timing_Bias(const std::string& value) { set<std::string>("timing_bias", value); }
    std::string Comp_Name() const { return get<std::string>("comp_name"); }
    std::string Comp_CaptureInfo() const { return get<std::string>("comp_captureinfo"); }
    void Comp_CaptureInfo(const std::string& value) { set<std::string>("comp_captureinfo", value); }
    std::string Capture_sample_size() const { return get<std::string>("capture_sample_size"); }
    void Capture_sample_size(const std::string& value) { set<std::string>("capture_sample_size", value); }
    std::string Comp_CPUInfo() const { return get<std::string>("comp_cpuinfo"); }
    std::string Comp_CPUbitness() const { return get<std::string>("comp_cpubitness"); }
    std::string Comp_OSbitness() const { return get<std::string>("comp_osbitness"); }
    std::string Capture_property() const { return get<std::string>("capture_property"); }
    void Capture_property(const std::string& value) { set<std::string>("capture_property", value); }
    void Selected_crop(const std::string& value) { set<std::string>("selected_crop", value); }
    std::string Capture_source() const { return get<std::string>("capture_source"); }
    void Capture_source(const std::string& value) { set<std::string>("capture_source", value); }
    std::string Actual_sample() const { return get<std::string>("actual_sample"); }
    std::string Phidget_serial() const { return get<std::string>("phidget_serial"); }
    void Phidget_serial(const std::string& value) { set<std::string>("phidget_serial", value); }
    std::string prog_id() const { return get<std::string>("prog_id"); }
    std::string Exe_Name() const { return get<std::string>("exe_name"); }
    std::string Prog_Major() const { return get<std::string>("prog_major"); }
    std::string Prog_Minor() const { return get<std::string>("prog_minor"); }
    std::string Prog_Revision() const { return get<std::string>("prog_revision"); }
    std::string Computer_Uptime() const { return get<std::string>("computer_uptime"); }
    std::string Program_Uptime() const { return get<std::string>("program_uptime"); }
    std::string OS_version() const { return get<std::string>("os_version"); }
    std::string Subject_name() const { return get<std::string>("subject_name"); }
    void Subject_name(const std::string& value) { set<std::string>("subject_name", value); }
    std::string File_comment1() const { return get<std::string>("file_comment1"); }
    void File_comment1(const std::string& value) { set<std::string>("file_comment1", value); }
    std::string SpecApp() const { return get<std::string>("specapp1"); }
    void SpecApp(const std::string& value) { set<std::string>("specapp1", value); }
    std::string Hdr_spare1() const { return get<std::string>("hdr_spare1"); }
    void Hdr_spare1(const std::string& value) { set<std::string>("hdr_spare1", value); }

    // ---- RGB_data ---------------------------------------------------------------------------

    std::int16_t RGB_X() const { return get<std::int16_t>("RGB_X"); }
    void RGB_X(std::int16_t value) { set<std::int16_t>("RGB_X", value); }
    std::int16_t RGB_Y() const { return get<std::int16_t>("RGB_Y"); }
    void RGB_Y(std::int16_t value) { set<std::int16_t>("RGB_Y", value); }
    std::int32_t RGB_Image_size() const { return get<std::int32_t>("RGB_image_size"); }
    void RGB_Image_size(std::int32_t value) { set<std::int32_t>("RGB_image_size", value); }
    std::string RGB_Max_Seen_size() const { return get<std::string>("RGB_max_seen_size"); }
    void RGB_Max_Seen_size(const std::string& value) { set<std::string>("RGB_max_seen_size", value); }
    std::string RGB_Comp_Threshold() const { return get<std::string>("RGB_comp_threshold"); }
    void RGB_Comp_Threshold(const std::string& value) { set<std::string>("RGB_comp_threshold", value); }
    std::int32_t RGB_Compressed_max_Size() const { return get<std::int32_t>("RGB_compressed_max_size"); }
    void RGB_Compressed_max_Size(std::int32_t value) { set<std::int32_t>("RGB_compressed_max_size", value); }
    std::int32_t RGB_Compressed_buffer_Size() const {
        return get<std::int32_t>("RGB_compressed_buffer_size");
    }
    void RGB_Compressed_buffer_Size(std::int32_t value) {
        set<std::int32_t>("RGB_compressed_buffer_size", value);
    }
    std::int32_t RGB_Compressed_min_Size() const { return get<std::int32_t>("RGB_compressed_min_size"); }
    void RGB_Compressed_min_Size(std::int32_t value) { set<std::int32_t>("RGB_compressed_min_size", value); }
    std::int32_t RGB_Sample_Size() const { return get<std::int32_t>("RGB_sample_size"); }
    void L_RGB_Sample_Size(std::int32_t value) { set<std::int32_t>("RGB_sample_size", value); }
    bool RGB_interlaced() const { return get<bool>("RGB_interlaced"); }
    void RGB_interlaced(bool value) { set<bool>("RGB_interlaced", value); }
    bool RGB_Rotated() const { return get<bool>("RGB_rotated"); }
    void RGB_Rotated(bool value) { set<bool>("RGB_rotated", value); }
    bool RGB_preview_on() const { return get<bool>("RGB_preview_on"); }
    void RGB_preview_on(bool value) { set<bool>("RGB_preview_on", value); }
    std::string RGB_fourcc() const { return get<std::string>("RGB_fourcc"); }
    void RGB_fourcc(const std::string& value) { set<std::string>("RGB_fourcc", value); }
    std::string RGB_JPEG_codec() const { return get<std::string>("RGB_JPEG_Codec"); }
    void RGB_JPEG_codec(const std::string& value) { set<std::string>("RGB_JPEG_Codec", value); }
    std::string RGB_fps() const { return get<std::string>("RGB_fps"); }
    void RGB_fps(const std::string& value) { set<std::string>("RGB_fps", value); }
    std::string RGB_JPEG_Quality() const { return get<std::string>("RGB_JPEG_Quality"); }
    void RGB_JPEG_Quality(const std::string& value) { set<std::string>("RGB_JPEG_Quality", value); }
    std::int16_t JPG_Reduced_Qual_num() const { return get<std::int16_t>("RGB_JPEG_Quality_num_reduced"); }
    void JPG_Reduced_Qual_num(std::int16_t value) {
        set<std::int16_t>("RGB_JPEG_Quality_num_reduced", value);
    }

    // ---- veltro: the heat -------------------------------------------------------------------

    std::string Velt_event() const { return get<std::string>("velt_event"); }
    void Velt_event(const std::string& value) { set<std::string>("velt_event", value); }
    std::string Velt_Heat_ID() const { return get<std::string>("velt_heat_ID"); }
    void Velt_Heat_ID(const std::string& value) { set<std::string>("velt_heat_ID", value); }
    std::string Velt_Heat_Name() const { return get<std::string>("velt_heat_name"); }
    void Velt_Heat_Name(const std::string& value) { set<std::string>("velt_heat_name", value); }
    std::string Velt_Heat_Length() const { return get<std::string>("velt_heat_length"); }
    void Velt_Heat_Length(const std::string& value) { set<std::string>("velt_heat_length", value); }
    std::string Velt_Goal_Finish() const { return get<std::string>("velt_goal_finish"); }
    void Velt_Goal_Finish(const std::string& value) { set<std::string>("velt_goal_finish", value); }
    std::string Velt_Goal_Split() const { return get<std::string>("velt_goal_split"); }
    void Velt_Goal_Split(const std::string& value) { set<std::string>("velt_goal_split", value); }
    std::string Velt_start_DateTime() const { return get<std::string>("velt_start_datetime"); }
    void Velt_start_DateTime(const std::string& value) { set<std::string>("velt_start_datetime", value); }
    std::int32_t Velt_heat_start_Local_mill() const { return get<std::int32_t>("velt_start_local_mill"); }
    void Velt_heat_start_Local_mill(std::int32_t value) { set<std::int32_t>("velt_start_local_mill", value); }
    std::int32_t Velt_start_HDMI_events() const { return get<std::int32_t>("velt_start_HDMI_events"); }
    void Velt_start_HDMI_events(std::int32_t value) { set<std::int32_t>("velt_start_HDMI_events", value); }
    // Text, because it holds a placeholder until the heat has started.
    std::string Velt_heat_start_PC_mill() const { return get<std::string>("velt_start_PC_mill"); }
    void Velt_heat_start_PC_mill(const std::string& value) { set<std::string>("velt_start_PC_mill", value); }
    std::string Goal_Compensation() const; // "0" when the text is not a whole number
    void Goal_Compensation(const std::string& value) { set<std::string>("velt_goal_time_offset", value); }
    std::string Split_Compensation() const; // "0" when the text is not a whole number
    void Split_Compensation(const std::string& value) { set<std::string>("velt_split_time_offset", value); }
    std::string Velt_box_delay() const { return get<std::string>("velt_box_delay"); }
    void Velt_box_delay(const std::string& value) { set<std::string>("velt_box_delay", value); }
    void Velt_split_firewire_ID(const std::string& value) {
        set<std::string>("velt_split_firewire_ID", value);
    }
    void Velt_goal_firewire_ID(const std::string& value) { set<std::string>("velt_goal_firewire_ID", value); }
    void Velt_ph_serial(const std::string& value) { set<std::string>("velt_ph_serial", value); }

    // ---- veltro: the box records (box 1..8) -------------------------------------------------

    std::string Velt_Dog_name(std::int16_t box) const { return get<std::string>("dog_name", box); }
    void Velt_Dog_name(std::int16_t box, const std::string& value) {
        set<std::string>("dog_name", value, box);
    }
    // dog_split_time when `split`, else dog_heat_time.
    std::int32_t Velt_Heat_time(std::int16_t box, bool split) const {
        return split ? get<std::int32_t>("dog_split_time", box) : get<std::int32_t>("dog_heat_time", box);
    }
    void Velt_Heat_time(std::int16_t box, bool split, std::int32_t value) {
        if (split)
            set<std::int32_t>("dog_split_time", value, box);
        else
            set<std::int32_t>("dog_heat_time", value, box);
    }
    std::int32_t Velt_Heat_Click_Time(std::int16_t box) const; // 0 also when unreadable
    void Velt_Heat_Click_Time(std::int16_t box, std::int32_t value) {
        set<std::int32_t>("dog_heat_click_time", value, box);
    }
    std::int16_t Velt_heat_frame(std::int16_t box) const { return get<std::int16_t>("dog_heat_frame", box); }
    void Velt_heat_frame(std::int16_t box, std::int16_t value) {
        set<std::int16_t>("dog_heat_frame", value, box);
    }
    std::int16_t Velt_split_frame(std::int16_t box) const {
        return get<std::int16_t>("dog_split_frame", box);
    }
    void Velt_split_frame(std::int16_t box, std::int16_t value) {
        set<std::int16_t>("dog_split_frame", value, box);
    }
    bool Velt_dead_heat(std::int16_t box) const { return get<bool>("dog_dead_heat", box); }
    void Velt_dead_heat(std::int16_t box, bool value) { set<bool>("dog_dead_heat", value, box); }

    // ---- veltro: who made the last change, and the official mark ----------------------------
    // Older recordings have none of these elements: they read as "", and a setter given "" leaves
    // a missing element out, so such a header is written as it was.

    // The operator named by the write that stored this header; "" when none was named.
    std::string velt_changed_by() const { return get<std::string>("velt_changed_by"); }
    void velt_changed_by(const std::string& value) { set<std::string>("velt_changed_by", value); }
    // What that write was when not a plain change ("undo", or "reason: <why>" for the withdrawal
    // of the official mark); "" otherwise.
    std::string velt_change() const { return get<std::string>("velt_change"); }
    void velt_change(const std::string& value) { set<std::string>("velt_change", value); }
    // "" when the heat's result is not official, else "<operator>, <yyyy-mm-dd hh:nn:ss>".
    std::string velt_official() const { return get<std::string>("velt_official"); }
    void velt_official(const std::string& value) { set<std::string>("velt_official", value); }

    // ---- veltro: the capture delay ----------------------------------------------------------
    // The measurement of the capture delay in force when the recording was made (a delay record:
    // "date; source; format; capture delay ..."); "" in recordings made without one.
    std::string velt_capture_delay() const { return get<std::string>("velt_capture_delay"); }
    void velt_capture_delay(const std::string& value) { set<std::string>("velt_capture_delay", value); }

private:
    // The element at `xpath`; fails with 91 when there is none.
    pugi::xml_node element(const std::string& xpath) const;
    // The element at `xpath`, or a null node.
    pugi::xml_node find(const std::string& xpath) const;
    // The text of `row`'s element, or its fallback when the row allows the element to be missing.
    std::string row_text(const HeaderElement& row, std::int16_t box) const;
    void set_row_text(const HeaderElement& row, const std::string& value, std::int16_t box);

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
