// The typed properties of the recording header, one XPath each.
#include "recording/xml_header.h"
#include "support/numbers.h"
#include "support/veltro_error.h"

namespace veltro {

// ---- file_data ------------------------------------------------------------------------------

void Cls_XML_header::Update_Program(const std::string& value) {
    set_text("//update_program", value);
}

std::string Cls_XML_header::Creation_date() const {
    return text("//creation_date");
}
void Cls_XML_header::Creation_date(const std::string& value) {
    set_text("//creation_date", value);
}

std::string Cls_XML_header::Update_Time() const {
    return text("//update_date");
}
void Cls_XML_header::Update_Time(const std::string& value) {
    set_text("//update_date", value);
}

std::string Cls_XML_header::Last_Capture_time() const {
    std::string t = text("//last_capture_time");
    return t.empty() ? "0" : t;
}
void Cls_XML_header::Last_Capture_time(const std::string& value) {
    set_text("//last_capture_time", value);
}

std::int16_t Cls_XML_header::Streams_no() const {
    return integer_value("//num_streams");
}
void Cls_XML_header::Streams_no(std::int16_t value) {
    set_number("//num_streams", value);
}

void Cls_XML_header::Frames_no(std::int16_t value) {
    set_number("//num_frames", value);
}
std::int16_t Cls_XML_header::G_Frames_no() const {
    return integer_value("//num_frames");
}

std::int16_t Cls_XML_header::Segments_no() const {
    return integer_value("//num_segments");
}
void Cls_XML_header::Segments_no(std::int16_t value) {
    set_number("//num_segments", value);
}

std::string Cls_XML_header::Timing_Bias() const {
    return text_or("//timing_bias", "");
}
void Cls_XML_header::Timing_Bias(const std::string& value) {
    set_text("//timing_bias", value);
}

std::string Cls_XML_header::Comp_Name() const {
    return text_or("//comp_name", "Unknown computer name");
}

std::string Cls_XML_header::Comp_CaptureInfo() const {
    return text_or("//comp_captureinfo", "Unknown Capture Info!");
}
void Cls_XML_header::Comp_CaptureInfo(const std::string& value) {
    set_text("//comp_captureinfo", value);
}

std::string Cls_XML_header::Capture_sample_size() const {
    return text("//capture_sample_size");
}
void Cls_XML_header::Capture_sample_size(const std::string& value) {
    set_text("//capture_sample_size", value);
}

std::string Cls_XML_header::Comp_CPUInfo() const {
    return text_or("//comp_cpuinfo", "Not known!");
}
std::string Cls_XML_header::Comp_CPUbitness() const {
    return text_or("//comp_cpubitness", "Not known!");
}
std::string Cls_XML_header::Comp_OSbitness() const {
    return text_or("//comp_osbitness", "Not known!");
}

std::string Cls_XML_header::Capture_property() const {
    return text_or("//capture_property", "");
}
void Cls_XML_header::Capture_property(const std::string& value) {
    set_text_if_present("//capture_property", value);
}

void Cls_XML_header::Selected_crop(const std::string& value) {
    set_text("//selected_crop", value);
}

std::string Cls_XML_header::Capture_source() const {
    return text_or("//capture_source", "");
}
void Cls_XML_header::Capture_source(const std::string& value) {
    set_text_if_present("//capture_source", value);
}

std::string Cls_XML_header::Actual_sample() const {
    return text_or("//actual_sample", "");
}

std::string Cls_XML_header::Phidget_serial() const {
    return text_or("//phidget_serial", "Not known!");
}
void Cls_XML_header::Phidget_serial(const std::string& value) {
    set_text_if_present("//phidget_serial", value);
}

std::string Cls_XML_header::prog_id() const {
    return text("//prog_id");
}
std::string Cls_XML_header::Exe_Name() const {
    return text_or("//exe_name", "");
}
std::string Cls_XML_header::Prog_Major() const {
    return text("//prog_major");
}
std::string Cls_XML_header::Prog_Minor() const {
    return text("//prog_minor");
}
std::string Cls_XML_header::Prog_Revision() const {
    return text("//prog_revision");
}
std::string Cls_XML_header::Computer_Uptime() const {
    return text_or("//computer_uptime", "");
}
std::string Cls_XML_header::Program_Uptime() const {
    return text_or("//program_uptime", "");
}
std::string Cls_XML_header::OS_version() const {
    return text_or("//os_version", "");
}

std::string Cls_XML_header::Subject_name() const {
    return text("//subject_name");
}
void Cls_XML_header::Subject_name(const std::string& value) {
    set_text("//subject_name", value);
}

std::string Cls_XML_header::File_comment1() const {
    return text("//file_comment1");
}
void Cls_XML_header::File_comment1(const std::string& value) {
    set_text("//file_comment1", value);
}

std::string Cls_XML_header::SpecApp() const {
    return text_or("//specapp1", "None");
}
void Cls_XML_header::SpecApp(const std::string& value) {
    set_text("//specapp1", value);
}

std::string Cls_XML_header::Hdr_spare1() const {
    return text("//hdr_spare1");
}
void Cls_XML_header::Hdr_spare1(const std::string& value) {
    set_text("//hdr_spare1", value);
}

// ---- RGB_data -------------------------------------------------------------------------------

std::int16_t Cls_XML_header::RGB_X() const {
    return integer_value("//RGB_X");
}
void Cls_XML_header::RGB_X(std::int16_t value) {
    set_number("//RGB_X", value);
}

std::int16_t Cls_XML_header::RGB_Y() const {
    return integer_value("//RGB_Y");
}
void Cls_XML_header::RGB_Y(std::int16_t value) {
    set_number("//RGB_Y", value);
}

std::int32_t Cls_XML_header::RGB_Image_size() const {
    return long_value("//RGB_image_size");
}
void Cls_XML_header::RGB_Image_size(std::int32_t value) {
    set_number("//RGB_image_size", value);
}

std::string Cls_XML_header::RGB_Max_Seen_size() const {
    return text("//RGB_max_seen_size");
}
void Cls_XML_header::RGB_Max_Seen_size(const std::string& value) {
    set_text("//RGB_max_seen_size", value);
}

std::string Cls_XML_header::RGB_Comp_Threshold() const {
    return text("//RGB_comp_threshold");
}
void Cls_XML_header::RGB_Comp_Threshold(const std::string& value) {
    set_text("//RGB_comp_threshold", value);
}

std::int32_t Cls_XML_header::RGB_Compressed_max_Size() const {
    return long_value("//RGB_compressed_max_size");
}
void Cls_XML_header::RGB_Compressed_max_Size(std::int32_t value) {
    set_number("//RGB_compressed_max_size", value);
}

std::int32_t Cls_XML_header::RGB_Compressed_buffer_Size() const {
    return long_value("//RGB_compressed_buffer_size");
}
void Cls_XML_header::RGB_Compressed_buffer_Size(std::int32_t value) {
    set_number("//RGB_compressed_buffer_size", value);
}

std::int32_t Cls_XML_header::RGB_Compressed_min_Size() const {
    return long_value("//RGB_compressed_min_size");
}
void Cls_XML_header::RGB_Compressed_min_Size(std::int32_t value) {
    set_number("//RGB_compressed_min_size", value);
}

std::int32_t Cls_XML_header::RGB_Sample_Size() const {
    return long_value("//RGB_sample_size");
}
void Cls_XML_header::L_RGB_Sample_Size(std::int32_t value) {
    set_number("//RGB_sample_size", value);
}

bool Cls_XML_header::RGB_interlaced() const {
    return true_false_value("//RGB_interlaced");
}
void Cls_XML_header::RGB_interlaced(bool value) {
    set_true_false("//RGB_interlaced", value);
}

bool Cls_XML_header::RGB_Rotated() const {
    return t_f_value("//RGB_rotated");
}
void Cls_XML_header::RGB_Rotated(bool value) {
    set_t_f("//RGB_rotated", value);
}

bool Cls_XML_header::RGB_preview_on() const {
    return true_false_value("//RGB_preview_on");
}
void Cls_XML_header::RGB_preview_on(bool value) {
    set_true_false("//RGB_preview_on", value);
}

std::string Cls_XML_header::RGB_fourcc() const {
    return text("//RGB_fourcc");
}
void Cls_XML_header::RGB_fourcc(const std::string& value) {
    set_text("//RGB_fourcc", value);
}

std::string Cls_XML_header::RGB_JPEG_codec() const {
    return text_or("//RGB_JPEG_Codec", "unknown");
}
void Cls_XML_header::RGB_JPEG_codec(const std::string& value) {
    set_text("//RGB_JPEG_Codec", value);
}

std::string Cls_XML_header::RGB_fps() const {
    return text("//RGB_fps");
}
void Cls_XML_header::RGB_fps(const std::string& value) {
    set_text("//RGB_fps", value);
}

std::string Cls_XML_header::RGB_JPEG_Quality() const {
    return text_or("//RGB_JPEG_Quality", "0000");
}
void Cls_XML_header::RGB_JPEG_Quality(const std::string& value) {
    set_text("//RGB_JPEG_Quality", value);
}

std::int16_t Cls_XML_header::JPG_Reduced_Qual_num() const {
    return integer_value("//RGB_JPEG_Quality_num_reduced");
}
void Cls_XML_header::JPG_Reduced_Qual_num(std::int16_t value) {
    set_number("//RGB_JPEG_Quality_num_reduced", value);
}

// ---- veltro: the heat -----------------------------------------------------------------------

std::string Cls_XML_header::Velt_event() const {
    return text("//velt_event");
}
void Cls_XML_header::Velt_event(const std::string& value) {
    set_text("//velt_event", value);
}

std::string Cls_XML_header::Velt_Heat_ID() const {
    return text("//velt_heat_ID");
}
void Cls_XML_header::Velt_Heat_ID(const std::string& value) {
    set_text("//velt_heat_ID", value);
}

std::string Cls_XML_header::Velt_Heat_Name() const {
    return text("//velt_heat_name");
}
void Cls_XML_header::Velt_Heat_Name(const std::string& value) {
    set_text("//velt_heat_name", value);
}

std::string Cls_XML_header::Velt_Heat_Length() const {
    return text_or("//velt_heat_length", "");
}
void Cls_XML_header::Velt_Heat_Length(const std::string& value) {
    set_text("//velt_heat_length", value);
}

std::string Cls_XML_header::Velt_Goal_Finish() const {
    return text_or("//velt_goal_finish", "");
}
void Cls_XML_header::Velt_Goal_Finish(const std::string& value) {
    set_text_if_present("//velt_goal_finish", value);
}

std::string Cls_XML_header::Velt_Goal_Split() const {
    return text_or("//velt_goal_split", "");
}
void Cls_XML_header::Velt_Goal_Split(const std::string& value) {
    set_text_if_present("//velt_goal_split", value);
}

std::string Cls_XML_header::Velt_start_DateTime() const {
    return text("//velt_start_datetime");
}
void Cls_XML_header::Velt_start_DateTime(const std::string& value) {
    set_text("//velt_start_datetime", value);
}

std::int32_t Cls_XML_header::Velt_heat_start_Local_mill() const {
    return long_value("//velt_start_local_mill");
}
void Cls_XML_header::Velt_heat_start_Local_mill(std::int32_t value) {
    set_number("//velt_start_local_mill", value);
}

std::int32_t Cls_XML_header::Velt_start_HDMI_events() const {
    return long_value("//velt_start_HDMI_events");
}
void Cls_XML_header::Velt_start_HDMI_events(std::int32_t value) {
    set_number("//velt_start_HDMI_events", value);
}

std::string Cls_XML_header::Velt_heat_start_PC_mill() const {
    return text("//velt_start_PC_mill");
}
void Cls_XML_header::Velt_heat_start_PC_mill(const std::string& value) {
    set_text("//velt_start_PC_mill", value);
}

std::string Cls_XML_header::Goal_Compensation() const {
    std::string t = text("//velt_goal_time_offset");
    return is_decimal_number(t) ? t : "0";
}
void Cls_XML_header::Goal_Compensation(const std::string& value) {
    set_text("//velt_goal_time_offset", value);
}

std::string Cls_XML_header::Split_Compensation() const {
    std::string t = text("//velt_split_time_offset");
    return is_decimal_number(t) ? t : "0";
}
void Cls_XML_header::Split_Compensation(const std::string& value) {
    set_text("//velt_split_time_offset", value);
}

std::string Cls_XML_header::Velt_box_delay() const {
    return text_or("//velt_box_delay", "");
}
void Cls_XML_header::Velt_box_delay(const std::string& value) {
    set_text_if_present("//velt_box_delay", value);
}

void Cls_XML_header::Velt_split_firewire_ID(const std::string& value) {
    set_text("//velt_split_firewire_ID", value);
}
void Cls_XML_header::Velt_goal_firewire_ID(const std::string& value) {
    set_text("//velt_goal_firewire_ID", value);
}
void Cls_XML_header::Velt_ph_serial(const std::string& value) {
    set_text("//velt_ph_serial", value);
}

// ---- veltro: the box records ----------------------------------------------------------------

std::string Cls_XML_header::Velt_Dog_name(std::int16_t box) const {
    return text(box_path(box, "dog_name").c_str());
}
void Cls_XML_header::Velt_Dog_name(std::int16_t box, const std::string& value) {
    set_text(box_path(box, "dog_name").c_str(), value);
}

std::int32_t Cls_XML_header::Velt_Heat_time(std::int16_t box, bool split) const {
    return long_value(box_path(box, split ? "dog_split_time" : "dog_heat_time").c_str());
}
void Cls_XML_header::Velt_Heat_time(std::int16_t box, bool split, std::int32_t value) {
    set_number(box_path(box, split ? "dog_split_time" : "dog_heat_time").c_str(), value);
}

std::int32_t Cls_XML_header::Velt_Heat_Click_Time(std::int16_t box) const {
    const std::string path = box_path(box, "dog_heat_click_time");
    if (!find(path.c_str()))
        return 0;
    try {
        return long_value(path.c_str());
    } catch (const VeltroError&) {
        // An unreadable click time reads as none, like a missing one.
        return 0;
    }
}
void Cls_XML_header::Velt_Heat_Click_Time(std::int16_t box, std::int32_t value) {
    const std::string path = box_path(box, "dog_heat_click_time");
    set_text_if_present(path.c_str(), std::to_string(value));
}

std::int16_t Cls_XML_header::Velt_heat_frame(std::int16_t box) const {
    return integer_value(box_path(box, "dog_heat_frame").c_str());
}
void Cls_XML_header::Velt_heat_frame(std::int16_t box, std::int16_t value) {
    set_number(box_path(box, "dog_heat_frame").c_str(), value);
}

std::int16_t Cls_XML_header::Velt_split_frame(std::int16_t box) const {
    return integer_value(box_path(box, "dog_split_frame").c_str());
}
void Cls_XML_header::Velt_split_frame(std::int16_t box, std::int16_t value) {
    set_number(box_path(box, "dog_split_frame").c_str(), value);
}

std::string Cls_XML_header::Velt_changed_by() const {
    return text_or("//velt_changed_by", "");
}
void Cls_XML_header::Velt_changed_by(const std::string& value) {
    set_veltro_leaf("velt_changed_by", value);
}

std::string Cls_XML_header::Velt_change() const {
    return text_or("//velt_change", "");
}
void Cls_XML_header::Velt_change(const std::string& value) {
    set_veltro_leaf("velt_change", value);
}

std::string Cls_XML_header::Velt_official() const {
    return text_or("//velt_official", "");
}
void Cls_XML_header::Velt_official(const std::string& value) {
    set_veltro_leaf("velt_official", value);
}

bool Cls_XML_header::Velt_dead_heat(std::int16_t box) const {
    const std::string path = box_path(box, "dog_dead_heat");
    return find(path.c_str()) && true_false_value(path.c_str());
}
void Cls_XML_header::Velt_dead_heat(std::int16_t box, bool value) {
    set_text_if_present(box_path(box, "dog_dead_heat").c_str(), value ? "True" : "False");
}

} // namespace veltro
