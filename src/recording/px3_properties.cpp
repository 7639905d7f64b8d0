#include "recording/px3_properties.h"

#include "recording/video_file_handler.h"
#include "support/veltro_error.h"

#include <string>

namespace veltro {

namespace {

class Lines {
public:
    // A header of a damaged file may lack any element: one missing value must not hide the others.
    template <typename F>
    void add(const std::string& name, F getter) {
        std::string value;
        try {
            value = as_text(getter());
        } catch (const VeltroError&) {
            value = "(not readable)";
        }
        text_ += name + " = " + value + "\n";
    }
    std::string text() const { return text_; }

private:
    static std::string as_text(const std::string& s) { return s; }
    static std::string as_text(bool b) { return b ? "True" : "False"; }
    template <typename N>
    static std::string as_text(N n) {
        return std::to_string(n);
    }
    std::string text_;
};

} // namespace

std::string px3_properties_text(const cls_VideoFile_handler& r) {
    const Cls_XML_header& h = r.xml_header();
    Lines l;
    l.add("File_name", [&] { return r.File_name(); });
    l.add("Read_only", [&] { return r.Read_only(); });
    l.add("Has_XML", [&] { return r.Has_XML(); });
    l.add("num_Frames", [&] { return r.num_Frames(); });
    l.add("Num_fields", [&] { return r.Num_fields(); });
    l.add("Frames_missing", [&] { return r.frames_missing(); });
    l.add("RGB_sample_size", [&] { return r.sample_size(); });
    l.add("Width", [&] { return r.Width(); });
    l.add("Height", [&] { return r.Height(); });
    l.add("RGB_fps", [&] { return h.RGB_fps(); });
    l.add("mill_per_Frame", [&] { return r.mill_per_Frame(); });
    l.add("RGB_fourcc", [&] { return h.RGB_fourcc(); });
    l.add("RGB_JPEG_codec", [&] { return h.RGB_JPEG_codec(); });
    l.add("RGB_JPEG_Quality", [&] { return h.RGB_JPEG_Quality(); });
    l.add("rotated", [&] { return r.rotated(); });
    l.add("RGB_Topdelim_Y", [&] { return r.RGB_Topdelim_Y(); });
    l.add("Measured_fps", [&] { return r.Measured_fps(); });
    l.add("Creation_date", [&] { return r.Creation_date(); });
    l.add("Last_Capture_time", [&] { return r.Last_Capture_time(); });
    l.add("Computer_name", [&] { return r.Computer_name(); });
    l.add("OS_version", [&] { return r.OS_version(); });
    l.add("Program_ID", [&] { return h.prog_id(); });
    l.add("Program_version", [&] { return h.Prog_Major() + "." + h.Prog_Minor() + "." + h.Prog_Revision(); });
    l.add("Phidget_serial", [&] { return r.Phidget_serial(); });
    l.add("Velt_event", [&] { return r.Velt_event(); });
    l.add("Velt_Heat_ID", [&] { return r.Velt_Heat_ID(); });
    l.add("Velt_Heat_Name", [&] { return r.Velt_Heat_Name(); });
    l.add("Velt_Heat_Length", [&] { return r.Velt_Heat_Length(); });
    l.add("Velt_Goal_Finish", [&] { return r.Velt_Goal_Finish(); });
    l.add("Velt_Goal_Split", [&] { return r.Velt_Goal_Split(); });
    l.add("Velt_start_DateTime", [&] { return r.Velt_start_DateTime(); });
    l.add("Velt_heat_start_local", [&] { return r.Velt_heat_start_local(); });
    l.add("Velt_start_PC_mill", [&] { return r.Velt_start_PC_mill(); });
    l.add("Velt_box_delay", [&] { return r.Velt_box_delay(); });
    l.add("Velt_Goal_compensation", [&] { return r.Velt_Goal_compensation(); });
    l.add("Velt_Split_compensation", [&] { return r.Velt_Split_compensation(); });
    for (std::int16_t box = 1; box <= 8; ++box) {
        const std::string b = "(" + std::to_string(box) + ")";
        l.add("Velt_Dog_name" + b, [&] { return r.Velt_Dog_name(box); });
        l.add("Velt_Heat_time" + b, [&] { return r.Velt_Heat_time(box, false); });
        l.add("Velt_Split_time" + b, [&] { return r.Velt_Heat_time(box, true); });
        l.add("Velt_heat_frame" + b, [&] { return r.Velt_heat_frame(box); });
        l.add("Velt_split_frame" + b, [&] { return r.Velt_split_frame(box); });
        l.add("Velt_Heat_Click_Time" + b, [&] { return r.Velt_Heat_Click_Time(box); });
        l.add("Velt_dead_heat" + b, [&] { return r.Velt_dead_heat(box); });
    }
    return l.text();
}

} // namespace veltro
