#pragma once

#include "support/process_facts.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace veltro {

// The groups under the root of the recording header (file_data, RGB_data, veltro); Box is each of
// the eight box records of the heat group.
enum class HeaderGroup : std::uint8_t { FileData, RgbData, Heat, Box };

// How an element's text is written and read.
enum class HeaderKind : std::uint8_t {
    Text,      // the caller's text, unchanged
    Integer,   // 16-bit, plain decimal, read strictly
    Long,      // 32-bit, plain decimal, read strictly
    TrueFalse, // "True" / "False"; only "True" reads true
    TF,        // "t" / "f"; "t" and "Y" read true
};

// What a property does when its element is missing.
enum class HeaderMissing : std::uint8_t {
    Fails,    // error 91 both ways
    Fallback, // the getter returns the fallback text; the setter fails
    Skipped,  // the getter returns the fallback text; the setter leaves the document as it is
    Added,    // the getter returns the fallback text; the setter adds the element to its group unless
              // the value is "", so a header that lacks it is written as it was
};

// Where the text of an element in a new header comes from.
struct HeaderInitial {
    enum class From : std::uint8_t { Text, Fact, CreationTime, Uptime, Major, Minor, Revision, Absent };
    From from = From::Text;
    const char* text = "";
    std::string ProcessFacts::*fact = nullptr;

    constexpr HeaderInitial(const char* t) : text(t) {}
    constexpr HeaderInitial(std::string ProcessFacts::*f) : from(From::Fact), fact(f) {}
    constexpr HeaderInitial(From f) : from(f) {}
};

// One element of the recording header: its group, its name, its text in a new header, the property
// that reads and writes it (as the description of the header names it; "" for none), how its text is
// encoded, and what its property does when a header lacks it.
struct HeaderElement {
    HeaderGroup group;
    const char* element;
    HeaderInitial initial;
    const char* property;
    HeaderKind kind = HeaderKind::Text;
    HeaderMissing missing = HeaderMissing::Fails;
    const char* fallback = "";
};

namespace header_table {

using enum HeaderGroup;
using enum HeaderKind;
using enum HeaderMissing;
using From = HeaderInitial::From;
using F = ProcessFacts;

// Every element of a heat recording's header, in document order; each group's elements are built
// from here, and every property of Cls_XML_header reads its element's row.
inline constexpr HeaderElement kRows[] = {
    {FileData, "my_filename", &F::current_file_name, ""},
    {FileData, "update_program", "program name", "Update_Program"},
    {FileData, "creation_date", From::CreationTime, "Creation_date"},
    {FileData, "update_date", "not updated", "Update_Time"},
    {FileData, "last_capture_time", "0000", "Last_Capture_time"},
    {FileData, "last_append_time", "", ""},
    {FileData, "num_streams", "1", "Streams_no", Integer},
    {FileData, "frame_header_size", "000", ""},
    {FileData, "num_frames", "000", "G_Frames_no / Frames_no", Integer},
    {FileData, "num_segments", "000", "Segments_no", Integer},
    {FileData, "timing_bias", "000", "Timing_Bias", Text, Fallback},
    {FileData, "b_rotated", "f", ""},
    {FileData, "comp_name", &F::computer_name, "Comp_Name", Text, Fallback, "Unknown computer name"},
    {FileData, "comp_captureinfo", "Unknown capture info!", "Comp_CaptureInfo", Text, Fallback,
     "Unknown Capture Info!"},
    {FileData, "capture_sample_size", "Unknown capture info!", "Capture_sample_size"},
    {FileData, "comp_cpuinfo", &F::cpu_info, "Comp_CPUInfo", Text, Fallback, "Not known!"},
    {FileData, "comp_cpubitness", &F::cpu_bitness, "Comp_CPUbitness", Text, Fallback, "Not known!"},
    {FileData, "comp_physram", &F::physical_memory, ""},
    {FileData, "comp_osbitness", &F::os_bitness, "Comp_OSbitness", Text, Fallback, "Not known!"},
    {FileData, "capture_property", &F::capture_property, "Capture_property", Text, Skipped},
    {FileData, "selected_crop", &F::selected_crop, "Selected_crop"},
    {FileData, "capture_source", &F::capture_source, "Capture_source", Text, Skipped},
    {FileData, "actual_sample", &F::actual_sample, "Actual_sample", Text, Fallback},
    {FileData, "comp_manufacturer_model", &F::manufacturer_model, ""},
    {FileData, "phidget_serial", &F::phidget_serial, "Phidget_serial", Text, Skipped, "Not known!"},
    {FileData, "prog_id", &F::prog_id, "prog_id"},
    {FileData, "exe_name", &F::exe_name, "Exe_Name", Text, Fallback},
    {FileData, "prog_version", "Compiled", ""},
    {FileData, "prog_major", From::Major, "Prog_Major"},
    {FileData, "prog_minor", From::Minor, "Prog_Minor"},
    {FileData, "prog_revision", From::Revision, "Prog_Revision"},
    {FileData, "compile_date", "2020-10-04 19:15", ""}, // the fixed build stamp every header carries
    {FileData, "computer_uptime", From::Uptime, "Computer_Uptime", Text, Fallback},
    {FileData, "program_uptime", From::Uptime, "Program_Uptime", Text, Fallback},
    {FileData, "exe_filedate", &F::exe_date, ""},
    {FileData, "os_version", &F::os_version, "OS_version", Text, Fallback},
    {FileData, "subject_name", "0000", "Subject_name"},
    {FileData, "file_comment1", "0000", "File_comment1"},
    {FileData, "file_comment2", "0000", ""},
    {FileData, "file_comment3", "0000", ""},
    {FileData, "file_comment4", "0000", ""},
    {FileData, "file_comment5", "0000", ""},
    {FileData, "specapp1", "", "SpecApp", Text, Fallback, "None"},
    {FileData, "specapp2", "", ""},
    {FileData, "hdr_spare1", "0000", "Hdr_spare1"},
    {FileData, "hdr_spare2", "0000", ""},
    {FileData, "hdr_spare3", "0000", ""},
    {FileData, "hdr_spare4", "0000", ""},
    {FileData, "hdr_spare5", "0000", ""},

    {RgbData, "RGB_X", "000", "RGB_X", Integer},
    {RgbData, "RGB_Y", "000", "RGB_Y", Integer},
    {RgbData, "RGB_image_size", "0000000", "RGB_Image_size", Long},
    {RgbData, "RGB_max_seen_size", "0000000", "RGB_Max_Seen_size"},
    {RgbData, "RGB_comp_threshold", "0000000", "RGB_Comp_Threshold"},
    {RgbData, "RGB_compressed_max_size", "0000000", "RGB_Compressed_max_Size", Long},
    {RgbData, "RGB_compressed_buffer_size", "0000000", "RGB_Compressed_buffer_Size", Long},
    {RgbData, "RGB_compressed_min_size", "99999999", "RGB_Compressed_min_Size", Long},
    {RgbData, "RGB_sample_size", "0000000", "RGB_Sample_Size / L_RGB_Sample_Size", Long},
    {RgbData, "RGB_interlaced", "Y", "RGB_interlaced", TrueFalse},
    {RgbData, "RGB_rotated", "Y", "RGB_Rotated", TF},
    {RgbData, "RGB_preview_on", "Y", "RGB_preview_on", TrueFalse},
    {RgbData, "RGB_fourcc", "none", "RGB_fourcc"},
    {RgbData, "RGB_JPEG_Codec", "none", "RGB_JPEG_codec", Text, Fallback, "unknown"},
    {RgbData, "RGB_fps", "000", "RGB_fps"},
    {RgbData, "RGB_JPEG_Quality", "0000", "RGB_JPEG_Quality", Text, Fallback, "0000"},
    {RgbData, "RGB_JPEG_Quality_num_reduced", "0000", "JPG_Reduced_Qual_num", Integer},

    {Heat, "velt_event", "Velt event name", "Velt_event"},
    {Heat, "velt_heat_ID", "Velt heat ID", "Velt_Heat_ID"},
    {Heat, "velt_heat_name", "Velt heat name", "Velt_Heat_Name"},
    {Heat, "velt_heat_length", "000", "Velt_Heat_Length", Text, Fallback},
    {Heat, "velt_goal_finish", "Velt goal finish", "Velt_Goal_Finish", Text, Skipped},
    {Heat, "velt_goal_split", "Velt goal split", "Velt_Goal_Split", Text, Skipped},
    {Heat, "velt_start_datetime", "velt start date time", "Velt_start_DateTime"},
    // The start values hold placeholders until the heat has started.
    {Heat, "velt_start_local_mill", "velt_start_local_mill", "Velt_heat_start_Local_mill", Long},
    {Heat, "velt_start_HDMI_events", "velt_start_HDMI_events", "Velt_start_HDMI_events", Long},
    {Heat, "velt_start_PC_mill", "velt_start_PC_mill", "Velt_heat_start_PC_mill"},
    {Heat, "velt_goal_time_offset", "0000", "Goal_Compensation"},
    {Heat, "velt_split_time_offset", "0000", "Split_Compensation"},
    {Heat, "velt_box_delay", "0000", "Velt_box_delay", Text, Skipped},
    {Heat, "velt_split_firewire_ID", "000", "Velt_split_firewire_ID"},
    {Heat, "velt_goal_firewire_ID", "000", "Velt_goal_firewire_ID"},
    {Heat, "velt_ph_serial", "000", "Velt_ph_serial"},
    // Who made the last change and the official mark: added by the first write that names them.
    {Heat, "velt_changed_by", From::Absent, "Velt_changed_by", Text, Added},
    {Heat, "velt_change", From::Absent, "Velt_change", Text, Added},
    {Heat, "velt_official", From::Absent, "Velt_official", Text, Added},
    // The capture delay last measured on the recording's source and format, when there is one.
    {Heat, "velt_capture_delay", From::Absent, "Velt_capture_delay", Text, Added},

    {Box, "dog_name", "dog name", "Velt_Dog_name"},
    {Box, "dog_weight", "dog weight", ""},
    {Box, "dog_heat_time", "000000", "Velt_Heat_time", Long},
    {Box, "dog_heat_click_time", "000000", "Velt_Heat_Click_Time", Long, Skipped, "0"},
    {Box, "dog_heat_frame", "000000", "Velt_heat_frame", Integer},
    {Box, "dog_split_time", "000000", "Velt_Heat_time (split)", Long},
    {Box, "dog_split_click_time", "000000", ""},
    {Box, "dog_split_frame", "000000", "Velt_split_frame", Integer},
    {Box, "dog_heat_rank", "00", ""},
    {Box, "dog_split_rank", "00", ""},
    {Box, "dog_dead_heat", "f", "Velt_dead_heat", TrueFalse, Skipped},
    {Box, "dog_heat_spare1", "00000", ""},
    {Box, "dog_heat_spare2", "00000", ""},
};

} // namespace header_table

inline constexpr std::span<const HeaderElement> kHeaderElements = header_table::kRows;

// The name of a group's element.
constexpr const char* group_name(HeaderGroup group) {
    constexpr const char* names[] = {"file_data", "RGB_data", "veltro", "box"};
    return names[static_cast<int>(group)];
}

// The row of `element`; a name that is not in the table does not compile where it is a constant.
constexpr const HeaderElement& header_element(std::string_view element) {
    for (const HeaderElement& row : kHeaderElements)
        if (row.element == element)
            return row;
    throw std::invalid_argument("no header element " + std::string(element));
}

// The XPath of `row`'s element: "//element", or "//box[@id='n']/element" for the box records, where a
// box outside 1..8 fails with 9 "Subscript out of range".
std::string header_xpath(const HeaderElement& row, std::int16_t box);

// The C++ type of a kind's value.
template <typename T>
constexpr bool kind_holds(HeaderKind kind) {
    if constexpr (std::is_same_v<T, std::string>)
        return kind == HeaderKind::Text;
    else if constexpr (std::is_same_v<T, std::int16_t>)
        return kind == HeaderKind::Integer;
    else if constexpr (std::is_same_v<T, std::int32_t>)
        return kind == HeaderKind::Long;
    else
        return kind == HeaderKind::TrueFalse || kind == HeaderKind::TF;
}

// A row whose value is a T. Made from an element's name it is looked up and checked while compiling,
// so a property cannot name an element that is not there or read it as the wrong type.
template <typename T>
struct HeaderKey {
    const HeaderElement* row;

    consteval HeaderKey(const char* element) : row(&header_element(element)) {
        if (!kind_holds<T>(row->kind))
            throw std::invalid_argument("the element holds another type");
    }
    // For code that walks the table.
    static HeaderKey of(const HeaderElement& r) {
        if (!kind_holds<T>(r.kind))
            throw std::invalid_argument(std::string(r.element) + " holds another type");
        return HeaderKey(&r);
    }

private:
    explicit constexpr HeaderKey(const HeaderElement* r) : row(r) {}
};

} // namespace veltro
